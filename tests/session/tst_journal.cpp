// The change journal fed from the line: a send the unit kept, a send it did
// not keep, and a journal that cannot be written, which costs one warning and
// neither a line nor the send.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"
#include "YieldSeed.h"

#include "session/ChangeTracker.h"
#include "session/UnitSession.h"
#include "store/CheckResults.h"
#include "store/JournalWriter.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include "store/StoreConnection.h"

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

// Every row, its columns after the time joined by "|".
QStringList rows(const QString &path)
{
    StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    QSqlQuery query(connection.db());
    QStringList out;
    if (!query.exec(QStringLiteral("SELECT model, revision, axis, field, profile, value, line, "
                                   "coalesce(before, '-'), coalesce(after, '-'), verdict FROM "
                                   "changes ORDER BY id")))
        return {QStringLiteral("(no table)")};
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < 10; ++i)
            columns << query.value(i).toString();
        out << columns.join(QLatin1Char('|'));
    }
    return out;
}

int schemaVersion(const QString &path)
{
    StoreConnection connection(path, StoreConnection::Mode::ReadOnly);
    QSqlQuery query(connection.db());
    return query.exec(QStringLiteral("PRAGMA user_version")) && query.next()
               ? query.value(0).toInt()
               : -1;
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT
  private slots:
    void confirmedSend();
    void sendTheUnitDidNotKeep();
    void unwritableJournalWarnsOnce();
    void heldJournalNeverHoldsTheSend();
    void heldJournalAtTheEnd();
    void unreadableReplyIsNeverConfirmed();
    void lateReplyNeverSettlesAnotherChange_data();
    void lateReplyNeverSettlesAnotherChange();
};

void TestJournal::confirmedSend()
{
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    JournalledLine bench(UnitSimOptions{}, path);
    bench.connect();
    QVERIFY(bench.started);
    QSignalSpy notHeld(bench.tracker.get(), &ChangeTracker::notHeld);

    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = QStringLiteral("5200");
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Max,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));
    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = QStringLiteral("5300");
    bench.session->EntryBoxLeft(
        Model::KTRA20, ParamKey::Max,
        {{{ParamKey::Max, QStringLiteral("5300")}}, QStringLiteral("1"), QStringLiteral("0")});
    bench.session->SetOption(Model::KTRA20, Option::RampDownYes);

    // Nothing on the line but the program's own lines.
    QCOMPARE(bench.unit.receivedBytes(), (Lines{"@0M1_5200\r"} + Ktra20Readback +
                                          Lines{"@0M1_5300\r", "@0D1\r"} + Ktra20Readback));
    QCOMPARE(rows(path),
             (QStringList{"KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|5000|5200|confirmed",
                          "KTRA20|1.07|0|max-speed|1|5300|@0M1_5300\\r|5200|5300|confirmed",
                          "KTRA20|1.07|0|ramp-down||yes|@0D1\\r|no|yes|confirmed"}));
    QCOMPARE(schemaVersion(path), 3);
    QCOMPARE(notHeld.count(), 0);
}

void TestJournal::sendTheUnitDidNotKeep()
{
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    UnitSimOptions options;
    options.mode = QStringLiteral("fixed");
    options.extraArgs = {QStringLiteral("--fixed-reply"), QStringLiteral("4000")};
    JournalledLine bench(options, path);
    bench.connect();
    QVERIFY(bench.started);
    QVERIFY(bench.session->state.UnitConnected);
    QSignalSpy notHeld(bench.tracker.get(), &ChangeTracker::notHeld);

    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = QStringLiteral("5000");
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Max,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));

    QCOMPARE(bench.unit.receivedBytes(), Lines{"@0M1_5000\r"} + Ktra20Readback);
    QCOMPARE(rows(path),
             QStringList{"KTRA20|1.07|0|max-speed|1|5000|@0M1_5000\\r|4000|4000|not held"});
    QCOMPARE(notHeld.count(), 1);
    QCOMPARE(notHeld.first().first().toString(),
             QStringLiteral("Profile 1, Max Speed: sent 5000, the unit holds 4000"));
}

