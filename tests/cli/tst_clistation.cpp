// ktraveld-cli station: a line per unit, its exit codes, two lines at once
// with --json, and Ctrl+C while it waits.

#include "CliRig.h"
#include "PgServer.h"
#include "Wire.h"
#include "store/CheckResults.h"
#include "store/SerialSetting.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <pwd.h>
#include <unistd.h>

using namespace ktv;
using namespace ktv::test;

namespace {

const QByteArray Probe = "@0$\r";

QString writeSheet(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("unit.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(wire::ktra20Sheet(QStringLiteral("4000")));
    return path;
}

} // namespace

class TestCliStation : public QObject
{
    Q_OBJECT
  private slots:
    void oneLine_data();
    void oneLine();
    void refusedBeforeAnyLine_data();
    void refusedBeforeAnyLine();
    void twoLinesWithJson();
    void serialPrompt_data();
    void serialPrompt();
    void interruptedWhileWaiting();
    void whatARecordHolds_data();
    void whatARecordHolds();
    void endsAfterTheChecksUnderWay_data();
    void endsAfterTheChecksUnderWay();
    void serialPromptOnTwoLines();
    void aNoisyLineTouchesNoOther();
    void verdictWhileTheServerIsHeld();
};

void TestCliStation::oneLine_data()
{
    QTest::addColumn<QByteArray>("order");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a pattern; DEV stands for the line's device
    QTest::newRow("a unit that passes")
        << QByteArray() << QStringList{"--units", "1"} << 0
        << R"(^COM 1 \(DEV\): PASS KTRA20 1\.07, 14 of 14 values, \d+\.\d s\n$)";
    QTest::newRow("a unit that keeps nothing fails")
        << QByteArray("insert KTRA20 0 keep-nothing") << QStringList{"--units", "1"} << 3
        << R"(^COM 1 \(DEV\): FAIL KTRA20 1\.07, 13 of 14 values, \d+\.\d s\n$)";
    QTest::newRow("a unit of another model is refused")
        << QByteArray("insert VELD30 0") << QStringList{"--units", "1"} << 3
        << R"(^COM 1 \(DEV\): REFUSED VELD30 1\.07, .+\n$)";
    QTest::newRow("two units at one address are refused")
        << QByteArray("also") << QStringList{"--units", "1"} << 3
        << R"(^COM 1 \(DEV\): REFUSED, More than one unit answers at address 0\n$)";
    QTest::newRow("a result the server has not taken is waiting")
        << QByteArray()
        << QStringList{"--units", "1", "--json", "--results-db",
                       "host=127.0.0.1 port=1 dbname=results user=ktv"}
        << 0
        << R"("messages":\[\{"code":"results-waiting","text":"1 result kept on this bench )"
           R"(until 127\.0\.0\.1:1 answers\.)";
    QTest::newRow("--units 0 is a usage error")
        << QByteArray() << QStringList{"--units", "0"} << 2 << "^$";
    QTest::newRow("an empty operator is a usage error")
        << QByteArray() << QStringList{"--operator", " "} << 2 << "^$";
}

void TestCliStation::oneLine()
{
    QFETCH(QByteArray, order);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    // "also": a second unit shares the address.
    CliRig rig(QStringLiteral("KTRA20"), 9600,
               order == "also" ? QStringList{"--also-address", "0"} : QStringList());
    QVERIFY(rig.started);
    if (!order.isEmpty() && order != "also")
        QVERIFY(rig.unit.control(order));
    const QStringList operatorArgs =
        args.contains("--operator") ? QStringList() : QStringList{"--operator", "Ana"};
    const CliRun run = rig.run(QStringList{"station", writeSheet(rig.dir)} + operatorArgs + args);
    QCOMPARE(run.exitCode, exitCode);
    const QString pattern =
        QString(out).replace("DEV", QRegularExpression::escape(rig.unit.devicePath()));
    QVERIFY2(QRegularExpression(pattern).match(run.out).hasMatch(), qPrintable(run.out + run.err));
    const QList<QByteArray> wire = rig.unit.receivedBytes();
    if (exitCode == 2)
        QCOMPARE(wire, QList<QByteArray>());
    else if (out.contains("REFUSED")) // asked, nothing written
        QVERIFY(
            std::all_of(wire.begin(), wire.end(), [](const QByteArray &l) { return l == Probe; }));
    else
        QCOMPARE(wire.mid(1, 14), wire::Ktra20SheetWrites);
}

