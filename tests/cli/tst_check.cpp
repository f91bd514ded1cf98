// ktraveld-cli check and results as a production line runs them: the exit
// code, the JUnit failures, the report and the results row, and every line
// the unit heard.

#include "CliRig.h"
#include "Wire.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

const Lines Identified = Exchange + Ktra20Readback;
const Lines Queries = Ktra20SheetQueries;
const Lines Writes = Ktra20SheetWrites;

QString writeSheet(const CliRig &rig, const QByteArray &bytes, const char *name = "line3.json")
{
    const QString path = rig.dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

// The failure and error elements of a JUnit file, trimmed.
QStringList problems(const QByteArray &junit)
{
    QStringList out;
    for (const QString &line : QString::fromUtf8(junit).split(QLatin1Char('\n')))
        if (line.contains(QLatin1String("<failure")) || line.contains(QLatin1String("<error")))
            out << line.trimmed();
    return out;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// An earlier unit's reports, which no later check may leave behind.
const QByteArray EarlierReport = R"({"format": 1, "verdict": "pass"})";
const QByteArray EarlierJUnit =
    R"(<testsuites><testsuite name="KTRA20 line3.json" tests="14" failures="0"/></testsuites>)";

} // namespace

class TestCheck : public QObject
{
    Q_OBJECT
  private slots:
    void check_data();
    void check();
    void reportAndResults();
    void reports_data();
    void reports();
    void xmlCharacters();
    void journalHeldByAnother();
    void everyValueTheUnitHolds_data();
    void everyValueTheUnitHolds();
    void replyPace_data();
    void replyPace();
    void finalReading_data();
    void finalReading();
    void checkAlwaysEnds_data();
    void checkAlwaysEnds();
};

void TestCheck::check_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<bool>("load");
    QTest::addColumn<bool>("journalBlocked"); // the journal's folder is a file; else made
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outEnd"); // a part of stdout; empty: nothing on stdout
    QTest::addColumn<QString>("err");    // a pattern for the whole of stderr
    QTest::addColumn<QStringList>("failures");
    QTest::addColumn<Lines>("heard");

    const QByteArray holds = ktra20Sheet("5000");
    const QByteArray other = ktra20Sheet("4000");
    QTest::newRow("unit holds the sheet")
        << QStringList() << holds << false << false << 0
        << "   Ramp Down                      no     no     match\nPASS: 14 of 14 values match.\n"
        << "^$" << QStringList() << Identified + Queries;
    QTest::newRow("unit holds another max speed")
        << QStringList() << other << false << false << 3 << "FAIL: 13 of 14 values match.\n"
        << "^$" << QStringList{R"(<failure message="sheet 4000, unit 5000" type="differs"/>)"}
        << Identified + Queries;
    QTest::newRow("load kept") << QStringList() << other << true << false << 0
                               << "PASS: 14 of 14 values match.\n"
                               << "^$" << QStringList() << Identified + Writes + Queries;
    QTest::newRow("unit keeps nothing of the load")
        << QStringList{"--keep-nothing"} << other << true << false << 3
        << "*  Profile 1, Max Speed           4000   5000   not kept\n"
           "   Profile 1, Lower Analog Speed  1000   1000   match\n"
        << "^$" << QStringList{R"(<failure message="sheet 4000, unit 5000" type="not kept"/>)"}
        << Identified + Writes + Queries;
    QTest::newRow("sheet for another model")
        << QStringList() << Ktra30Sheet << true << false << 2 << ""
        << "^This sheet is for a KTRA30 and cannot be loaded into a KTRA20\\.\\n$"
        << QStringList{R"(<failure message="This sheet is for a KTRA30 and cannot be loaded into a KTRA20." type="refused"/>)"}
        << Identified;
    // The identification and its read-back are 13 lines; the line goes with
    // the third write.
    QTest::newRow("line lost in the load")
        << QStringList{"--vanish-after", "16"} << other << true << false << 1
        << "*  Ramp Down                      no     -     not written\nFAIL: 0 of 14 values "
           "match.\n"
        << "^The connection to the unit was lost \\([^)]*\\)\\.\\nline lost after 3 of 14 "
           "values\\n$"
        << QStringList(3, R"(<failure message="line lost" type="no answer"/>)") +
               QStringList(11, R"(<error message="not written" type="not written"/>)") +
               QStringList{R"(<failure message="line lost after 3 of 14 values" type="fail"/>)"}
        << Identified + Writes.mid(0, 3);
    QTest::newRow("journal that cannot be written")
        << QStringList() << holds << false << true << 0 << "PASS: 14 of 14 values match.\n"
        << "^The change journal .*/data/ktraveld/journal\\.sqlite cannot be written: [^\\n]+\\n$"
        << QStringList() << Identified + Queries;
}

