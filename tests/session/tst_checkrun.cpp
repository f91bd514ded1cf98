// A check against the simulated unit: the verdict of each value comes from
// the read-back after the writes, a sheet for another model puts nothing on
// the line, and a line lost in the middle never passes.

#include "Helpers.h"
#include "UnitOnLine.h"
#include "Wire.h"

#include "session/CheckRun.h"
#include "session/UnitSession.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QTest>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const Lines Queries = Ktra20SheetQueries;
const Lines Writes = Ktra20SheetWrites;

// "match 13, differs 1": how many values got each verdict.
QString counts(const CheckReport &report)
{
    QStringList out;
    for (ValueVerdict verdict :
         {ValueVerdict::Match, ValueVerdict::Differs, ValueVerdict::NotKept, ValueVerdict::NoAnswer,
          ValueVerdict::NotVerifiable, ValueVerdict::Refused, ValueVerdict::NotWritten})
        if (const int n = report.count(verdict))
            out << QStringLiteral("%1 %2").arg(valueVerdictText(verdict)).arg(n);
    return out.join(QStringLiteral(", "));
}

// "1 max-speed: 4000 / 5000" for the first value that is no match.
QString firstOdd(const CheckReport &report)
{
    for (const CheckedValue &value : report.values)
        if (value.verdict != ValueVerdict::Match)
            return QStringLiteral("%1 %2: %3 / %4%5")
                .arg(value.profile)
                .arg(value.key, value.sheetValue, value.unitValue.value_or(QStringLiteral("-")),
                     value.problem.isEmpty() ? QString()
                                             : QStringLiteral(" (%1)").arg(value.problem));
    return {};
}

} // namespace

class TestCheckRun : public QObject
{
    Q_OBJECT
  private slots:
    void check_data();
    void check();
    void replyPace_data();
    void replyPace();
};

void TestCheckRun::check_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("maxSpeed");
    QTest::addColumn<bool>("load");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<QString>("firstOdd");
    QTest::addColumn<Lines>("heard");

    QTest::newRow("unit holds the sheet") << QStringList() << "KTRA20"
                                          << "5000" << false << "pass"
                                          << ""
                                          << "match 14"
                                          << "" << Queries;
    QTest::newRow("unit holds another max speed") << QStringList() << "KTRA20"
                                                  << "4000" << false << "fail"
                                                  << ""
                                                  << "match 13, differs 1"
                                                  << "1 max-speed: 4000 / 5000" << Queries;
    QTest::newRow("load kept") << QStringList() << "KTRA20"
                               << "4000" << true << "pass"
                               << ""
                               << "match 14"
                               << "" << Writes + Queries;
    QTest::newRow("unit keeps nothing of the load")
        << QStringList{"--keep-nothing"} << "KTRA20"
        << "4000" << true << "fail"
        << ""
        << "match 13, not kept 1"
        << "1 max-speed: 4000 / 5000" << Writes + Queries;
    // The silent value is asked again once; the next question is its own.
    Lines maxAskedTwice = Queries;
    maxAskedTwice.insert(2, "@0VM1\r");
    QTest::newRow("no answer to one value, the others read")
        << QStringList{"--mode", "silent", "--only", "VM1"} << "KTRA20"
        << "5000" << false << "fail"
        << ""
        << "match 13, no answer 1"
        << "1 max-speed: 5000 / - (no answer)" << maxAskedTwice;
    QTest::newRow("sheet for another model, load")
        << QStringList() << "KTRA30"
        << "5000" << true << "refused"
        << "This sheet is for a KTRA30 and cannot be loaded into a KTRA20."
        << ""
        << "" << Lines();
    QTest::newRow("sheet for another model, no load")
        << QStringList() << "KTRA30"
        << "5000" << false << "refused"
        << "This sheet is for a KTRA30 and cannot be loaded into a KTRA20."
        << ""
        << "" << Lines();
    // The identification and its read-back are 13 lines; the 16th is the
    // third write, and the line goes with it.
    QTest::newRow("line lost after the third write")
        << QStringList{"--vanish-after", "16"} << "KTRA20"
        << "4000" << true << "fail"
        << "line lost after 3 of 14 values"
        << "no answer 3, not written 11"
        << "1 accel: 10 / - (line lost)" << Writes.mid(0, 3);
}