// What the window's station refuses before Start, the tool refuses before
// any line runs, in the same words.
void TestCliStation::refusedBeforeAnyLine_data()
{
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("first"); // {dir}: the rig's folder
    QTest::newRow("a sheet its model refuses")
        << wire::ktra20Sheet(QStringLiteral("60000")) << 2 << QStringList{"sheet-refused"}
        << "Profile 1, Max Speed: Waring: The Max Speed upper limit is 50,000";
    QTest::newRow("a port that does not open")
        << wire::ktra20Sheet(QStringLiteral("4000")) << 1
        << QStringList{"port-open-failed", "port-diagnosis"}
        << "COM 2 ({dir}/none) does not open: No such file or directory";
}

void TestCliStation::refusedBeforeAnyLine()
{
    QFETCH(QByteArray, sheet);
    QFETCH(int, exitCode);
    QFETCH(QStringList, codes);
    QFETCH(QString, first);
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    const QString path = rig.dir.filePath(QStringLiteral("unit.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(sheet), sheet.size());
    file.close();

    const CliRun run = rig.run({"station", path, "--operator", "Ana", "--json", "--device",
                                rig.unit.devicePath(), "--device", rig.dir.filePath("none")});

    QCOMPARE(run.exitCode, exitCode);
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QStringList shownCodes;
    for (const QJsonValue &message : doc.value(QStringLiteral("messages")).toArray())
        shownCodes << message[QStringLiteral("code")].toString();
    QCOMPARE(shownCodes, codes);
    QCOMPARE(doc.value(QStringLiteral("messages"))[0][QStringLiteral("text")].toString(),
             first.replace(QLatin1String("{dir}"), rig.dir.path()));
    QCOMPARE(rig.unit.receivedBytes(), QList<QByteArray>());
    QString problem;
    QCOMPARE(CheckResults(rig.journalPath()).list({}, &problem).size(), std::size_t(0));
}

void TestCliStation::twoLinesWithJson()
{
    CliRig one(QStringLiteral("KTRA20"));
    CliRig two(QStringLiteral("KTRA20"));
    QVERIFY(one.started && two.started);
    const CliRun run = one.run({"station", writeSheet(one.dir), "--device", one.unit.devicePath(),
                                "--device", two.unit.devicePath(), "--units", "2", "--json",
                                "--operator", "Ana", "--station", "Bench 3"});
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QStringList seen;
    QList<QDateTime> started, ended;
    for (const QString &line : lines.mid(0, 2)) {
        const QJsonObject unit = QJsonDocument::fromJson(line.toUtf8()).object();
        seen << unit["line"].toString() + " " + unit["verdict"].toString() + " " +
                    unit["station"].toString();
        started << QDateTime::fromString(unit["started"].toString(), Qt::ISODateWithMs);
        ended << QDateTime::fromString(unit["ended"].toString(), Qt::ISODateWithMs);
    }
    seen.sort();
    QCOMPARE(seen,
             (QStringList{QStringLiteral("COM 1 (%1) pass Bench 3").arg(one.unit.devicePath()),
                          QStringLiteral("COM 2 (%1) pass Bench 3").arg(two.unit.devicePath())}));
    // Side by side, not one after the other.
    QVERIFY(started[0] < ended[1] && started[1] < ended[0]);
    const QJsonObject summary = QJsonDocument::fromJson(lines[2].toUtf8()).object();
    QCOMPARE(summary["passed"].toInt(), 2);
    QCOMPARE(summary["exit"].toInt(), 0);
    QCOMPARE(one.unit.receivedBytes().mid(1, 14), wire::Ktra20SheetWrites);
    QCOMPARE(two.unit.receivedBytes().mid(1, 14), wire::Ktra20SheetWrites);
}

void TestCliStation::serialPrompt_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("serial"); // the checked unit's; empty: none checked
    QTest::addColumn<QString>("err");    // DEV stands for the line's device
    QTest::addColumn<QString>("stored"); // the station's pattern in the store
    const QStringList pattern{"--serial-pattern", R"(^SN-\d{4}$)"};
    QTest::newRow("a number that fits is the unit's")
        << pattern << QByteArray("SN-0001\n") << 0 << "SN-0001"
        << "COM 1 (DEV): serial number? " << QString();
    QTest::newRow("a number that does not fit is asked again")
        << pattern << QByteArray("SN-12\n SN-0002 \n") << 0 << "SN-0002"
        << "COM 1 (DEV): serial number? COM 1 (DEV): The serial number \"SN-12\" does not "
           "fit ^SN-\\d{4}$; nothing was checked.\nCOM 1 (DEV): serial number? "
        << QString();
    QTest::newRow("a refused number, then the end of input: nothing checked")
        << pattern << QByteArray("SN-12x\n") << 1 << ""
        << "COM 1 (DEV): The serial number \"SN-12x\" does not fit ^SN-\\d{4}$; nothing was "
           "checked.\n"
        << QString();
    QTest::newRow("without a pattern, any number but an empty one")
        << QStringList() << QByteArray("\nA 7\n") << 0 << "A 7"
        << "COM 1 (DEV): No serial number was given; nothing was checked.\n"
        << QString();
    QTest::newRow("no input: nothing checked") << QStringList() << QByteArray() << 1 << ""
                                               << "" << QString();
    QTest::newRow("without --serial-pattern, the station's own")
        << QStringList() << QByteArray("A 7\nSN-0003\n") << 0 << "SN-0003"
        << "COM 1 (DEV): The serial number \"A 7\" does not fit ^SN-\\d{4}$; nothing was "
           "checked.\n"
        << R"(^SN-\d{4}$)";
    QTest::newRow("a pattern that is no regular expression is a usage error")
        << QStringList{"--serial-pattern", "^SN-("} << QByteArray("SN-(\n") << 2 << ""
        << "The serial number pattern ^SN-( is not a regular expression: missing closing "
           "parenthesis"
        << QString();
}

void TestCliStation::serialPrompt()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, serial);
    QFETCH(QString, err);
    QFETCH(QString, stored);
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    QString problem;
    QVERIFY(stored.isEmpty() || writeSerialSetting(rig.storePath, {true, stored}, &problem));
    const CliRun run = rig.run(QStringList{"station", writeSheet(rig.dir), "--operator", "Ana",
                                           "--units", "1", "--json", "--serial-prompt"} +
                                   args,
                               input);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(QString(err).replace("DEV", rig.unit.devicePath())),
             qPrintable(run.err));
    const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
    const QList<QByteArray> wire = rig.unit.receivedBytes();
    if (serial.isEmpty()) {
        if (exitCode == 2)
            QCOMPARE(wire, QList<QByteArray>());
        else
            QCOMPARE(lines.size(), 1); // the summary only
        QVERIFY(std::all_of(wire.begin(), wire.end(),
                            [](const QByteArray &line) { return line == Probe; }));
        return;
    }
    QCOMPARE(lines.size(), 2);
    const QJsonObject unit = QJsonDocument::fromJson(lines[0].toUtf8()).object();
    QCOMPARE(unit["serial"].toString(), serial);
    QCOMPARE(unit["verdict"].toString(), QStringLiteral("pass"));
    // Asked while it waited for the number: the unit stayed, then was loaded.
    const qsizetype firstWrite = wire.indexOf(wire::Ktra20SheetWrites.first());
    QVERIFY(firstWrite > 0);
    QCOMPARE(wire.mid(firstWrite, 14), wire::Ktra20SheetWrites);
}