void TestCheck::check()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QByteArray, sheet);
    QFETCH(bool, load);
    QFETCH(bool, journalBlocked);
    QFETCH(QString, outEnd);
    QFETCH(QString, err);
    QFETCH(Lines, heard);
    CliRig rig(QStringLiteral("KTRA20"), 9600, unitArgs);
    QVERIFY(rig.started);
    const QString path = writeSheet(rig, sheet);
    const QString junit = rig.dir.filePath(QStringLiteral("check.xml"));
    if (journalBlocked)
        QVERIFY(QFile(rig.dataHome()).open(QIODevice::WriteOnly));
    QStringList args{QStringLiteral("check"), path, QStringLiteral("--junit"), junit};
    if (load)
        args << QStringLiteral("--load");

    const CliRun run = rig.run(args);

    QTEST(run.exitCode, "exitCode");
    QVERIFY2(outEnd.isEmpty() ? run.out.isEmpty() : run.out.contains(outEnd), qPrintable(run.out));
    QVERIFY2(QRegularExpression(err).match(run.err).hasMatch(), qPrintable(run.err));
    QTEST(problems(fileBytes(junit)), "failures");
    QCOMPARE(rig.unit.receivedBytes(), heard);
    if (journalBlocked)
        QCOMPARE(fileBytes(rig.dataHome()), QByteArray());
    else
        QCOMPARE(QFileInfo::exists(rig.journalPath()), !heard.isEmpty());
    QVERIFY(QFileInfo::exists(junit));
}

// The report holds the unit, the station, the sheet and each value; the
// results row lists the same check.
void TestCheck::reportAndResults()
{
    CliRig rig(QStringLiteral("KTRA20"), 9600, {QStringLiteral("--keep-nothing")});
    QVERIFY(rig.started);
    const QByteArray sheet = ktra20Sheet("4000");
    const QString path = writeSheet(rig, sheet);
    const QString report = rig.dir.filePath(QStringLiteral("report.json"));

    const CliRun run = rig.run({QStringLiteral("check"), path, QStringLiteral("--load"),
                                QStringLiteral("--report"), report, QStringLiteral("--station"),
                                QStringLiteral("line 3, bench \"A\""), QStringLiteral("--operator"),
                                QStringLiteral("Ana"), QStringLiteral("--json")});

    QCOMPARE(run.exitCode, 3);
    QJsonObject doc = QJsonDocument::fromJson(fileBytes(report)).object();
    const QJsonObject printed = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(printed.value(QStringLiteral("command")).toString(), QStringLiteral("check"));
    QCOMPARE(printed.value(QStringLiteral("exit")).toInt(), 3);
    QCOMPARE(printed.value(QStringLiteral("messages")).toArray(), QJsonArray());
    QCOMPARE(printed.value(QStringLiteral("id")), doc.value(QStringLiteral("id")));
    const QString id = doc.take(QStringLiteral("id")).toString();
    const QString started = doc.take(QStringLiteral("started")).toString();
    const QString ended = doc.take(QStringLiteral("ended")).toString();
    QVERIFY2(
        QRegularExpression(
            QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$"))
            .match(id)
            .hasMatch(),
        qPrintable(id));
    const QRegularExpression time(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)"));
    QVERIFY2(time.match(started).hasMatch() && time.match(ended).hasMatch(), qPrintable(started));
    QVERIFY(started < ended);
    const QJsonArray values = doc.take(QStringLiteral("values")).toArray();
    QCOMPARE(values.size(), 14);
    QCOMPARE(values[2].toObject(), (QJsonObject{{"profile", 1},
                                                {"key", "max-speed"},
                                                {"caption", "Max Speed"},
                                                {"sheet", "4000"},
                                                {"unit", "5000"},
                                                {"verdict", "not kept"},
                                                {"problem", QJsonValue()}}));
    QCOMPARE(values[13].toObject(), (QJsonObject{{"profile", QJsonValue()},
                                                 {"key", "ramp-down"},
                                                 {"caption", "Ramp Down"},
                                                 {"sheet", "no"},
                                                 {"unit", "no"},
                                                 {"verdict", "match"},
                                                 {"problem", QJsonValue()}}));
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(sheet, QCryptographicHash::Sha256).toHex());
    QCOMPARE(doc, (QJsonObject{{"format", 1},
                               {"verdict", "fail"},
                               {"problem", QJsonValue()},
                               {"unit", QJsonObject{{"model", "KTRA20"},
                                                    {"revision", "1.07"},
                                                    {"axis", 0},
                                                    {"baud", 9600},
                                                    {"device", rig.unit.devicePath()},
                                                    {"byId", QJsonValue()},
                                                    {"serialNumber", QJsonValue()}}},
                               {"serial", QJsonValue()},
                               {"station", "line 3, bench \"A\""},
                               {"operator", "Ana"},
                               {"sheet", QJsonObject{{"name", "line3.json"}, {"sha256", sha}}},
                               {"loaded", true}}));

    const CliRun listed = rig.run({QStringLiteral("results"), QStringLiteral("--csv")});
    QCOMPARE(listed.exitCode, 0);
    QCOMPARE(listed.out,
             QStringLiteral("id,started,ended,station,operator,model,revision,axis,baud,device,"
                            "sheet,sha256,loaded,values,matched,verdict,problem,serial\n"
                            "%1,%2,%3,\"line 3, bench \"\"A\"\"\",Ana,KTRA20,1.07,0,9600,%4,"
                            "line3.json,%5,yes,14,13,fail,,\n")
                 .arg(id, started, ended, rig.unit.devicePath(), sha));
    const CliRun none = rig.run({QStringLiteral("results"), QStringLiteral("--station"),
                                 QStringLiteral("line 4"), QStringLiteral("--failed")});
    QCOMPARE(none.out,
             QStringLiteral("The change journal %1 holds no results.\n").arg(rig.journalPath()));
}