void TestJournal::unwritableJournalWarnsOnce()
{
    QTemporaryDir data;
    // A file where the journal's folder would be: no one can create it, root included.
    const QString blocker = data.filePath(QStringLiteral("not-a-folder"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + QStringLiteral("/journal.sqlite");
    JournalledLine bench(UnitSimOptions{}, path);
    bench.connect();
    QVERIFY(bench.started);
    QSignalSpy warnings(bench.tracker.get(), &ChangeTracker::journalWarning);

    bench.view.boxes[{Model::KTRA20, ParamKey::Accel}] = QStringLiteral("20");
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Accel,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));
    bench.session->SetOption(Model::KTRA20, Option::AnalogOn);

    QCOMPARE(bench.unit.receivedBytes(),
             (Lines{"@0A1_20\r"} + Ktra20Readback + Lines{"@0E1\r"} + Ktra20Readback));
    QCOMPARE(bench.view.lastShown(Model::KTRA20, Field::Accel), QStringLiteral("20"));
    QCOMPARE(warnings.count(), 1);
    QVERIFY(warnings.first().first().toString().startsWith(
        QStringLiteral("The change journal ") + path + QStringLiteral(" cannot be written: ")));
    QCOMPARE(bench.view.messageTexts(), QStringList{});
    QVERIFY(!QFileInfo(blocker).isDir());
}

// The window's rows go to a writer thread: a journal another program holds
// for longer than the journal waits (6 s) costs the send nothing, and the
// row is written once the other lets go.
void TestJournal::heldJournalNeverHoldsTheSend()
{
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    JournalWriter writer(path);
    JournalledLine bench(UnitSimOptions{}, path);
    bench.connect();
    QVERIFY(bench.started);
    bench.tracker->writeOnThread(&writer);
    QSignalSpy warnings(bench.tracker.get(), &ChangeTracker::journalWarning);
    QString why;
    QVERIFY(Journal::openForWriting(path, &why)); // the journal is made
    StoreConnection other(path, StoreConnection::Mode::ReadWrite);
    QSqlQuery hold(other.db());
    QVERIFY(hold.exec(QStringLiteral("BEGIN EXCLUSIVE")));

    QElapsedTimer clock;
    clock.start();
    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = QStringLiteral("5200");
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Max,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(hold.exec(QStringLiteral("COMMIT")));

    QVERIFY(QTest::qWaitFor([&] { return rows(path).size() == 1; }, 10000));
    QCOMPARE(rows(path), QStringList{"KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|5000|5200|"
                                     "confirmed"});
    QCOMPARE(warnings.count(), 0);
    QCOMPARE(bench.unit.receivedBytes(), Lines{"@0M1_5200\r"} + Ktra20Readback);
}

// The journal held by another program as the writer ends: the end waits
// at most 2 s, not 6 s a row; the rows and the check's result wait beside the
// journal, none lost and none written twice, and the next writer writes
// them in order, ahead of its own.
void TestJournal::heldJournalAtTheEnd()
{
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    const QString unwritten = data.filePath(QStringLiteral("journal.sqlite.unwritten"));
    QString why;
    QVERIFY(Journal::openForWriting(path, &why));
    StoreConnection other(path, StoreConnection::Mode::ReadWrite);
    QSqlQuery hold(other.db());
    QVERIFY(hold.exec(QStringLiteral("BEGIN EXCLUSIVE")));

    const QDateTime time = QDateTime::fromString("2026-12-09T10:00:00.000Z", Qt::ISODateWithMs);
    const JournalEntry confirmed{time,
                                 "KTRA20",
                                 "1.07",
                                 "0",
                                 "max-speed",
                                 "1",
                                 "5200",
                                 "@0M1_5200\r",
                                 "5000",
                                 "5200",
                                 JournalVerdict::Confirmed};
    const JournalEntry notAsked{time.addSecs(1),
                                QString(),
                                QString(),
                                "3",
                                "axis",
                                "",
                                "3",
                                "@0~3\r",
                                std::nullopt,
                                std::nullopt,
                                JournalVerdict::NotReadBack};
    const CheckReport report = yieldSeed().at(1);
    bool told = false;
    QElapsedTimer clock;
    {
        JournalWriter writer(path);
        writer.append(confirmed);
        writer.record(report, [&told](bool, const QString &) { told = true; });
        writer.append(notAsked);
        clock.start();
    }
    const qint64 took = clock.elapsed();
    QVERIFY2(took >= 1500 && took < 3000, qPrintable(QString::number(took)));
    QFile kept(unwritten);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll().count('\n'), 3);
    kept.close();
    QVERIFY(hold.exec(QStringLiteral("COMMIT")));
    QTest::qWait(500); // a write still under way would land now
    QCOMPARE(rows(path), QStringList());
    QCOMPARE(CheckResults(path).waiting(&why).size(), size_t(0));
    QVERIFY(!told);

    const JournalEntry next{time.addSecs(2),
                            "KTRA20",
                            "1.07",
                            "0",
                            "base-speed",
                            "1",
                            "600",
                            "@0B1_600\r",
                            "500",
                            "600",
                            JournalVerdict::Confirmed};
    {
        JournalWriter writer(path);
        writer.append(next);
    }
    QCOMPARE(rows(path), (QStringList{"KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|5000|5200|"
                                      "confirmed",
                                      "||3|axis||3|@0~3\\r|-|-|not read back",
                                      "KTRA20|1.07|0|base-speed|1|600|@0B1_600\\r|500|600|"
                                      "confirmed"}));
    const std::vector<CheckReport> waiting = CheckResults(path).waiting(&why);
    QCOMPARE(waiting.size(), size_t(1));
    QCOMPARE(waiting.front().id, report.id);
    QCOMPARE(waiting.front().values.size(), report.values.size());
    QCOMPARE(waiting.front().started, report.started);
    QVERIFY(!QFile::exists(unwritten));
}