void TestCliStation::interruptedWhileWaiting()
{
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    QVERIFY(rig.unit.control("remove"));
    QProcess process;
    process.setProcessEnvironment(rig.environment());
    process.start(QStringLiteral(KTV_CLI_PATH),
                  rig.withStore({"station", writeSheet(rig.dir), "--operator", "Ana"}));
    QVERIFY(process.waitForStarted());
    QVERIFY(rig.unit.waitForLineCount(2, 5000));
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 1);
    QVERIFY(QString::fromUtf8(process.readAllStandardError())
                .contains("Interrupted; the checks under way end first."));
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    const QList<QByteArray> wire = rig.unit.receivedBytes();
    QVERIFY(std::all_of(wire.begin(), wire.end(), [](const QByteArray &l) { return l == Probe; }));
}

void TestCliStation::whatARecordHolds_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<bool>("withoutUser");
    QTest::addColumn<int>("mappedPort"); // the store's Port Map names the line; 0: no --device
    QTest::addColumn<QString>("out");    // DEV stands for the line's device
    QTest::addColumn<QString>("revision");
    const QString passed = R"(14 of 14 values, \d+\.\d s\n$)";
    QTest::newRow("an escape sequence in the revision is shown escaped")
        << QStringList{"--revision", "\x1b[2J"} << false << 0
        << R"(^COM 1 \(DEV\): PASS KTRA20 \\x1b\[2J, )" + passed << R"(\x1b[2J)";
    QTest::newRow("without $USER the operator is the account's")
        << QStringList() << true << 0 << R"(^COM 1 \(DEV\): PASS KTRA20 1\.07, )" + passed
        << "1.07";
    QTest::newRow("a device the Port Map names keeps its COM number")
        << QStringList() << false << 4 << R"(^COM 4 \(DEV\): PASS KTRA20 1\.07, )" + passed
        << "1.07";
}