// Reports are written whole or not at all. A check that does not get to
// compare still writes both, so an earlier unit's PASS is never read as
// this one's; a target that would replace the sheet or the other report is
// refused before anything is written or sent; a full disk leaves no piece
// of a report, nor an earlier one. No record is kept of any of them.
void TestCheck::reports_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<QStringList>("args"); // %1: the test's folder, %2: the unit's device
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");     // how stderr begins; %1: the test's folder
    QTest::addColumn<QString>("verdict"); // the new report's; empty: none

    const QByteArray holds = ktra20Sheet("5000");
    const QStringList both{"--report", "%1/report.json", "--junit", "%1/check.xml"};
    QTest::newRow("silent unit")
        << "silent" << holds << both + QStringList{"--baud", "9600"} << 1
        << "The unit DID NOT CONNECT.  \n\nPlease check Com Port Setting, Cables and Power."
        << "error";
    QTest::newRow("silent unit, no configuration file")
        << "silent" << holds
        << both + QStringList{"--baud", "9600", "--store", "%1/none.qdr", "--device", "%2"} << 1
        << "The configuration file %1/none.qdr is missing.\nThe unit DID NOT CONNECT.  \n\nPlease "
           "check Com Port Setting, Cables and Power."
        << "error";
    QTest::newRow("port that does not open")
        << "normal" << holds << both + QStringList{"--device", "%1/tty"} << 1
        << "Error Opening Com Port 1 - The com port is already open by another device (mouse, "
           "modem, etc.) or it does not exist. (%1/tty: No such file or directory)"
        << "error";
    QTest::newRow("sheet refused before the port opens")
        << "normal" << ktra20Sheet("60000") << both + QStringList{"--load"} << 2
        << "Profile 1, Max Speed: Waring: The Max Speed upper limit is 50,000"
        << "refused";
    QTest::newRow("sheet that does not read")
        << "normal" << QByteArray("{\"format\"") << both << 2
        << "%1/line3.json is damaged or incomplete: unterminated string at character 9."
        << "error";
    const QString notTheSheet =
        " names the sheet %1/line3.json; a report never replaces its sheet.\n";
    QTest::newRow("--report names the sheet")
        << "normal" << holds << QStringList{"--report", "%1/line3.json"} << 2
        << "--report" + notTheSheet << "";
    QTest::newRow("--junit names the sheet through a link")
        << "normal" << holds << QStringList{"--junit", "%1/link.xml"} << 2
        << "--junit" + notTheSheet << "";
    QTest::newRow("--report and --junit name one file")
        << "normal" << holds << QStringList{"--report", "%1/out", "--junit", "%1/./out"} << 2
        << "--report and --junit name the same file %1/./out.\n"
        << "";
    // No file larger than 512 bytes, whoever writes (the journal too).
    QTest::newRow("full disk") << "normal" << holds << both << 1 << "The change journal "
                               << "";
}