void TestCheckRun::check()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, model);
    QFETCH(QString, maxSpeed);
    QFETCH(bool, load);
    UnitOnLine bench(Model::KTRA20, 9600, unitArgs);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.unit.clearRecord();
    const QString path = bench.dir.filePath(QStringLiteral("line 3.json"));
    const QByteArray bytes =
        model == QLatin1String("KTRA30") ? Ktra30Sheet : ktra20Sheet(maxSpeed, model);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(path, &problem);
    QVERIFY2(request, qPrintable(problem));
    request->load = load;
    request->operatorName = QStringLiteral("Ana");
    const UnitDescription unit{QStringLiteral("KTRA20"), QStringLiteral("1.07")};
    CheckRun run(*bench.session, checkedUnitOf(*bench.session, unit));
    const CheckReport report = run.run(*request);

    QTEST(checkVerdictText(report.verdict), "verdict");
    QTEST(report.problem, "problem");
    QTEST(counts(report), "counts");
    QTEST(firstOdd(report), "firstOdd");
    QFETCH(Lines, heard);
    QVERIFY(bench.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(100); // nothing follows the run's last line
    QCOMPARE(bench.unit.receivedBytes(), heard);
    // Who, where, with what and when.
    QCOMPARE(report.unit.unitModel, QStringLiteral("KTRA20"));
    QCOMPARE(report.unit.revision, QStringLiteral("1.07"));
    QCOMPARE(report.unit.baud, 9600);
    QCOMPARE(report.unit.device, bench.unit.devicePath());
    QCOMPARE(report.station, QSysInfo::machineHostName());
    QCOMPARE(report.operatorName, QStringLiteral("Ana"));
    QCOMPARE(report.sheetName, QStringLiteral("line 3.json"));
    QCOMPARE(
        report.sheetSha256,
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
    QVERIFY(!report.id.isNull());
    QVERIFY(report.started.isValid() && report.started <= report.ended);
    QCOMPARE(report.started.timeSpec(), Qt::LocalTime);
}

// Each write followed by the query of its value; again is the query a
// second time (the first went unheard), kept is the write again with the
// fixed waits and the query after it. The final reading asks every value
// once more.
static Lines writtenAndRead(const QByteArray &again = {}, const QByteArray &rewritten = {})
{
    Lines lines;
    for (qsizetype i = 0; i < Writes.size(); ++i) {
        lines << Writes[i] << Queries[i];
        if (Queries[i] == again)
            lines << Queries[i];
        if (Queries[i] == rewritten)
            lines << Writes[i] << Queries[i];
    }
    return lines + Queries;
}

void TestCheckRun::replyPace_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("counts");
    QTest::addColumn<Lines>("heard");
    QTest::addColumn<double>("atMostSeconds");

    QTest::newRow("unit on time") << QStringList() << "pass"
                                  << "match 14" << writtenAndRead() << 5.0;
    QTest::newRow("unit 0.3 s late") << QStringList{"--mode", "slow", "--slow-ms", "300"} << "pass"
                                     << "match 14" << writtenAndRead() << 15.0;
    // The first query after a write goes unheard and is asked again; the
    // writes after it wait 0.5 s, which the unit hears.
    QTest::newRow("unit deaf 60 ms after each write")
        << QStringList{"--deaf-ms", "60"} << "pass"
        << "match 14" << writtenAndRead("@0VA1\r") << 20.0;
    // Max speed, the one value that is not the unit's already, is written
    // again with the fixed waits, and still not kept.
    QTest::newRow("unit keeps nothing")
        << QStringList{"--keep-nothing"} << "fail"
        << "match 13, not kept 1" << writtenAndRead({}, "@0VM1\r") << 8.0;
}

void TestCheckRun::replyPace()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(double, atMostSeconds);
    UnitOnLine bench(Model::KTRA20, 9600, unitArgs);
    QVERIFY(bench.started);
    bench.session->load();
    QVERIFY(bench.session->state.UnitConnected);
    bench.session->exchange.setPolicy(ReplyPolicy::Tool);
    bench.session->exchange.setPace(Pace::Reply);
    QTest::qWait(1100); // the identification's lines are done with
    bench.unit.clearRecord();
    const QString path = bench.dir.filePath(QStringLiteral("line 3.json"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ktra20Sheet(QStringLiteral("4000")));
    }
    std::optional<CheckRequest> request = checkRequestFromFile(path, nullptr);
    QVERIFY(request);
    request->load = true;
    CheckRun run(*bench.session,
                 checkedUnitOf(*bench.session, {QStringLiteral("KTRA20"), QStringLiteral("1.07")}));
    // When each line was handed to the port, on this side of the line: the
    // simulated unit's own times may bunch up on a busy machine.
    QElapsedTimer clock;
    QList<std::pair<QByteArray, double>> written;
    QObject context;
    QObject::connect(&bench.session->link, &SerialLink::lineWritten, &context,
                     [&](const QByteArray &bytes) {
                         written.append({bytes, clock.nsecsElapsed() / 1e9});
                     });
    clock.start();
    const CheckReport report = run.run(*request);
    const double seconds = clock.nsecsElapsed() / 1e9;

    QTEST(checkVerdictText(report.verdict), "verdict");
    QTEST(counts(report), "counts");
    QVERIFY(report.fixedWaits.isEmpty());
    QFETCH(Lines, heard);
    QVERIFY(bench.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(100); // nothing follows the run's last line
    const QList<ReceivedLine> lines = bench.unit.received();
    QCOMPARE(bytesOf(lines), heard);
    // The line settles after each write: at least 10 ms before the query.
    for (qsizetype i = 0; i + 1 < written.size(); ++i)
        if (Writes.contains(written[i].first) && Queries.contains(written[i + 1].first))
            QVERIFY2(written[i + 1].second - written[i].second > 0.010,
                     written[i + 1].first.constData());
    QVERIFY2(seconds < atMostSeconds, qPrintable(QString::number(seconds)));
}

QTEST_GUILESS_MAIN(TestCheckRun)
#include "tst_checkrun.moc"