void TestCliStation::whatARecordHolds()
{
    QFETCH(QStringList, simArgs);
    QFETCH(bool, withoutUser);
    QFETCH(int, mappedPort);
    QFETCH(QString, out);
    QFETCH(QString, revision);
    CliRig rig(QStringLiteral("KTRA20"), 9600, simArgs);
    QVERIFY(rig.started);
    QStringList args{"station", writeSheet(rig.dir), "--units", "1"};
    const QString device = rig.dir.filePath("com4");
    if (mappedPort > 0) {
        QVERIFY(QFile::link(rig.unit.devicePath(), device));
        QVERIFY(QFile::remove(rig.storePath));
        QVERIFY(writeStore(rig.storePath, 1, {{2, "/dev/null"}, {mappedPort, device}}));
        args << "--device" << device;
    }
    const QByteArray user = qgetenv("USER");
    if (withoutUser)
        qunsetenv("USER");
    else
        args << "--operator"
             << "Ana";
    const CliRun run = rig.run(args);
    qputenv("USER", user);
    QCOMPARE(run.exitCode, 0);
    const QString pattern = QString(out).replace(
        "DEV", QRegularExpression::escape(mappedPort > 0 ? device : rig.unit.devicePath()));
    QVERIFY2(QRegularExpression(pattern).match(run.out).hasMatch(), qPrintable(run.out + run.err));
    const std::vector<CheckReport> kept = CheckResults(rig.journalPath()).list({});
    QCOMPARE(kept.size(), std::size_t(1));
    QCOMPARE(kept[0].unit.revision, revision);
    QCOMPARE(kept[0].operatorName,
             withoutUser ? QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name) : "Ana");
}

void TestCliStation::endsAfterTheChecksUnderWay_data()
{
    QTest::addColumn<int>("signal"); // 0: the reader of the output goes instead
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("printed"); // verdict lines on stdout
    QTest::newRow("SIGTERM") << int(SIGTERM) << 0 << "Interrupted; the checks under way end first."
                             << 2;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 0 << "Interrupted; the checks under way end first."
                            << 2;
    QTest::newRow("a closed pipe")
        << 0 << 1 << "ktraveld-cli: the output could not be written: Broken pipe" << 0;
}