void TestCheck::reports()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, sheet);
    QFETCH(QStringList, args);
    QFETCH(QString, err);
    QFETCH(QString, verdict);
    CliRig rig(QStringLiteral("KTRA20"), 9600, {}, mode);
    QVERIFY(rig.started);
    const QString folder = rig.dir.path();
    const QString path = writeSheet(rig, sheet);
    QVERIFY(QFile::link(path, folder + "/link.xml"));
    QVERIFY(!writeSheet(rig, EarlierReport, "report.json").isEmpty());
    QVERIFY(!writeSheet(rig, EarlierJUnit, "check.xml").isEmpty());
    const bool fullDisk = QTest::currentDataTag() == QLatin1String("full disk");
    QStringList entries = entriesOf(folder);

    QProcess process;
    process.setProcessEnvironment(rig.environment());
    if (fullDisk)
        process.setChildProcessModifier([] {
            const rlimit limit{512, 512};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN);
        });
    QElapsedTimer clock;
    clock.start();
    process.start(
        KTV_CLI_PATH,
        rig.withStore(
            QStringList{"check", path} +
            args.replaceInStrings("%1", folder).replaceInStrings("%2", rig.unit.devicePath())));
    QVERIFY(process.waitForFinished(60000));

    QTEST(process.exitCode(), "exitCode");
    const QString said = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(said.startsWith(err.replace("%1", folder)), qPrintable(said));
    const QJsonObject doc = QJsonDocument::fromJson(fileBytes(folder + "/report.json")).object();
    const QByteArray xml = fileBytes(folder + "/check.xml");
    // A notice of the store may come first; it is not why the check failed.
    QString problem = err.section(QStringLiteral("is missing.\n"), -1);
    if (!verdict.isEmpty()) {
        QCOMPARE(doc.value("verdict").toString(), verdict);
        QCOMPARE(doc.value("problem").toString(), problem);
        QCOMPARE(doc.value("values").toArray(), QJsonArray());
        // The check's own time: a silent unit costs one rate's three half-second waits.
        const QString took = QRegularExpression(R"re(<testsuite [^>]* time="(\d+\.\d{3})")re")
                                 .match(QString::fromUtf8(xml))
                                 .captured(1);
        const qint64 ms =
            QDateTime::fromString(doc.value("started").toString(), Qt::ISODateWithMs)
                .msecsTo(QDateTime::fromString(doc.value("ended").toString(), Qt::ISODateWithMs));
        QCOMPARE(took, QString::number(ms / 1000.0, 'f', 3));
        QVERIFY2(ms >= (mode == "silent" ? 1500 : 0) && ms <= clock.elapsed(), xml.constData());
        QVERIFY(xml.contains(R"(tests="1")") && xml.contains(R"(<testcase classname="Check")"));
        QCOMPARE(problems(xml), QStringList{QStringLiteral(R"(<%1 message="%2" type="%3"/>)")
                                                .arg(verdict == "refused" ? "failure" : "error",
                                                     problem.replace("\n", "&#10;"), verdict)});
    } else if (fullDisk) {
        QVERIFY2(said.endsWith(QStringLiteral("%1/report.json cannot be written: File too large.\n"
                                              "%1/check.xml cannot be written: File too large.\n")
                                   .arg(folder)),
                 qPrintable(said));
        entries.removeAll("report.json");
        entries.removeAll("check.xml");
    } else {
        QCOMPARE(fileBytes(folder + "/report.json") + xml, EarlierReport + EarlierJUnit);
    }
    QCOMPARE(fileBytes(path), sheet);
    QStringList after = entriesOf(folder);
    after.removeAll("data");
    QCOMPARE(after, entries);
    QCOMPARE(QFileInfo::exists(rig.journalPath()), fullDisk);
    if (mode != QLatin1String("silent") && !fullDisk)
        QCOMPARE(rig.unit.receivedBytes(), Lines());
}

// A character XML cannot carry is written as U+FFFD, and said; the results
// table shows it as text and sends the terminal none.
void TestCheck::xmlCharacters()
{
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    const QString junit = rig.dir.filePath(QStringLiteral("check.xml"));

    const CliRun run = rig.run({"check", writeSheet(rig, ktra20Sheet("5000")), "--junit", junit,
                                "--operator", "Ana\x1b[2J"});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err,
             "operator: characters XML cannot carry are written as U+FFFD in " + junit + ".\n");
    QVERIFY(
        fileBytes(junit).contains("<property name=\"operator\" value=\"Ana\xef\xbf\xbd[2J\"/>"));
    const QString table = rig.run({"results"}).out;
    QVERIFY2(table.contains("Ana\\x1b[2J  ") && !table.contains('\x1b'), qPrintable(table));
}

