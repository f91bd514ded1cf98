// The window's side of the results server, against a PostgreSQL server of
// the test's own: Setup > Results Database keeps the setting (and refuses a
// password, keeping nothing), its Test button says what came; Tools >
// Results lists the server's checks through the filters with the yield, and
// this bench's when the server is away; results kept on the bench reach the
// server once it comes back, exactly once, said once in the status line.

#include "PgServer.h"
#include "SilentServer.h"
#include "Workbench.h"

#include "store/CheckResults.h"
#include "store/ResultsOutbox.h"
#include "store/ResultsSchema.h"
#include "store/ResultsServer.h"
#include "store/ResultsSetting.h"
#include "store/ResultsWorker.h"
#include "ui/ResultsCharts.h"
#include "ui/ResultsDatabaseDialog.h"
#include "ui/ResultsSender.h"
#include "ui/ResultsWindow.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace ktv;
using namespace ktv::test;

namespace {

const QString PasswordRefused = QStringLiteral(
    "The results database setting holds a password: keep it in the password file ~/.pgpass (or "
    "the file PGPASSFILE names), or name a service of the service file ~/.pg_service.conf with "
    "service=, never in the setting.");

// The server's tables in the public schema, by name.
const QString Tables = QStringLiteral(
    "SELECT coalesce(string_agg(tablename, ',' ORDER BY tablename), '') FROM pg_tables WHERE "
    "schemaname = 'public'");

CheckReport makeReport(const QString &station, const QString &model, CheckVerdict verdict,
                       const QString &started, const QString &id)
{
    CheckReport report;
    report.id = QUuid(id);
    report.unit = {model, QStringLiteral("1.07"), 3, 9600, QStringLiteral("/dev/ttyUSB0"), {}, {}};
    report.station = station;
    report.operatorName = QStringLiteral("Ana");
    report.sheetName = QStringLiteral("line-4.sheet");
    report.sheetSha256 = QString(64, QLatin1Char('a'));
    report.started = QDateTime::fromString(started, Qt::ISODate);
    report.ended = report.started.addSecs(2);
    report.values = {{1,
                      QStringLiteral("max-speed"),
                      QStringLiteral("Max Speed"),
                      QStringLiteral("5000"),
                      QStringLiteral("5000"),
                      ValueVerdict::Match,
                      {}},
                     {0,
                      QStringLiteral("resolution"),
                      QStringLiteral("Resolution"),
                      QStringLiteral("8"),
                      verdict == CheckVerdict::Pass ? QStringLiteral("8") : QStringLiteral("4"),
                      verdict == CheckVerdict::Pass ? ValueVerdict::Match : ValueVerdict::Differs,
                      {}}};
    report.verdict = verdict;
    return report;
}

QStringList tableRows(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells << table->item(row, column)->text();
        rows << cells.join(QLatin1String(" | "));
    }
    return rows;
}