// Two lines, the second unit slower: whatever ends the run during the
// first line's load, both loads end whole and both results are kept.
void TestCliStation::endsAfterTheChecksUnderWay()
{
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(int, printed);
    CliRig one(QStringLiteral("KTRA20"));
    CliRig two(QStringLiteral("KTRA20"), 9600, {"--slow-ms", "300"}, QStringLiteral("slow"));
    QVERIFY(one.started && two.started);
    QProcess process;
    process.setProcessEnvironment(one.environment());
    const QStringList args =
        one.withStore({"station", writeSheet(one.dir), "--operator", "Ana", "--device",
                       one.unit.devicePath(), "--device", two.unit.devicePath()});
    if (signal != 0)
        process.start(QStringLiteral(KTV_CLI_PATH), args);
    else // the reader has gone before the first verdict
        process.start("bash", QStringList{"-c", R"("$0" "$@" | true; exit ${PIPESTATUS[0]})",
                                          QStringLiteral(KTV_CLI_PATH)} +
                                  args);
    QVERIFY(process.waitForStarted());
    QVERIFY(one.unit.waitForLineCount(4, 10000));
    if (signal != 0)
        ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(err));
    if (signal != 0)
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).count(": PASS KTRA20 1.07, "),
                 printed);
    // Whole loads; at most a presence question after one, before the stop.
    for (const CliRig *rig : {&one, &two}) {
        const QList<QByteArray> heard = wire::withProbesCollapsed(rig->unit.receivedBytes());
        QCOMPARE(heard.mid(0, 29), wire::stationCheck("4000"));
        QVERIFY(heard.size() == 29 || heard.mid(29) == QList<QByteArray>{Probe});
    }
    QStringList kept;
    for (const CheckReport &report : CheckResults(one.journalPath()).list({}))
        kept << report.unit.device + (report.verdict == CheckVerdict::Pass ? " PASS" : " not PASS");
    kept.sort();
    QStringList expected{one.unit.devicePath() + " PASS", two.unit.devicePath() + " PASS"};
    expected.sort();
    QCOMPARE(kept, expected);
}

// Each prompt names its line, a refusal comes before the next prompt, and a
// number goes to the line its prompt named.
void TestCliStation::serialPromptOnTwoLines()
{
    CliRig one(QStringLiteral("KTRA20"));
    CliRig two(QStringLiteral("KTRA20"));
    QVERIFY(one.started && two.started);
    const CliRun run =
        one.run({"station", writeSheet(one.dir), "--device", one.unit.devicePath(), "--device",
                 two.unit.devicePath(), "--units", "2", "--json", "--operator", "Ana",
                 "--serial-prompt", "--serial-pattern", R"(^SN-\d{4}$)"},
                QByteArray("SN-12\nSN-0001\nSN-0002\n"));
    QCOMPARE(run.exitCode, 0);
    const QString first = run.err.section(": serial number? ", 0, 0);
    const QString other = first == "COM 1 (" + one.unit.devicePath() + ")"
                              ? "COM 2 (" + two.unit.devicePath() + ")"
                              : "COM 1 (" + one.unit.devicePath() + ")";
    QVERIFY2(run.err.startsWith(first + ": serial number? " + first +
                                ": The serial number \"SN-12\" does not fit ^SN-\\d{4}$; "
                                "nothing was checked.\n" +
                                first + ": serial number? " + other + ": serial number? "),
             qPrintable(run.err));
    QStringList serials;
    for (const QString &line : run.out.split('\n', Qt::SkipEmptyParts).mid(0, 2)) {
        const QJsonObject unit = QJsonDocument::fromJson(line.toUtf8()).object();
        serials << unit["line"].toString() + " " + unit["serial"].toString();
    }
    serials.sort();
    QStringList expected{first + " SN-0001", other + " SN-0002"};
    expected.sort();
    QCOMPARE(serials, expected);
}