// A journal another program holds is waited for: the check is recorded
// once it is free, without a warning.
void TestCheck::journalHeldByAnother()
{
    CliRig rig(QStringLiteral("KTRA20"));
    QVERIFY(rig.started);
    const QString path = writeSheet(rig, ktra20Sheet("5000"));
    QCOMPARE(rig.run({"check", path}).exitCode, 0); // makes the journal
    const qsizetype heard = rig.unit.receivedBytes().size();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "holder");
        db.setDatabaseName(rig.journalPath());
        QSqlQuery hold(db);
        QVERIFY(db.open() && hold.exec("BEGIN IMMEDIATE"));
        QProcess process;
        process.setProcessEnvironment(rig.environment());
        process.start(KTV_CLI_PATH, rig.withStore({"check", path}));
        // Held from the check's last question until a second after it: the
        // check is still waiting then.
        QVERIFY(waitUntil([&] { return rig.unit.receivedBytes().size() == 2 * heard; }, 30000));
        QVERIFY(!waitUntil([&] { return process.state() == QProcess::NotRunning; }, 1000));
        QVERIFY(hold.exec("COMMIT") && process.waitForFinished(30000));
        QCOMPARE(process.readAllStandardError(), QByteArray());
        QCOMPARE(process.exitCode(), 0);
    }
    QSqlDatabase::removeDatabase("holder");
    const CliRun listed = rig.run({"results", "--csv"});
    QCOMPARE(listed.out.count(QLatin1Char('\n')), 3); // the head and two checks
}

// A unit that answers within the protocol but not perfectly: every value the
// check reports is one the unit holds, or none ("no answer"), never another
// question's answer. held: "profile/key" -> the value the unit holds; a key
// left out must be reported without a value.
void TestCheck::everyValueTheUnitHolds_data()
{
    using Held = QMap<QString, QString>;
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<bool>("load");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<Held>("held");
    QTest::addColumn<Lines>("heard");
    QTest::addColumn<QString>("problem"); // the report's; empty: none

    const Held factory{
        {"1/accel", "10"},           {"1/base-speed", "500"},     {"1/max-speed", "5000"},
        {"1/lower-analog", "1000"},  {"1/upper-analog", "20000"}, {"2/accel", "110"},
        {"2/base-speed", "600"},     {"2/max-speed", "5100"},     {"2/lower-analog", "1100"},
        {"2/upper-analog", "20100"}, {"0/analog-speed", "off"},   {"0/reduced-current", "off"},
        {"0/resolution", "8"},       {"0/ramp-down", "no"}};
    Held loaded = factory;
    loaded["1/max-speed"] = "4000";
    Held noMax2 = factory;
    noMax2.remove("2/max-speed");
    Held noBase2 = factory;
    noBase2.remove("2/base-speed");
    Lines max2Twice = Queries;
    max2Twice.insert(8, "@0VM2\r");
    Lines base2Twice = Queries;
    base2Twice.insert(7, "@0VB2\r");
    Lines accelTwice = Queries;
    accelTwice.insert(0, "@0VA1\r");

    QTest::newRow("acknowledges writes 0.5 s late, keeps nothing, answers 0.3 s late")
        << QStringList{"--keep-nothing", "--ack-text", "10",        "--ack-ms", "500",
                       "--mode",         "slow",       "--slow-ms", "300"}
        << true << 3 << factory << Identified + Writes + Queries << QString();
    QTest::newRow("acknowledges writes")
        << QStringList{"--ack-text", "10", "--ack-ms", "500"} << true << 0 << loaded
        << Identified + Writes + Queries << QString();
    QTest::newRow("one reply 1.2 s late: asked again")
        << QStringList{"--mode", "slow", "--slow-ms", "1200", "--only", "VM2", "--slow-count", "1"}
        << false << 3 << factory << Identified + max2Twice << QString();
    QTest::newRow("a reply always 1.2 s late: no answer")
        << QStringList{"--mode", "slow", "--slow-ms", "1200", "--only", "VM2"} << false << 1
        << noMax2 << Identified + max2Twice << QString();
    QTest::newRow("a reply split beyond the window")
        << QStringList{"--mode", "split", "--split-gap", "1200", "--only", "VB2"} << false << 1
        << noBase2 << Identified + base2Twice << QString();
    // It takes only the first write, and misses the first question after the last.
    QTest::newRow("deaf for 1.5 s after each write")
        << QStringList{"--deaf-ms", "1500"} << true << 3 << factory
        << Identified + Writes + accelTwice << QString();
    // Both units answer every question: nothing is written, no value read.
    QTest::newRow("two units at one address")
        << QStringList{"--also-address", "0"} << true << 1 << Held() << Identified
        << "Two units answer at axis 0: nothing was written.";
}