// Reduced current answered "77": the panel shows it as OFF, but the journal
// takes no reading from a reply that is no valid answer.
void TestJournal::unreadableReplyIsNeverConfirmed()
{
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    UnitSimOptions options;
    options.mode = QStringLiteral("fixed");
    options.extraArgs = {QStringLiteral("--fixed-reply"), QStringLiteral("77"),
                         QStringLiteral("--only"), QStringLiteral("VC")};
    JournalledLine bench(options, path);
    bench.connect();
    QVERIFY(bench.started);
    QVERIFY(bench.session->state.UnitConnected);

    bench.session->SetOption(Model::KTRA20, Option::RCNo);

    QCOMPARE(bench.unit.receivedBytes(), Lines{"@0C0\r"} + Ktra20Readback);
    QCOMPARE(rows(path),
             QStringList{"KTRA20|1.07|0|reduced-current||off|@0C0\\r|-|-|not read back"});
}

// Base Speed answers late. Max Speed's change is settled by Max Speed's own
// answer or by none, never by the late Base Speed ("sent 5200, the unit
// holds 500").
void TestJournal::lateReplyNeverSettlesAnotherChange_data()
{
    QTest::addColumn<bool>("tool");
    QTest::addColumn<QString>("lateMs");
    QTest::addColumn<Lines>("heard");
    QTest::addColumn<QString>("row");

    const Lines heard = Lines{"@0M1_5200\r"} + Ktra20Readback;
    Lines baseTwice = heard;
    baseTwice.insert(2, "@0VB1\r");
    // The window's run keeps its timing: from the late reply on it places nothing.
    QTest::newRow("window, 0.35 s late")
        << false << "350" << heard
        << "KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|-|-|not read back";
    QTest::newRow("tool, 0.35 s late")
        << true << "350" << heard << "KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|-|5200|confirmed";
    QTest::newRow("tool, always 1.2 s late")
        << true << "1200" << baseTwice
        << "KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|-|5200|confirmed";
}

void TestJournal::lateReplyNeverSettlesAnotherChange()
{
    QFETCH(bool, tool);
    QFETCH(QString, lateMs);
    QFETCH(Lines, heard);
    QFETCH(QString, row);
    QTemporaryDir data;
    const QString path = data.filePath(QStringLiteral("journal.sqlite"));
    UnitSimOptions options;
    options.mode = QStringLiteral("slow");
    options.extraArgs = {QStringLiteral("--slow-ms"), lateMs, QStringLiteral("--only"),
                         QStringLiteral("VB1")};
    JournalledLine bench(options, path);
    bench.connect();
    QVERIFY(bench.session->state.UnitConnected);
    if (tool)
        bench.session->exchange.setPolicy(ReplyPolicy::Tool);
    QSignalSpy notHeld(bench.tracker.get(), &ChangeTracker::notHeld);

    bench.view.boxes[{Model::KTRA20, ParamKey::Max}] = QStringLiteral("5200");
    bench.session->SendButtonClicked(Model::KTRA20, ParamKey::Max,
                                     bench.view.entriesOf(Model::KTRA20, bench.session->state));
    bench.tracker->flush();

    QCOMPARE(bench.unit.receivedBytes(), heard);
    QCOMPARE(rows(path), QStringList{row});
    QCOMPARE(notHeld.count(), 0);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