// A stray byte every 0.3 s on COM 1: its unit fails, named as noise; the
// unit on COM 2 is checked whole, and one Ctrl+C ends the run.
void TestCliStation::aNoisyLineTouchesNoOther()
{
    CliRig one(QStringLiteral("KTRA20"), 9600, {"--noise-ms", "300"});
    CliRig two(QStringLiteral("KTRA20"));
    QVERIFY(one.started && two.started);
    QProcess process;
    process.setProcessEnvironment(one.environment());
    process.start(QStringLiteral(KTV_CLI_PATH),
                  one.withStore({"station", writeSheet(one.dir), "--operator", "Ana", "--pace",
                                 "reply", "--baud", "9600", "--device", one.unit.devicePath(),
                                 "--device", two.unit.devicePath()}));
    QVERIFY(process.waitForStarted());
    QString out;
    QElapsedTimer clock;
    clock.start();
    while (out.count(QLatin1Char('\n')) < 2 && clock.elapsed() < 30000 &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        out += QString::fromUtf8(process.readAllStandardOutput());
    }
    ::kill(pid_t(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(5000));
    out += QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(process.exitCode(), 3);
    QVERIFY2(out.contains(QStringLiteral("COM 2 (%1): PASS KTRA20 1.07, 14 of 14 values, ")
                              .arg(two.unit.devicePath())),
             qPrintable(out));
    const QRegularExpression noisy(
        QStringLiteral("COM 1 \\(%1\\): FAIL KTRA20 1\\.07, \\d+ of 14 values, the line is noisy: "
                       "\\d+ stray bytes in 3 s, nothing after the last valid reply was trusted, ")
            .arg(QRegularExpression::escape(one.unit.devicePath())));
    QVERIFY2(noisy.match(out).hasMatch(), qPrintable(out));
    QVERIFY(!out.contains(QLatin1String("two units"), Qt::CaseInsensitive));
    QCOMPARE(wire::withProbesCollapsed(two.unit.receivedBytes()).mid(0, 43),
             wire::stationReplyCheck("4000"));
}

// The results server's checks table is held by another session: the unit's
// verdict is printed as soon as its check ends, not after the server's 15 s
// statement timeout; the result waits in the journal, said once.
void TestCliStation::verdictWhileTheServerIsHeld()
{
    PgServer pg;
    QVERIFY2(pg.ok(), qPrintable(pg.problem()));
    const QString db = pg.createDatabase();
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    // The tables made, then held.
    QCOMPARE(rig.run({"results", "--results-db", pg.setting(db)}).exitCode, 0);
    const auto removeHolder = qScopeGuard([] { QSqlDatabase::removeDatabase("holder"); });
    QSqlDatabase holder = QSqlDatabase::addDatabase("QPSQL", "holder");
    holder.setConnectOptions(pg.setting(db));
    QVERIFY2(holder.open(), qPrintable(holder.lastError().text()));
    QVERIFY(holder.transaction());
    QSqlQuery lock(holder);
    QVERIFY(lock.exec("LOCK TABLE checks IN ACCESS EXCLUSIVE MODE"));

    QProcess process;
    process.setProcessEnvironment(rig.environment());
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(KTV_CLI_PATH),
                  rig.withStore({"station", writeSheet(rig.dir), "--operator", "Ana", "--units",
                                 "1", "--results-db", pg.setting(db)}));
    QVERIFY(process.waitForStarted());
    QByteArray out;
    while (!out.contains('\n') && clock.elapsed() < 60000 && process.state() == QProcess::Running)
        if (process.waitForReadyRead(200))
            out += process.readAllStandardOutput();
    const qint64 shownAt = clock.elapsed();
    const QRegularExpressionMatch line =
        QRegularExpression(R"(^COM 1 \(.+\): PASS KTRA20 1\.07, 14 of 14 values, (\d+\.\d) s\n$)")
            .match(QString::fromUtf8(out));
    QVERIFY2(line.hasMatch(), out.constData());
    // From the tool's start: the line's opening and the check, then the verdict.
    const qint64 checkMs = qint64(line.captured(1).toDouble() * 1000);
    QVERIFY2(shownAt - checkMs < 3000 + 2000, qPrintable(QString::number(shownAt - checkMs)));
    QVERIFY(process.waitForFinished(40000));
    QCOMPARE(process.exitCode(), 0);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("1 result kept on this bench until 127.0.0.1:%1 answers. "
                                         "The results database on 127.0.0.1:%1 did not take the "
                                         "result: ERROR: canceling statement due to statement "
                                         "timeout (57014)")
                              .arg(pg.port())),
             qPrintable(err));
    QCOMPARE(err.count("kept on this bench"), 1);
    QVERIFY(holder.rollback());
    QCOMPARE(pg.rows(db, "SELECT count(*) FROM checks"), QStringList{"0"});
    QString problem;
    QCOMPARE(CheckResults(rig.journalPath()).waiting(&problem).size(), size_t(1));
    QCOMPARE(rig.unit.receivedBytes().mid(1, 14), wire::Ktra20SheetWrites);
}

QTEST_MAIN(TestCliStation)
#include "tst_clistation.moc"