void TestCheck::everyValueTheUnitHolds()
{
    using Held = QMap<QString, QString>;
    QFETCH(QStringList, unitArgs);
    QFETCH(bool, load);
    QFETCH(Held, held);
    QFETCH(Lines, heard);
    QFETCH(QString, problem);
    CliRig rig(QStringLiteral("KTRA20"), 9600, unitArgs);
    QVERIFY(rig.started);
    const QString path = writeSheet(rig, ktra20Sheet("4000"));
    const QString report = rig.dir.filePath(QStringLiteral("report.json"));
    QStringList args{QStringLiteral("check"), path, QStringLiteral("--report"), report};
    if (load)
        args << QStringLiteral("--load");

    const CliRun run = rig.run(args);

    QVERIFY2(run.exitCode >= 0, qPrintable(run.err));
    QTEST(run.exitCode, "exitCode");
    const QJsonArray values = QJsonDocument::fromJson(fileBytes(report))
                                  .object()
                                  .value(QStringLiteral("values"))
                                  .toArray();
    QCOMPARE(values.size(), held.isEmpty() ? 0 : 14);
    for (const QJsonValue &entry : values) {
        const QJsonObject value = entry.toObject();
        const QString key = QStringLiteral("%1/%2")
                                .arg(value.value("profile").toInt())
                                .arg(value.value("key").toString());
        const QJsonValue unit = value.value(QStringLiteral("unit"));
        if (held.contains(key)) {
            QCOMPARE(unit.toString(), held.value(key));
        } else {
            QVERIFY2(unit.isNull(), qPrintable(key));
            QCOMPARE(value.value("verdict").toString(), QStringLiteral("no answer"));
        }
    }
    QCOMPARE(rig.unit.receivedBytes(), heard);
    const QJsonValue reported =
        QJsonDocument::fromJson(fileBytes(report)).object().value(QStringLiteral("problem"));
    QCOMPARE(reported.toString(), problem);
}

void TestCheck::replyPace_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("pace");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a part of stdout; empty: nothing on stdout
    QTest::addColumn<QString>("err"); // a pattern for the whole of stderr
    QTest::addColumn<QStringList>("unitValues");
    QTest::addColumn<Lines>("heard"); // empty: the unit's own timing decides

    Lines writtenAndRead;
    for (qsizetype i = 0; i < Writes.size(); ++i)
        writtenAndRead << Writes[i] << Queries[i];
    writtenAndRead << Queries; // the final reading
    const QStringList held{"10",   "500",  "4000",  "1000", "20000", "110", "600",
                           "5100", "1100", "20100", "off",  "off",   "8",   "no"};
    QStringList factory = held;
    factory[2] = "5000";

    QTest::newRow("on time") << QStringList() << "reply" << 0
                             << "   Ramp Down                      no     no     match\n"
                                "PASS: 14 of 14 values match.\n"
                             << "^$" << held << Identified + writtenAndRead;
    // Every value still one the unit holds: the acknowledgements show as
    // strays or second replies, and the values are read again by the fixed rules.
    QTest::newRow("acknowledges writes 0.5 s late, keeps nothing, answers 0.3 s late")
        << QStringList{"--keep-nothing", "--ack-text", "10",        "--ack-ms", "500",
                       "--mode",         "slow",       "--slow-ms", "300"}
        << "reply" << 3 << "*  Profile 1, Max Speed           4000   5000   not kept\n"
        << "^$" << factory << Lines();
    QTest::newRow("no such pace") << QStringList() << "slow" << 2 << ""
                                  << "--pace takes fixed or reply" << QStringList() << Lines();
}

void TestCheck::replyPace()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, pace);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, unitValues);
    QFETCH(Lines, heard);
    CliRig rig(QStringLiteral("KTRA20"), 9600, unitArgs);
    QVERIFY(rig.started);
    const QString path = writeSheet(rig, ktra20Sheet("4000"));
    const QString report = rig.dir.filePath(QStringLiteral("report.json"));

    const CliRun run = rig.run({QStringLiteral("check"), path, QStringLiteral("--load"),
                                QStringLiteral("--pace"), pace, QStringLiteral("--report"), report,
                                QStringLiteral("--baud"), QStringLiteral("9600")});

    QTEST(run.exitCode, "exitCode");
    QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.contains(out), qPrintable(run.out));
    QVERIFY2(QRegularExpression(err).match(run.err).hasMatch(), qPrintable(run.err));
    QStringList reported;
    for (const QJsonValue &value : QJsonDocument::fromJson(fileBytes(report))
                                       .object()
                                       .value(QStringLiteral("values"))
                                       .toArray())
        reported << value.toObject().value(QStringLiteral("unit")).toString();
    QCOMPARE(reported, unitValues);
    if (!heard.isEmpty() || unitValues.isEmpty())
        QCOMPARE(rig.unit.receivedBytes(), heard);
}