// Runs once the dialog the menu entry opened is shown, inside its exec().
template <class Dialog> void onModal(std::function<void(Dialog &)> act, bool *ran)
{
    QTimer::singleShot(0, [act, ran] {
        auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        *ran = true;
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace

class tst_ResultsWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<PgServer> pg;

  private slots:
    void initTestCase()
    {
        pg = std::make_unique<PgServer>();
        QVERIFY2(pg->ok(), qPrintable(pg->problem()));
    }
    void cleanupTestCase() { pg.reset(); }

    void settingDialog_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("leave"); // ok, cancel, escape, close
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("messages");

        const QString old = QStringLiteral("host=old.plant dbname=lines user=bench7");
        const QString typed = QStringLiteral("host=db.plant port=5432 dbname=lines user=bench7");
        QTest::newRow("OK keeps the new setting") << typed << "ok" << typed << QStringList{};
        QTest::newRow("OK with an empty box sends nowhere") << ""
                                                            << "ok"
                                                            << "" << QStringList{};
        QTest::newRow("a password is refused and nothing is kept")
            << "host=db.plant dbname=lines user=bench7 password=horse"
            << "ok" << old << QStringList{PasswordRefused};
        QTest::newRow("Cancel keeps the old one") << typed << "cancel" << old << QStringList{};
        QTest::newRow("Esc keeps the old one") << typed << "escape" << old << QStringList{};
        QTest::newRow("the close box keeps the old one")
            << typed << "close" << old << QStringList{};
    }
    void settingDialog()
    {
        QFETCH(QString, typed);
        QFETCH(QString, leave);
        QFETCH(QString, stored);
        QFETCH(QStringList, messages);
        UnitOnLine rig(Model::KTRA20);
        QVERIFY(rig.started);
        Workbench bench(rig);
        QString problem;
        QVERIFY(writeResultsSetting(
            bench.storePath, QStringLiteral("host=old.plant dbname=lines user=bench7"), &problem));
        const QByteArray before = fileBytes(bench.storePath);

        bool ran = false;
        bool stayedOpen = false;
        onModal<ResultsDatabaseDialog>(
            [&](ResultsDatabaseDialog &dialog) {
                QCOMPARE(dialog.settingBox()->text(),
                         QStringLiteral("host=old.plant dbname=lines user=bench7"));
                dialog.settingBox()->setText(typed);
                if (leave == "ok")
                    QTest::keyClick(dialog.settingBox(), Qt::Key_Return);
                else if (leave == "cancel")
                    dialog.findChild<QDialogButtonBox *>()
                        ->button(QDialogButtonBox::Cancel)
                        ->click();
                else if (leave == "escape")
                    QTest::keyClick(dialog.settingBox(), Qt::Key_Escape);
                else
                    dialog.close();
                stayedOpen = dialog.isVisible();
            },
            &ran);
        bench.find<QAction>("mnuResultsDatabase")->trigger();
        QVERIFY(ran);

        QCOMPARE(bench.recorder.texts(), messages);
        QCOMPARE(stayedOpen, !messages.isEmpty());
        QCOMPARE(readResultsSetting(bench.storePath).setting, stored);
        if (stored == QStringLiteral("host=old.plant dbname=lines user=bench7"))
            QCOMPARE(fileBytes(bench.storePath), before);
        QVERIFY(rig.unit.receivedBytes().isEmpty());
    }

    // The server's refusals (a wrong password, nothing listening, a newer
    // schema) are the results server's own texts, tested with it; here the
    // texts the dialog adds, and that it shows a refusal as it came.
    void testButtonSaysWhatCame_data()
    {
        QTest::addColumn<QString>("setting"); // %1: port, %2: database
        QTest::addColumn<QString>("said");
        QTest::addColumn<QString>("tables"); // what the database holds afterwards

        QTest::newRow("connected, nothing made")
            << "host=127.0.0.1 port=%1 dbname=%2 user=ktv"
            << "Connected to 127.0.0.1:%1: no results tables yet; the first result sent makes "
               "them."
            << "";
        QTest::newRow("an empty box tries nothing")
            << "  "
            << "No results server is set: results stay on this bench."
            << "";
        QTest::newRow("a setting that does not read")
            << "host=127.0.0.1 port=%1 dbname"
            << "The results database setting cannot be read: missing \"=\" after \"dbname\" in "
               "connection info string. Write it as keyword=value pairs, such as \"host=db.plant "
               "dbname=results "
               "user=bench\"."
            << "";
        QTest::newRow("a password")
            << "host=127.0.0.1 port=%1 dbname=%2 password=x" << PasswordRefused << "";
    }
    void testButtonSaysWhatCame()
    {
        QFETCH(QString, setting);
        QFETCH(QString, said);
        QFETCH(QString, tables);
        const QString db = pg->createDatabase();
        Workbench bench;
        auto filled = [&](QString text) {
            return text.replace("%1", QString::number(pg->port())).replace("%2", db);
        };
        const QByteArray before = fileBytes(bench.storePath);

        ResultsWorker worker;
        ResultsDatabaseDialog dialog(bench.storePath, worker, bench.window->toolkit(),
                                     bench.window.get());
        dialog.settingBox()->setText(filled(setting));
        QSignalSpy tested(&dialog, &ResultsDatabaseDialog::tested);
        dialog.testButton()->click();
        if (worker.pending() > 0) {
            QCOMPARE(dialog.testResult()->text(), QStringLiteral("Testing…"));
            QVERIFY(!dialog.testButton()->isEnabled());
            QVERIFY(tested.wait(10000));
            QVERIFY(dialog.testButton()->isEnabled());
        }

        QCOMPARE(dialog.testResult()->text(), filled(said));
        QVERIFY(bench.recorder.messages.isEmpty());
        QVERIFY(!isWaitCursorShown());
        // Test keeps nothing; it writes only the schema of a database it may use.
        QCOMPARE(fileBytes(bench.storePath), before);
        QCOMPARE(pg->rows(db, Tables), QStringList{tables});
    }

    void resultsFromTheServerThenTheBench()
    {
        const QString db = pg->createDatabase();
        Workbench bench;
        QString problem;
        QVERIFY(writeResultsSetting(bench.storePath, pg->setting(db), &problem));
        {
            ResultsServer server(pg->setting(db));
            for (const CheckReport &report :
                 {makeReport("Station 1", "KTRA20", CheckVerdict::Pass, "2026-12-07T09:00:00+01:00",
                             "{00000000-0000-4000-8000-000000000001}"),
                  makeReport("Station 1", "KTRA20", CheckVerdict::Fail, "2026-12-07T10:00:00+01:00",
                             "{00000000-0000-4000-8000-000000000002}"),
                  makeReport("Station 2", "KTRA20", CheckVerdict::Fail, "2026-12-08T08:00:00+01:00",
                             "{00000000-0000-4000-8000-000000000003}"),
                  makeReport("Station 1", "VELD40", CheckVerdict::Pass, "2026-12-08T11:00:00+01:00",
                             "{00000000-0000-4000-8000-000000000004}"),
                  makeReport("Station 1", "ktra20", CheckVerdict::Pass, "2026-12-08T12:00:00+01:00",
                             "{00000000-0000-4000-8000-000000000005}")}) {
                CheckReport serialled = report;
                if (report.id.toString().endsWith("01}") || report.id.toString().endsWith("02}"))
                    serialled.serial = "SN-2";
                QCOMPARE(server.send(serialled, &problem), SendOutcome::Stored);
            }
        }
        QVERIFY(pg->exec(db, "UPDATE checks SET received = '2026-12-08 14:05:00+01'"));
        // Only on this bench: listed only while the server is away.
        ResultsOutbox outbox(bench.journalPath);
        CheckReport waiting =
            makeReport("Station 1", "KTRA20", CheckVerdict::Fail, "2026-12-08T13:00:00+01:00",
                       "{00000000-0000-4000-8000-000000000006}");
        waiting.serial = "SN-6";
        QVERIFY(outbox.keep(waiting, &problem));
        const QString server = QStringLiteral("127.0.0.1:%1").arg(pg->port());

        ResultsWorker worker;
        ResultsWindow window(bench.storePath, bench.journalPath, worker, bench.window->toolkit(),
                             bench.window.get());
        QSignalSpy shown(&window, &ResultsWindow::shown);
        QCOMPARE(window.source()->text(), QStringLiteral("Reading the results…"));
        QVERIFY(shown.wait(10000));
        // The bench's own, not on the server yet, head the list.
        QCOMPARE(window.results()->rowCount(), 6);
        QCOMPARE(window.results()->item(0, 9)->text(), "00000000-0000-4000-8000-000000000006");
        QCOMPARE(window.results()->item(0, 10)->text(), "waiting");
        window.stationFilter()->setText(QStringLiteral("Station 1"));
        window.unitFilter()->setText(QStringLiteral("KTRA20"));
        window.refresh();
        QVERIFY(shown.wait(10000));
        QCOMPARE(window.source()->text(), "The results database on " + server +
                                              ". 1 result waits on this bench to be sent.");
        // Sent: when the server took each, in this bench's time.
        const QString took = QDateTime::fromString("2026-12-08T14:05:00+01:00", Qt::ISODate)
                                 .toLocalTime()
                                 .toString("yyyy-MM-ddTHH:mm:ss");
        QCOMPARE(tableRows(window.results()).replaceInStrings(took, "{took}"),
                 (QStringList{"2026-12-08T13:00:00 | SN-6 | Station 1 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 1/2 | fail | 00000000-0000-4000-8000-000000000006 | "
                              "waiting",
                              "2026-12-08T12:00:00 | - | Station 1 | Ana | ktra20 | 3 | "
                              "line-4.sheet | 2/2 | pass | 00000000-0000-4000-8000-000000000005 | "
                              "{took}",
                              "2026-12-07T10:00:00 | SN-2 | Station 1 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 1/2 | fail | 00000000-0000-4000-8000-000000000002 | "
                              "{took}",
                              "2026-12-07T09:00:00 | SN-2 | Station 1 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 2/2 | pass | 00000000-0000-4000-8000-000000000001 | "
                              "{took}"}));
        // Units, as the charts count them: SN-2's retest counts at its first check.
        QCOMPARE(window.yieldDefinition()->text(),
                 "Yield counts units, not checks: a unit is its serial number (a check without "
                 "one is a unit of its own), counted once, at the station and day of its first "
                 "check. First pass: its first check passed; final: its last check passed.");
        QCOMPARE(tableRows(window.yields()),
                 (QStringList{"2026-12-08 | Station 1 | 1 | 1 (100.0 %) | 1 (100.0 %) | 0",
                              "2026-12-07 | Station 1 | 1 | 1 (100.0 %) | 0 (0.0 %) | 1"}));

        window.stationFilter()->clear();
        window.unitFilter()->clear();
        window.sinceFilter()->setText(QStringLiteral("2026-12-08"));
        window.failedOnly()->setChecked(true);
        window.refresh();
        QVERIFY(shown.wait(10000));
        QCOMPARE(tableRows(window.results()).replaceInStrings(took, "{took}"),
                 (QStringList{"2026-12-08T13:00:00 | SN-6 | Station 1 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 1/2 | fail | 00000000-0000-4000-8000-000000000006 | "
                              "waiting",
                              "2026-12-08T08:00:00 | - | Station 2 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 1/2 | fail | 00000000-0000-4000-8000-000000000003 | "
                              "{took}"}));
        // A yield of failed checks alone means nothing: failed only leaves it.
        QCOMPARE(tableRows(window.yields()),
                 (QStringList{"2026-12-08 | Station 1 | 2 | 2 (100.0 %) | 2 (100.0 %) | 0",
                              "2026-12-08 | Station 2 | 1 | 0 (0.0 %) | 0 (0.0 %) | 0"}));
        // A date that does not read: said, and the table stays as it was.
        window.sinceFilter()->setText(QStringLiteral("08.12.2026"));
        window.refresh();
        QCOMPARE(bench.recorder.texts(),
                 QStringList{"Since takes a date such as 2026-12-08 or 2026-12-08T14:00."});
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(shown.count(), 3);
        bench.recorder.messages.clear();
        window.sinceFilter()->setText(QStringLiteral("2026-12-08"));

        // The server away: this bench's checks, said so.
        QVERIFY(pg->stop());
        window.refresh();
        QVERIFY(shown.wait(10000));
        const bool restarted = pg->start();
        QCOMPARE(window.source()->text(),
                 "The results database on " + server +
                     " cannot be reached: connection to server at \"127.0.0.1\", port " +
                     QString::number(pg->port()) +
                     " failed: Connection refused Is the server running on that host and "
                     "accepting TCP/IP connections? The checks recorded on this computer follow. "
                     "1 result waits on this bench to be sent.");
        QCOMPARE(tableRows(window.results()),
                 (QStringList{"2026-12-08T13:00:00 | SN-6 | Station 1 | Ana | KTRA20 | 3 | "
                              "line-4.sheet | 1/2 | fail | 00000000-0000-4000-8000-000000000006 | "
                              "waiting"}));
        QCOMPARE(tableRows(window.yields()),
                 (QStringList{"2026-12-08 | Station 1 | 1 | 0 (0.0 %) | 0 (0.0 %) | 0"}));
        QVERIFY(restarted);
        // Listing wrote nothing anywhere.
        QCOMPARE(pg->rows(db, "SELECT count(*) FROM checks"), QStringList{"5"});
        QCOMPARE(bench.recorder.messages.size(), 0);
        QVERIFY(!isWaitCursorShown());
    }

    // A server whose summaries were never filled (the program that took
    // its schema step was stopped): the window's read fills them on the
    // worker's thread and says meanwhile what it does, also while a batch
    // waits for another session's lock, then lists the checks.
    void schemaStepSaysWhatItDoes()
    {
        const QString db = pg->createDatabase();
        QString problem;
        const auto remove = qScopeGuard([] {
            QSqlDatabase::removeDatabase("step");
            QSqlDatabase::removeDatabase("holder");
        });
        {
            QSqlDatabase step = QSqlDatabase::addDatabase("QPSQL", "step");
            step.setConnectOptions(pg->setting(db));
            QVERIFY(step.open());
            QVERIFY2(upgradeResultsSchema(step, ResultsSchemaVersion, &problem),
                     qPrintable(problem));
            step.close();
        }
        for (const char *id :
             {"00000000-0000-4000-8000-000000000001", "00000000-0000-4000-8000-000000000002"})
            QVERIFY(pg->exec(
                db, QStringLiteral("INSERT INTO checks (uuid, station, operator, unit_model, "
                                   "revision, axis, baud, device, by_id, serial_number, "
                                   "sheet_name, sheet_sha256, loaded, started, ended, "
                                   "utc_offset, verdict, problem, serial) VALUES ('%1', "
                                   "'Station 1', 'Ana', 'KTRA20', '1.07', 0, 9600, "
                                   "'/dev/ttyUSB0', '', '', 'line3.json', 'x', true, "
                                   "'2026-12-08 10:00+01', '2026-12-08 10:00+01', 3600, "
                                   "'fail', '', '')")
                        .arg(id)));
        QSqlDatabase holder = QSqlDatabase::addDatabase("QPSQL", "holder");
        holder.setConnectOptions(pg->setting(db));
        QVERIFY(holder.open());
        QVERIFY(holder.transaction());
        QVERIFY(QSqlQuery(holder).exec("SELECT * FROM field_fill FOR UPDATE"));

        Workbench bench;
        QVERIFY(writeResultsSetting(bench.storePath, pg->setting(db), &problem));
        ResultsWorker worker;
        ResultsWindow window(bench.storePath, bench.journalPath, worker, bench.window->toolkit(),
                             bench.window.get());
        QSignalSpy shown(&window, &ResultsWindow::shown);
        QTRY_COMPARE_WITH_TIMEOUT(
            window.source()->text(),
            QStringLiteral("Summarizing the failing fields and the checks per hour of the checks "
                           "already on the server, a batch at a time; stations go on sending "
                           "meanwhile."),
            10000);
        QCOMPARE(shown.count(), 0);
        QCOMPARE(pg->rows(db, "SELECT done FROM field_fill"), QStringList{"false"});
        QVERIFY(holder.rollback());
        QVERIFY(shown.wait(10000));
        QCOMPARE(window.source()->text(),
                 QStringLiteral("The results database on 127.0.0.1:%1.").arg(pg->port()));
        QCOMPARE(window.results()->rowCount(), 2);
        QCOMPARE(pg->rows(db, "SELECT done FROM field_fill"), QStringList{"true"});
        QCOMPARE(pg->rows(db, "SELECT hour, passed, other FROM checks_per_hour"),
                 QStringList{"10|0|2"});
        QCOMPARE(pg->rows(db, "SELECT count(*) FROM checks"), QStringList{"2"});
        QCOMPARE(bench.recorder.messages.size(), 0);
    }

    void waitingResultsGoWhenTheServerComesBack()
    {
        PgServer later;
        QVERIFY2(later.ok(), qPrintable(later.problem()));
        const QString db = later.createDatabase();
        QVERIFY(later.stop());
        UnitOnLine rig(Model::KTRA20);
        QVERIFY(rig.started);
        Workbench bench(rig);
        QString problem;
        QVERIFY(writeResultsSetting(bench.storePath, later.setting(db), &problem));
        ResultsOutbox outbox(bench.journalPath);
        QVERIFY(outbox.keep(makeReport("bench-3", "KTRA20", CheckVerdict::Pass,
                                       "2026-12-08T13:00:00+01:00",
                                       "{00000000-0000-4000-8000-0000000000aa}"),
                            &problem));
        const QString server = QStringLiteral("127.0.0.1:%1").arg(later.port());

        auto *sender = bench.window->findChild<ResultsSender *>("resultsSender");
        QVERIFY(!sender);
        bench.load();
        QVERIFY(bench.state.UnitConnected);
        sender = bench.window->findChild<ResultsSender *>("resultsSender");
        QVERIFY(sender);
        QSignalSpy rounds(sender, &ResultsSender::roundDone);
        QCOMPARE(sender->timer()->interval(), 60 * 1000);
        QVERIFY(sender->timer()->isActive());
        QVERIFY(!sender->sendWaiting()); // the start-up round is still out
        QVERIFY(rounds.wait(10000));
        QCOMPARE(bench.window->statusBar()->currentMessage(),
                 "1 result kept on this bench until " + server +
                     " answers. The results database on " + server +
                     " cannot be reached: connection to server at \"127.0.0.1\", port " +
                     QString::number(later.port()) +
                     " failed: Connection refused Is the server running on that host and "
                     "accepting TCP/IP connections?");
        const QList<QByteArray> line = rig.unit.receivedBytes();

        QSignalSpy said(sender, &ResultsSender::status);
        QVERIFY(sender->sendWaiting()); // still away: said once already
        QVERIFY(rounds.wait(10000));
        QCOMPARE(said.count(), 0);

        QVERIFY(later.start());
        QVERIFY(sender->sendWaiting());
        QVERIFY(rounds.wait(10000));
        QCOMPARE(said.count(), 1);
        QCOMPARE(bench.window->statusBar()->currentMessage(),
                 "1 waiting result sent to " + server + ".");
        QVERIFY(sender->sendWaiting());
        QVERIFY(rounds.wait(10000));
        QCOMPARE(said.count(), 1);
        QCOMPARE(later.rows(db, "SELECT uuid, station, verdict FROM checks"),
                 QStringList{"00000000-0000-4000-8000-0000000000aa|bench-3|pass"});
        QCOMPARE(later.rows(db, "SELECT count(*) FROM check_values"), QStringList{"2"});
        QVERIFY(outbox.waiting(&problem)->empty());
        QCOMPARE(rig.unit.receivedBytes(), line);
        QVERIFY(bench.recorder.messages.isEmpty());
    }

    // The newest 500 first, then More adds the rest; this bench's journal
    // alone (no results server), so nothing is marked as waiting.
    void pagedByFiveHundred()
    {
        Workbench bench;
        CheckResults journal(bench.journalPath);
        QString problem;
        const QDateTime first = QDateTime::fromString("2026-12-08T06:00:00+01:00", Qt::ISODate);
        for (int n = 0; n <= ResultsWindow::PageSize; ++n) {
            CheckReport report =
                makeReport("Station 1", "KTRA20", CheckVerdict::Pass, "2026-12-08T06:00:00+01:00",
                           QUuid::createUuid().toString());
            report.started = first.addSecs(n);
            QVERIFY2(journal.record(report, &problem), qPrintable(problem));
        }
        ResultsWorker worker;
        ResultsWindow window(bench.storePath, bench.journalPath, worker, bench.window->toolkit(),
                             bench.window.get());
        QSignalSpy shown(&window, &ResultsWindow::shown);
        QVERIFY(shown.wait(10000));
        QCOMPARE(window.results()->rowCount(), 500);
        QCOMPARE(window.results()->item(0, 0)->text(), "2026-12-08T06:08:20");
        QCOMPARE(window.results()->item(499, 0)->text(), "2026-12-08T06:00:01");
        QVERIFY(window.moreButton()->isEnabled());
        window.moreButton()->click();
        QVERIFY(shown.wait(10000));
        QCOMPARE(window.results()->rowCount(), 501);
        QCOMPARE(window.results()->item(500, 0)->text(), "2026-12-08T06:00:00");
        QCOMPARE(window.results()->item(500, 10)->text(), "no server set");
        QVERIFY(!window.moreButton()->isEnabled());
    }

    // What a screen reader says of each part of the window, and an access
    // key that belongs to one control only.
    void readOutByName_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        const char *const rows[][4] = {
            {"the checks", "tblResults", "Results", ""},
            {"the yield", "tblYield", "Yield of units", ""},
            {"the day, not its date", "cboDay", "Day", "2026-12-08"},
            {"the yield chart", "chtYield", "Yield chart", ""},
            {"the failing fields chart", "chtFailingFields", "Failing fields chart", ""},
            {"the checks per hour chart", "chtChecksPerHour", "Checks per hour chart", ""},
            {"the unit's history", "tblHistory", "Unit History", ""}};
        for (const auto &row : rows)
            QTest::newRow(row[0]) << row[1] << row[2] << row[3];
    }
    void readOutByName()
    {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(QString, value);
        Workbench bench;
        QString problem;
        QVERIFY(CheckResults(bench.journalPath)
                    .record(makeReport("Station 1", "KTRA20", CheckVerdict::Pass,
                                       "2026-12-08T09:00:00+01:00",
                                       "{00000000-0000-4000-8000-000000000001}"),
                            &problem));
        ResultsWorker worker;
        ResultsWindow window(bench.storePath, bench.journalPath, worker, bench.window->toolkit(),
                             bench.window.get());
        QSignalSpy loaded(window.charts(), &ResultsCharts::loaded);
        QVERIFY(loaded.wait(10000));
        auto *widget = window.findChild<QWidget *>(object);
        QVERIFY(widget);
        QAccessibleInterface *read = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(read);
        QCOMPARE(read->text(QAccessible::Name), name);
        if (!value.isEmpty())
            QCOMPARE(read->text(QAccessible::Value), value);

        // Each access key (Alt+letter) names one control of the window.
        QMap<QChar, QStringList> keys;
        for (QWidget *child : window.findChildren<QWidget *>()) {
            QString text;
            if (auto *button = qobject_cast<QAbstractButton *>(child))
                text = button->text();
            else if (auto *label = qobject_cast<QLabel *>(child))
                text = label->text();
            const qsizetype at = text.indexOf('&');
            if (at >= 0 && at + 1 < text.size() && text[at + 1] != '&')
                keys[text[at + 1].toLower()] << text;
        }
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            QVERIFY2(it.value().size() == 1, qPrintable(it.value().join(" / ")));
        QVERIFY(keys.contains('d') && keys.contains('p'));
        QVERIFY(bench.recorder.messages.isEmpty());
    }

    // A server that takes the connection and never answers: the start-up
    // round waits for it on its own thread while Hard Limit, its button and
    // Esc, reach the line at once; the round then ends within its bound.
    void hardLimitWhileARoundWaitsOnASilentServer()
    {
        SilentServer silent;
        QVERIFY(silent.ok());
        UnitOnLine rig(Model::KTRA20);
        QVERIFY(rig.started);
        Workbench bench(rig);
        QString problem;
        QVERIFY(writeResultsSetting(bench.storePath, silent.setting(), &problem));
        ResultsOutbox outbox(bench.journalPath);
        QVERIFY(outbox.keep(makeReport("bench-3", "KTRA20", CheckVerdict::Pass,
                                       "2026-12-08T13:00:00+01:00",
                                       "{00000000-0000-4000-8000-0000000000bb}"),
                            &problem));
        QElapsedTimer sinceLoad;
        sinceLoad.start();
        bench.load();
        QVERIFY(bench.state.UnitConnected);
        auto *sender = bench.window->findChild<ResultsSender *>("resultsSender");
        QVERIFY(sender);
        QSignalSpy rounds(sender, &ResultsSender::roundDone);
        QCOMPARE(rounds.count(), 0);
        bench.window->SSTab1()->setCurrentIndex(tabIndex(Model::KTRA20));
        bench.window->show();
        bench.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
        rig.unit.clearRecord();

        const QList<std::function<void()>> clicks = {
            [&] { bench.panel(Model::KTRA20).motion[2]->click(); },
            [&] { QTest::keyClick(bench.window.get(), Qt::Key_Escape); }};
        for (int i = 0; i < clicks.size(); ++i) {
            QTest::qWait(300);
            QElapsedTimer now; // the unit's clock: CLOCK_MONOTONIC
            now.start();
            const double clicked = now.msecsSinceReference() / 1000.0;
            clicks[i]();
            QVERIFY(rig.unit.waitForLineCount(i + 1));
            const ReceivedLine heard = rig.unit.received().at(i);
            QCOMPARE(heard.bytes, QByteArray("@0H\r"));
            QVERIFY2(heard.t - clicked < 1.0, qPrintable(QString::number(heard.t - clicked)));
        }
        // The round was out all along, and ends within its bound.
        QCOMPARE(rounds.count(), 0);
        QVERIFY(rounds.wait(8000));
        QVERIFY2(sinceLoad.elapsed() < 9000, qPrintable(QString::number(sinceLoad.elapsed())));
        QVERIFY(bench.window->statusBar()->currentMessage().contains("timeout expired"));
        QCOMPARE(outbox.waiting(&problem)->size(), std::size_t(1));
        QCOMPARE(rig.unit.received().size(), 2);
        QVERIFY(bench.recorder.messages.isEmpty());
    }
};

QTEST_MAIN(tst_ResultsWindow)
#include "tst_resultswindow.moc"