// The verdict is what the unit holds after the last write, at either pace:
// a unit that restarts late in the load, or holds a value only a while,
// never passes, and every value is read once more after the last write.
void TestCheck::finalReading_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("pace");
    QTest::addColumn<QStringList>("lost"); // back at factory at the end: key -> factory value
    QTest::addColumn<QString>("out");      // a part of stdout

    const QStringList restart12{"--reset-after", "12"};
    const QStringList restart13{"--reset-after", "13"};
    const QStringList keepAWhile{"--keep-ms", "250"};
    const QStringList both{"1/accel=10", "1/max-speed=5000"};
    for (const QString pace : {"fixed", "reply"}) {
        const QString fail = QStringLiteral("FAIL: 12 of 14 values match.\n");
        QTest::addRow("check, restarts at write 12, %s pace", qPrintable(pace))
            << "check" << restart12 << pace << both << fail;
        QTest::addRow("check, restarts at write 13, %s pace", qPrintable(pace))
            << "check" << restart13 << pace << both << fail;
        QTest::addRow("check, keeps values 0.25 s, %s pace", qPrintable(pace))
            << "check" << keepAWhile << pace << QStringList{"1/accel=10"} << "FAIL: ";
        QTest::addRow("load, restarts at write 12, %s pace", qPrintable(pace))
            << "load" << restart12 << pace << both
            << (pace == QLatin1String("fixed")
                    ? QStringLiteral("*  Profile 1, Max Speed           4000   5000\n")
                    : QStringLiteral(
                          "not kept: the unit lost 2 values it held right after "
                          "their writes: Profile 1, Accel/Decel, Profile 1, Max Speed\n"));
        QTest::addRow("station, restarts at write 13, %s pace", qPrintable(pace))
            << "station" << restart13 << pace << both << ": FAIL KTRA20 1.07, 12 of 14 values, ";
        QTest::addRow("load, keeps values 0.25 s, %s pace", qPrintable(pace))
            << "load" << keepAWhile << pace << QStringList{"1/accel=10"} << "*  Profile 1, Accel";
        QTest::addRow("station, keeps values 0.25 s, %s pace", qPrintable(pace))
            << "station" << keepAWhile << pace << QStringList{"1/accel=10"}
            << ": FAIL KTRA20 1.07, ";
    }
}

void TestCheck::finalReading()
{
    QFETCH(QString, command);
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, pace);
    QFETCH(QStringList, lost);
    QFETCH(QString, out);
    CliRig rig(QStringLiteral("KTRA20"), 9600, unitArgs);
    QVERIFY(rig.started);
    // Profile 1's first value is written first and read first, at least 13
    // writes' settles apart: a unit holding values 0.25 s has lost it.
    QByteArray sheet = ktra20Sheet("4000");
    sheet.replace(R"("accel": "10")", R"("accel": "20")");
    const QString path = writeSheet(rig, sheet);
    const QString report = rig.dir.filePath(QStringLiteral("report.json"));
    QStringList args{command, path, QStringLiteral("--pace"), pace};
    if (command == QLatin1String("check"))
        args << QStringLiteral("--load") << QStringLiteral("--report") << report;
    const bool station = command == QLatin1String("station");
    if (station)
        args << QStringLiteral("--units") << QStringLiteral("1") << QStringLiteral("--operator")
             << QStringLiteral("Ana");

    const CliRun run = rig.run(args);

    QCOMPARE(run.exitCode, 3);
    QVERIFY2(run.out.contains(out), qPrintable(run.out + run.err));
    QVERIFY(!run.out.contains(QLatin1String("every value of the sheet")));
    if (!station)
        QCOMPARE(run.out.contains(QLatin1String("not kept: ")), pace == QLatin1String("reply"));
    if (command == QLatin1String("check")) {
        const QJsonObject doc = QJsonDocument::fromJson(fileBytes(report)).object();
        QCOMPARE(doc.value(QStringLiteral("verdict")).toString(), QStringLiteral("fail"));
        QMap<QString, QString> held;
        for (const QJsonValue &entry : doc.value(QStringLiteral("values")).toArray()) {
            const QJsonObject value = entry.toObject();
            held.insert(QStringLiteral("%1/%2")
                            .arg(value.value("profile").toInt())
                            .arg(value.value("key").toString()),
                        value.value("unit").toString());
        }
        for (const QString &entry : lost)
            QCOMPARE(held.value(entry.section('=', 0, 0)), entry.section('=', 1));
        // At reply pace, what was read back right after its write and lost
        // by the end is named; the fixed pace reads nothing back before it.
        const QJsonArray notKept = doc.value(QStringLiteral("notKept")).toArray();
        if (pace == QLatin1String("fixed")) {
            QCOMPARE(notKept, QJsonArray());
        } else {
            QVERIFY(notKept.contains(QStringLiteral("Profile 1, Accel/Decel")));
            if (lost.size() == 2)
                QCOMPARE(notKept, QJsonArray({"Profile 1, Accel/Decel", "Profile 1, Max Speed"}));
        }
    }
    // Every value once more after the last write (the station's presence
    // questions after it left out).
    Lines heard = rig.unit.receivedBytes();
    while (station && !heard.isEmpty() && heard.last() == "@0$\r")
        heard.removeLast();
    QVERIFY(heard.size() > Queries.size());
    QCOMPARE(heard.mid(heard.size() - Queries.size()), Queries);
    QVERIFY(!heard.contains("@0D0\r") ||
            heard.lastIndexOf("@0D0\r") < heard.size() - Queries.size());
}

// Noise, a unit that stopped answering and a unit that talks behind its
// replies each end the check with their own message, in both report files,
// and never as two units.
void TestCheck::checkAlwaysEnds_data()
{
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QString>("pace");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("problem");    // a pattern for the report's problem
    QTest::addColumn<QString>("out");        // a part of stdout
    QTest::addColumn<int>("questionsAfter"); // the lines the unit heard after line 19; -1: any

    const QString noisy = QStringLiteral("^the line is noisy: \\d+ stray bytes in 3 s, nothing "
                                         "after the last valid reply was trusted$");
    const QString stopped = QStringLiteral("^the unit stopped answering after %1 of 14 values$");
    for (const QString pace : {"fixed", "reply"}) {
        QTest::addRow("a stray byte every 0.3 s, %s pace", qPrintable(pace))
            << QStringList{"--noise-ms", "300"} << pace << 1 << noisy << "" << -1;
        const bool fixed = pace == QLatin1String("fixed");
        // The identification and its read-back are 13 lines; the unit goes
        // quiet after the third value: at the fixed pace the writes go on
        // and the final reading asks three times; at reply pace the fourth
        // value is asked twice, and the fifth once.
        QTest::addRow("silent from line 20 on, %s pace", qPrintable(pace))
            << QStringList{"--mute-after", "19"} << pace << 1 << stopped.arg(fixed ? 0 : 3)
            << (fixed ? "*  Profile 1, Accel" : "*  Profile 1, Lower Analog Speed")
            << (fixed ? 8 + 3 : 5);
    }
    QTest::newRow("\"~\" behind every reply, reply pace")
        << QStringList{"--after-reply", "~"} << "reply" << 1 << "^$"
        << "no answer: unreadable reply \"10⏎~\"" << -1;
}

void TestCheck::checkAlwaysEnds()
{
    QFETCH(QStringList, unitArgs);
    QFETCH(QString, pace);
    QFETCH(QString, problem);
    QFETCH(QString, out);
    QFETCH(int, questionsAfter);
    CliRig rig(QStringLiteral("KTRA20"), 9600, unitArgs);
    QVERIFY(rig.started);
    const QString path = writeSheet(rig, ktra20Sheet("4000"));
    const QString report = rig.dir.filePath(QStringLiteral("report.json"));
    const QString junit = rig.dir.filePath(QStringLiteral("check.xml"));
    QElapsedTimer clock;
    clock.start();

    const CliRun run =
        rig.run({QStringLiteral("check"), path, QStringLiteral("--load"), QStringLiteral("--pace"),
                 pace, QStringLiteral("--report"), report, QStringLiteral("--junit"), junit});

    QVERIFY2(clock.elapsed() < 90000, qPrintable(QString::number(clock.elapsed())));
    QTEST(run.exitCode, "exitCode");
    QVERIFY2(run.out.contains(out), qPrintable(run.out));
    const QString reported = QJsonDocument::fromJson(fileBytes(report))
                                 .object()
                                 .value(QStringLiteral("problem"))
                                 .toString();
    QVERIFY2(QRegularExpression(problem).match(reported).hasMatch(), qPrintable(reported));
    if (!reported.isEmpty()) {
        QVERIFY2(run.err.contains(reported), qPrintable(run.err));
        QVERIFY(QString::fromUtf8(fileBytes(junit)).contains(reported));
    }
    QVERIFY(!(run.out + run.err).contains(QLatin1String("two units"), Qt::CaseInsensitive));
    if (questionsAfter >= 0)
        QCOMPARE(rig.unit.receivedBytes().mid(19).size(), questionsAfter);
}

QTEST_GUILESS_MAIN(TestCheck)
#include "tst_check.moc"
