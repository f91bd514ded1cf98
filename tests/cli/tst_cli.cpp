// The command-line tool as the operator runs it: the real ktraveld-cli as a
// child process, against the simulated unit on a pseudo-terminal that COM 1
// of a temporary store names. Each test checks the exit code, the exact text
// printed and every line the unit heard.

#include "CliRig.h"
#include "Helpers.h"
#include "UnitSimProcess.h"
#include "Wire.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ktv::test;
using namespace ktv::test::wire;
using ktv::Model;

using Lines = QList<QByteArray>;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

using Run = CliRun;
using Rig = CliRig;

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
  private slots:
    void scan_data();
    void scan();
    void findOneUnit_data();
    void findOneUnit();
    void findTwoUnits_data();
    void findTwoUnits();
    void findTwoUnitsAtOneAddress();
    void readJson();
    void refusedValueSendsNothing_data();
    void refusedValueSendsNothing();
    void valueNotHeld();
    void baudSkipsScan();
    void axisDefine();
    void axisReachesEveryLine();
    void axisDefineRefusesTwoUnits();
    void portThatDoesNotOpen();
    void portHeldByAnotherProcess();
    void interruptedScan();
    void sheetRoundTrip();
    void loadSendsNothing_data();
    void loadSendsNothing();
    void interruptedLoad();
    void historyShowsASet();
    void journalThatCannotBeWritten();
    void traceShowsTheMonitorLines();
    void stopAtTheModelsRate_data();
    void stopAtTheModelsRate();
    void badRepliesFailTheCommand_data();
    void badRepliesFailTheCommand();
    void lineLostFailsTheCommand_data();
    void lineLostFailsTheCommand();
    void lineLostInLoad();
    void sheetFilesRefusedAtOnce_data();
    void sheetFilesRefusedAtOnce();
    void documentHoldsEveryMessage_data();
    void documentHoldsEveryMessage();
    void outputThatCannotBeWritten();
    void lockFileThatIsAPipe();
    void secondInterruptEndsAtOnce();
};

void TestCli::scan_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("shown"); // %1: the device
    QTest::addColumn<Lines>("heard");   // at the unit's rate

    QTest::newRow("KTRA20 at 9600") << "KTRA20" << 9600
                                    << "model     KTRA20\n"
                                       "panel     KTRA20\n"
                                       "revision  1.07\n"
                                       "baud      9600\n"
                                       "axis      0\n"
                                       "device    %1 (COM 1)\n"
                                    << Exchange + Ktra20Readback;
    QTest::newRow("VELD40 at 38400 on the VELD30 panel") << "VELD40" << 38400
                                                         << "model     VELD40\n"
                                                            "panel     VELD30\n"
                                                            "revision  1.07\n"
                                                            "baud      38400\n"
                                                            "axis      0\n"
                                                            "device    %1 (COM 1)\n"
                                                         << Exchange + verifyQueries(Model::VELD30);
}

void TestCli::scan()
{
    QFETCH(QString, model);
    QFETCH(int, baud);
    QFETCH(QString, shown);
    QFETCH(Lines, heard);
    Rig rig(model, baud);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("scan")});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, shown.arg(rig.unit.devicePath()));
    QCOMPARE(rig.unit.receivedAt(baud), heard);
    // Every rate before the unit's heard the three lines of one identification.
    int before = 0;
    for (const ReceivedLine &line : rig.unit.received())
        before += line.baud != baud ? 1 : 0;
    QCOMPARE(before, baud == 9600 ? 0 : 6);
}

namespace {

// What the unit heard, each line with the rate it came at.
using RateLine = QPair<int, QByteArray>;

QList<RateLine> linesWithRates(const QList<ReceivedLine> &lines)
{
    QList<RateLine> result;
    for (const ReceivedLine &line : lines)
        result << RateLine(line.baud, line.bytes);
    return result;
}

} // namespace

// The address question first at each rate: silence moves on, one answer
// names the address, and the model query there names the unit; an answer
// that does not read as an address has every address asked.
void TestCli::findOneUnit_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::addColumn<QList<RateLine>>("heard");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs");

    const QString found = QStringLiteral("ADDRESS  MODEL   REVISION  BAUD\n"
                                         "5        VELD30  1.07      38400\n");
    QTest::newRow("VELD30 at 5, 38400: silence at 9600 and 28800, then its address and model")
        << "normal" << QStringList{} << QStringList{"find"} << 0 << found << QString()
        << QList<RateLine>{{9600, "@%\r"}, {28800, "@%\r"}, {38400, "@%\r"}, {38400, "@5$\r"}}
        << 1000 << 5000;
    QTest::newRow("--baud 38400 asks there alone")
        << "normal" << QStringList{} << QStringList{"find", "--baud", "38400"} << 0 << found
        << QString() << QList<RateLine>{{38400, "@%\r"}, {38400, "@5$\r"}} << 0 << 3000;
    QTest::newRow("nobody answers at any rate: no unit, no sweep")
        << "silent" << QStringList{} << QStringList{"find"} << 1 << QString()
        << QStringLiteral("No unit answered at any address from 0 to 99\n")
        << QList<RateLine>{{9600, "@%\r"}, {28800, "@%\r"}, {38400, "@%\r"}, {115200, "@%\r"}}
        << 2000 << 12000;
    // The garbled answer is asked again; every silent address costs its
    // 0.1 s, and the address that answered is asked again before it counts.
    QList<RateLine> swept{{38400, "@%\r"}, {38400, "@%\r"}};
    for (int address = 0; address <= 99; ++address)
        swept << RateLine(38400, "@" + QByteArray::number(address) + "$\r");
    swept << RateLine(38400, "@5$\r");
    QTest::newRow("garbled answer to the address question: every address is asked")
        << "garbage" << QStringList{"--only", "%"} << QStringList{"find", "--baud", "38400"} << 0
        << found << QString() << swept << 9900 << 20000;
}

void TestCli::findOneUnit()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, args);
    QFETCH(QList<RateLine>, heard);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);
    Rig rig(QStringLiteral("VELD30"), 38400, extra, mode, 5);
    QVERIFY(rig.started);

    QElapsedTimer clock;
    clock.start();
    const Run run = rig.run(args);
    const qint64 took = clock.elapsed();

    QTEST(run.exitCode, "exitCode");
    QTEST(run.out, "out");
    QTEST(run.err, "err");
    QCOMPARE(linesWithRates(rig.unit.received()), heard);
    QVERIFY2(took >= atLeastMs && took < belowMs, qPrintable(QString::number(took)));
}

// Two units answer the address question together: every address is asked
// at that rate, and both are found. --sweep asks every address without it.
void TestCli::findTwoUnits_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QList<RateLine>>("before");
    QTest::addColumn<bool>("asksAddress");

    QTest::newRow("--baud 9600: the answers collide")
        << 9600 << QStringList{"find", "--baud", "9600"} << QList<RateLine>{} << true;
    QTest::newRow("unknown rate: silence at 9600, the answers collide at 28800")
        << 28800 << QStringList{"find"} << QList<RateLine>{{9600, "@%\r"}} << true;
    QTest::newRow("--sweep --baud 9600: no address question")
        << 9600 << QStringList{"find", "--sweep", "--baud", "9600"} << QList<RateLine>{} << false;
}

void TestCli::findTwoUnits()
{
    QFETCH(int, baud);
    QFETCH(QStringList, args);
    QFETCH(QList<RateLine>, before);
    QFETCH(bool, asksAddress);
    Rig rig(QStringLiteral("KTRA30"), baud,
            {QStringLiteral("--also-address"), QStringLiteral("12")}, QStringLiteral("normal"), 3);
    QVERIFY(rig.started);

    QElapsedTimer clock;
    clock.start();
    const Run run = rig.run(args);

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("ADDRESS  MODEL   REVISION  BAUD\n"
                                     "3        KTRA30  1.07      %1\n"
                                     "12       KTRA30  1.07      %1\n")
                          .arg(baud));
    // Two addresses for one question: asked again, then every address, then
    // the two that answered once more before they count.
    QList<RateLine> asked = before;
    if (asksAddress)
        asked << RateLine(baud, "@%\r") << RateLine(baud, "@%\r");
    for (int address = 0; address <= 99; ++address)
        asked << RateLine(baud, "@" + QByteArray::number(address) + "$\r");
    asked << RateLine(baud, "@3$\r") << RateLine(baud, "@12$\r");
    QCOMPARE(linesWithRates(rig.unit.received()), asked);
    // The read limit of a reply per address, not the identification's waits.
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
}

// A VELD50 answers "$" at 3 together with the KTRA30 there: no model is told
// for the address.
void TestCli::findTwoUnitsAtOneAddress()
{
    Rig rig(QStringLiteral("KTRA30"), 9600,
            {QStringLiteral("--also-address"), QStringLiteral("3"), QStringLiteral("--also-model"),
             QStringLiteral("VELD50")},
            QStringLiteral("normal"), 3);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("find"), QStringLiteral("--baud"),
                             QStringLiteral("9600"), QStringLiteral("--json")});

    QCOMPARE(run.exitCode, 0);
    const QJsonArray units =
        QJsonDocument::fromJson(run.out.toUtf8()).object().value(QStringLiteral("units")).toArray();
    QCOMPARE(units.size(), 1);
    QCOMPARE(units[0].toObject(), (QJsonObject{{QStringLiteral("address"), 3},
                                               {QStringLiteral("model"), QJsonValue::Null},
                                               {QStringLiteral("revision"), QJsonValue::Null},
                                               {QStringLiteral("collision"), true}}));
    // The same address twice for "@%"; two models for "$" at 3, asked again.
    Lines asked{"@%\r"};
    for (int address = 0; address <= 99; ++address)
        asked << "@" + QByteArray::number(address) + "$\r";
    asked << "@3$\r"
          << "@3$\r";
    QCOMPARE(rig.unit.receivedBytes(), asked);

    rig.unit.clearRecord();
    const Run text =
        rig.run({QStringLiteral("find"), QStringLiteral("--baud"), QStringLiteral("9600")});
    QCOMPARE(text.out, QStringLiteral("ADDRESS  MODEL                       REVISION  BAUD\n"
                                      "3        more than one unit answers            9600\n"));
    QCOMPARE(rig.unit.receivedBytes(), asked);
}

void TestCli::readJson()
{
    Rig rig(QStringLiteral("VELD20"), 9600);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("read"), QStringLiteral("--profile"),
                             QStringLiteral("2"), QStringLiteral("--json")});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.value(QStringLiteral("format")).toInt(-1), 1);
    QCOMPARE(doc.value(QStringLiteral("command")).toString(), QStringLiteral("read"));
    QCOMPARE(doc.value(QStringLiteral("exit")).toInt(-1), 0);
    QCOMPARE(doc.value(QStringLiteral("axis")), QJsonValue(0));
    QCOMPARE(doc.value(QStringLiteral("model")).toString(), QStringLiteral("VELD20"));
    QCOMPARE(doc.value(QStringLiteral("revision")).toString(), QStringLiteral("1.07"));
    QCOMPARE(doc.value(QStringLiteral("baud")).toInt(), 9600);
    const QJsonArray profiles = doc.value(QStringLiteral("profiles")).toArray();
    QCOMPARE(profiles.size(), 1);
    QCOMPARE(profiles[0].toObject().value(QStringLiteral("profile")).toInt(), 2);
    const QJsonObject expected{{QStringLiteral("accel"), QStringLiteral("10100")},
                               {QStringLiteral("base-speed"), QStringLiteral("600")},
                               {QStringLiteral("max-speed"), QStringLiteral("5100")},
                               {QStringLiteral("index"), QStringLiteral("100")},
                               {QStringLiteral("complete-time"), QStringLiteral("150")},
                               // Option words as sheets spell them.
                               {QStringLiteral("direction"), QStringLiteral("cw")},
                               {QStringLiteral("reduced-current"), QStringLiteral("off")},
                               {QStringLiteral("error-code"), QStringLiteral("0")}};
    QCOMPARE(profiles[0].toObject().value(QStringLiteral("fields")).toObject(), expected);
    // Profile 1 with the identification, then profile 2 on its own.
    const Lines heard =
        Exchange + verifyQueries(Model::VELD20, "0", "1") + verifyQueries(Model::VELD20, "0", "2");
    QCOMPARE(rig.unit.receivedBytes(), heard);
}

void TestCli::refusedValueSendsNothing_data()
{
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<Lines>("heard");

    const Lines connected = Exchange + Ktra20Readback;
    QTest::newRow("over its limit, with an accepted one")
        << QStringList{"accel=20", "base-speed=6000"}
        << "Waring: The Base Speed upper limit is 5,000\n"
        << connected;
    QTest::newRow("below the speed the unit holds")
        << QStringList{"max-speed=400"}
        << "Waring: The Max Speed value must be higher than the Base Speed value\n"
        << connected;
    QTest::newRow("an option the model lacks")
        << QStringList{"direction=ccw"} << "The KTRA20 has no direction setting\n"
        << connected;
    QTest::newRow("an unknown option value, before the port opens")
        << QStringList{"resolution=3"}
        << "ktraveld-cli: resolution takes 1|2|4|8, not 3\nTry 'ktraveld-cli set --help'.\n"
        << Lines{};
}

void TestCli::refusedValueSendsNothing()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, refusal);
    QFETCH(Lines, heard);
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);

    const Run run = rig.run(QStringList{QStringLiteral("set")} + settings);

    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err, refusal);
    QCOMPARE(run.out, QString());
    QCOMPARE(rig.unit.receivedBytes(), heard);
}

void TestCli::valueNotHeld()
{
    // Every query but the model's is answered "1", whatever was set.
    Rig rig(QStringLiteral("KTRA10"), 9600, {QStringLiteral("--fixed-reply"), QStringLiteral("1")},
            QStringLiteral("fixed"));
    QVERIFY(rig.started);

    const Run run = rig.run(
        {QStringLiteral("set"), QStringLiteral("accel=20"), QStringLiteral("reduced-current=on")});

    QCOMPARE(run.exitCode, 3);
    QCOMPARE(run.err, QStringLiteral("The unit holds 1 for Accel/Decel, not 20\n"));
    QCOMPARE(run.out, QStringLiteral("KTRA10, revision 1.07, 9600 baud, axis 0, %1 (COM 1)\n"
                                     "NAME             SENT  HELD\n"
                                     "accel            20    1\n"
                                     "reduced-current  ON    ON\n")
                          .arg(rig.unit.devicePath()));
    const Lines readback = verifyQueries(Model::KTRA10);
    const Lines sent = {"@0A1_20\r", "@0C1\r"};
    QCOMPARE(rig.unit.receivedBytes(), Exchange + readback + sent + readback);
}

void TestCli::baudSkipsScan()
{
    Rig rig(QStringLiteral("KTRA20"), 28800);
    QVERIFY(rig.started);

    const Run found =
        rig.run({QStringLiteral("read"), QStringLiteral("--baud"), QStringLiteral("28800")});
    QCOMPARE(found.exitCode, 0);
    QCOMPARE(found.err, QString());
    QCOMPARE(rig.unit.receivedAt(28800), Exchange + Ktra20Readback);
    QCOMPARE(rig.unit.receivedBytes().size(), Exchange.size() + Ktra20Readback.size());

    // At a rate the unit does not run at: one identification there, no scan.
    rig.unit.clearRecord();
    const Run missed =
        rig.run({QStringLiteral("read"), QStringLiteral("--baud"), QStringLiteral("9600")});
    QCOMPARE(missed.exitCode, 1);
    QCOMPARE(missed.err, QStringLiteral("The unit DID NOT CONNECT.  \n\nPlease check Com Port "
                                        "Setting, Cables and Power.\n"));
    QCOMPARE(missed.out, QString());
    QCOMPARE(rig.unit.receivedAt(9600), Exchange);
    QCOMPARE(rig.unit.receivedBytes(), Exchange);
}

void TestCli::axisDefine()
{
    Rig rig(QStringLiteral("VELD30"), 9600);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("axis"), QStringLiteral("define"), QStringLiteral("12"),
                             QStringLiteral("--json")});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(doc.value(QStringLiteral("previous")), QJsonValue(0));
    QCOMPARE(doc.value(QStringLiteral("axis")), QJsonValue(12));
    QCOMPARE(doc.value(QStringLiteral("answers")).toBool(false), true);
    // Asked for its address, given the new one, then asked who it is there.
    const Lines heard = Exchange + verifyQueries(Model::VELD30) + Lines{"@%\r", "@~12\r", "@12$\r"};
    QCOMPARE(rig.unit.receivedBytes(), heard);
}

// A VELD50 at 0 beside the KTRA20 at 3: a read-back sent to 0 would show
// the other unit's values.
void TestCli::axisReachesEveryLine()
{
    Rig rig(QStringLiteral("KTRA20"), 9600,
            {QStringLiteral("--also-address"), QStringLiteral("0"), QStringLiteral("--also-model"),
             QStringLiteral("VELD50")},
            QStringLiteral("normal"), 3);
    QVERIFY(rig.started);

    const Run run =
        rig.run({QStringLiteral("read"), QStringLiteral("--axis"), QStringLiteral("3")});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out.section(QLatin1Char('\n'), 0, 0),
             QStringLiteral("KTRA20, revision 1.07, 9600 baud, axis 3, %1 (COM 1)")
                 .arg(rig.unit.devicePath()));
    QCOMPARE(rig.unit.receivedBytes(),
             (Lines{"\r", "@3!\r", "@3$\r", "@3VA1\r", "@3VB1\r", "@3VM1\r", "@3VL1\r", "@3VU1\r",
                    "@3VE\r", "@3VC\r", "@3VR\r", "@3VD\r", "@3!\r"}));
}

// Units at 3 and 42 both answer "@%" (asked twice, as more than one answer
// may be a stray beside one): the tool refuses to define and sends no "@~".
void TestCli::axisDefineRefusesTwoUnits()
{
    Rig rig(QStringLiteral("VELD30"), 9600,
            {QStringLiteral("--also-address"), QStringLiteral("42")}, QStringLiteral("normal"), 3);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("axis"), QStringLiteral("define"), QStringLiteral("9"),
                             QStringLiteral("--axis"), QStringLiteral("3")});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("More than one unit answers on the line, so the axis was not "
                                     "defined: a new address would go to every one of them. "
                                     "Connect only the unit whose address you want to change.\n"));
    QCOMPARE(run.out, QString());
    QCOMPARE(rig.unit.receivedBytes(),
             (Lines{"\r", "@3!\r", "@3$\r", "@3VA1\r", "@3VB1\r", "@3VM1\r", "@3VN1\r", "@3VT1\r",
                    "@3V+\r", "@3VR\r", "@3!\r", "@%\r", "@%\r"}));
    // Nothing changed, so the journal holds nothing.
    const Run history = rig.run({QStringLiteral("history")});
    QCOMPARE(history.out,
             QStringLiteral("The change journal %1 holds no changes.\n")
                 .arg(rig.dir.filePath(QStringLiteral("data/ktraveld/journal.sqlite"))));
}

void TestCli::portThatDoesNotOpen()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString missing = rig.dir.filePath(QStringLiteral("no-such-port"));

    const Run run = rig.run({QStringLiteral("scan"), QStringLiteral("--device"), missing});

    QCOMPARE(run.exitCode, 1);
    // The message, then the cause; which ports are present depends on the machine.
    const QStringList lines = run.err.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("Error Opening Com Port 1 - The com port is already open by "
                                      "another device (mouse, modem, etc.) or it does not exist. "
                                      "(%1: No such file or directory)")
                           .arg(missing));
    QCOMPARE(lines[1], QStringLiteral("Cause: no such device. %1 is not there: the adapter is "
                                      "unplugged, or there never was a port by that name.")
                           .arg(missing));
    QVERIFY2(lines[2] == QStringLiteral("No serial ports are present.") ||
                 lines[2].startsWith(QStringLiteral("Serial ports present: /dev/")),
             qPrintable(lines[2]));
    QVERIFY2(lines[3].startsWith(QStringLiteral("Fix: plug the adapter in")), qPrintable(lines[3]));
    QCOMPARE(lines[4], QString());
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

void TestCli::portHeldByAnotherProcess()
{
    // A line of our own that this test process holds as any serial program
    // would (exclusive use, a lock file); the tool runs as another process.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString line = QString::fromLocal8Bit(::ptsname(master));
    QSerialPort held(line);
    QVERIFY(held.open(QIODevice::ReadWrite));
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("config.qdr"));
    QVERIFY(writeStore(store, 1, {}));

    QProcess tool;
    tool.start(QStringLiteral(KTV_CLI_PATH), {QStringLiteral("scan"), QStringLiteral("--store"),
                                              store, QStringLiteral("--device"), line});
    QVERIFY(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    // Nothing reached the line.
    char byte = 0;
    QVERIFY(::fcntl(master, F_SETFL, O_NONBLOCK) == 0);
    const auto got = ::read(master, &byte, 1);
    held.close();
    ::close(master);
    QCOMPARE(got, -1);

    QCOMPARE(tool.exitCode(), 1);
    const QString pid = QString::number(QCoreApplication::applicationPid());
    QCOMPARE(err.section(QLatin1Char('\n'), 0, 2),
             QStringLiteral("Error Opening Com Port 1 - The com port is already open by another "
                            "device (mouse, modem, etc.) or it does not exist. (%1: Permission "
                            "error while locking the device)\n"
                            "Cause: the port is busy. %1 is held by tst_cli (pid %2).\n"
                            "Fix: close tst_cli (or end it: kill %2), then try again.")
                 .arg(line, pid));
    QCOMPARE(tool.readAllStandardOutput(), QByteArray());
}

void TestCli::interruptedScan()
{
    // A unit that never answers keeps the scan going through every rate.
    Rig rig(QStringLiteral("KTRA20"), 9600, {}, QStringLiteral("silent"));
    QVERIFY(rig.started);
    QProcess process;
    process.setProcessEnvironment(rig.environment());
    process.start(QStringLiteral(KTV_CLI_PATH), rig.withStore({QStringLiteral("scan")}));
    QVERIFY(process.waitForStarted());
    // Interrupted during the wait after the error-code query.
    QVERIFY(rig.unit.waitForLineCount(2, 5000));

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(2000));
    QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("Interrupted; the port is closed.\n"));
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QString());
    const Lines heard = rig.unit.receivedBytes();
    QCOMPARE(heard, (Lines{"\r", "@0!\r"}));
    // Nothing more reaches the line afterwards.
    QTest::qWait(1200);
    QCOMPARE(rig.unit.receivedBytes(), heard);
}

void TestCli::sheetRoundTrip()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString sheet = rig.dir.filePath(QStringLiteral("unit.json"));
    const QString unitLine =
        QStringLiteral("KTRA20, revision 1.07, 9600 baud, axis 0, %1 (COM 1)\n")
            .arg(rig.unit.devicePath());

    const Run saved = rig.run({QStringLiteral("save"), sheet});
    QCOMPARE(saved.err, QString());
    QCOMPARE(saved.exitCode, 0);
    QCOMPARE(saved.out, unitLine + QStringLiteral("Saved 14 values to %1\n").arg(sheet));
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + Ktra20SheetQueries);
    const QJsonObject file = QJsonDocument::fromJson(fileBytes(sheet)).object();
    QCOMPARE(file.value(QStringLiteral("model")).toString(), QStringLiteral("KTRA20"));
    QCOMPARE(file.value(QStringLiteral(
                 "profiles"))[1][QStringLiteral("parameters")][QStringLiteral("upper-analog")]
                 .toString(),
             QStringLiteral("20100"));

    // Two values change behind the sheet's back.
    QCOMPARE(rig.run({QStringLiteral("set"), QStringLiteral("accel=20"),
                      QStringLiteral("max-speed=4000")})
                 .exitCode,
             0);
    rig.unit.clearRecord();
    const Run differs = rig.run({QStringLiteral("diff"), sheet});
    QCOMPARE(differs.err, QString());
    QCOMPARE(differs.exitCode, 3);
    QCOMPARE(differs.out,
             unitLine + QStringLiteral("   VALUE                          SHEET  UNIT\n"
                                       "*  Profile 1, Accel/Decel         10     20\n"
                                       "   Profile 1, Base Speed          500    500\n"
                                       "*  Profile 1, Max Speed           5000   4000\n"
                                       "   Profile 1, Lower Analog Speed  1000   1000\n"
                                       "   Profile 1, Upper Analog Speed  20000  20000\n"
                                       "   Profile 2, Accel/Decel         110    110\n"
                                       "   Profile 2, Base Speed          600    600\n"
                                       "   Profile 2, Max Speed           5100   5100\n"
                                       "   Profile 2, Lower Analog Speed  1100   1100\n"
                                       "   Profile 2, Upper Analog Speed  20100  20100\n"
                                       "   Reduced Current                off    off\n"
                                       "   Microstep Resolution           8      8\n"
                                       "   Ramp Down                      no     no\n"
                                       "   Analog Speed                   off    off\n"
                                       "2 of 14 values differ (*).\n"));
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + Ktra20SheetQueries);

    rig.unit.clearRecord();
    const Run loaded = rig.run({QStringLiteral("load"), sheet});
    QCOMPARE(loaded.err, QString());
    QCOMPARE(loaded.exitCode, 0);
    QVERIFY(
        loaded.out.startsWith(unitLine + QStringLiteral("Wrote 14 values from %1\n").arg(sheet)));
    QVERIFY(loaded.out.endsWith(QStringLiteral("   Analog Speed                   off    off\n"
                                               "The unit holds every value of the sheet.\n")));
    const Lines written = {"@0A1_10\r",  "@0B1_500\r", "@0M1_5000\r", "@0L1_1000\r", "@0U1_20000\r",
                           "@0A2_110\r", "@0B2_600\r", "@0M2_5100\r", "@0L2_1100\r", "@0U2_20100\r",
                           "@0E0\r",     "@0C0\r",     "@0R8\r",      "@0D0\r"};
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + written + Ktra20SheetQueries);

    const Run same = rig.run({QStringLiteral("diff"), sheet, QStringLiteral("--json")});
    QCOMPARE(same.err, QString());
    QCOMPARE(same.exitCode, 0);
    const QJsonObject doc = QJsonDocument::fromJson(same.out.toUtf8()).object();
    QCOMPARE(doc.value(QStringLiteral("differences")).toInt(-1), 0);
    QCOMPARE(doc.value(QStringLiteral("values")).toArray().size(), 14);
}

void TestCli::loadSendsNothing_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("sheet");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // %1: the sheet's path
    QTest::addColumn<QString>("err");

    const QByteArray good = ktra20Sheet("5000");
    QTest::newRow("a dry run") << QStringList{QStringLiteral("--dry-run")} << good << 0
                               << "%1: a KTRA20 sheet within its limits; a load writes these 14 "
                                  "lines to axis 0:\n"
                                  "  Profile 1, Accel/Decel         @0A1_10⏎\n"
                                  "  Profile 1, Base Speed          @0B1_500⏎\n"
                                  "  Profile 1, Max Speed           @0M1_5000⏎\n"
                                  "  Profile 1, Lower Analog Speed  @0L1_1000⏎\n"
                                  "  Profile 1, Upper Analog Speed  @0U1_20000⏎\n"
                                  "  Profile 2, Accel/Decel         @0A2_110⏎\n"
                                  "  Profile 2, Base Speed          @0B2_600⏎\n"
                                  "  Profile 2, Max Speed           @0M2_5100⏎\n"
                                  "  Profile 2, Lower Analog Speed  @0L2_1100⏎\n"
                                  "  Profile 2, Upper Analog Speed  @0U2_20100⏎\n"
                                  "  Analog Speed                   @0E0⏎\n"
                                  "  Reduced Current                @0C0⏎\n"
                                  "  Microstep Resolution           @0R8⏎\n"
                                  "  Ramp Down                      @0D0⏎\n"
                                  "Nothing was sent.\n"
                               << QString();
    QTest::newRow("a value over its limit")
        << QStringList{} << ktra20Sheet("50001") << 2 << QString()
        << "Profile 1, Max Speed: Waring: The Max Speed upper limit is 50,000\n";
    QTest::newRow("a dry run of a value over its limit")
        << QStringList{QStringLiteral("--dry-run")} << ktra20Sheet("50001") << 2 << QString()
        << "Profile 1, Max Speed: Waring: The Max Speed upper limit is 50,000\n";
    QTest::newRow("a truncated file") << QStringList{} << good.left(40) << 2 << QString()
                                      << "%1 is damaged or incomplete: unterminated string at "
                                         "character 41.\n";
    // A typed box would read these as 0, 0 and 1; no unit holds them.
    for (const char *value : {"abc", "0_5", "1e3"})
        QTest::addRow("a value no unit holds: %s", value)
            << QStringList{} << ktra20Sheet(value) << 2 << QString()
            << QStringLiteral("Profile 1, Max Speed: \"%1\" is not a value a unit holds: 1 to 5 "
                              "digits.\n")
                   .arg(value);
}

void TestCli::loadSendsNothing()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, sheet);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString path = rig.dir.filePath(QStringLiteral("sheet.json"));
    QVERIFY(writeFile(path, sheet));

    const Run run = rig.run(QStringList{QStringLiteral("load"), path} + options);

    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err, err.contains(QLatin1String("%1")) ? err.arg(path) : err);
    QCOMPARE(run.out, out.contains(QLatin1String("%1")) ? out.arg(path) : out);
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
    QVERIFY(!QFileInfo::exists(rig.dir.filePath(QStringLiteral("data/ktraveld/journal.sqlite"))));
}

void TestCli::interruptedLoad()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString path = rig.dir.filePath(QStringLiteral("sheet.json"));
    QVERIFY(writeFile(path, ktra20Sheet("5000")));
    QProcess process;
    process.setProcessEnvironment(rig.environment());
    process.start(QStringLiteral(KTV_CLI_PATH), rig.withStore({QStringLiteral("load"), path}));
    QVERIFY(process.waitForStarted());
    // Interrupted in the wait after the second value.
    const qsizetype connected = Exchange.size() + Ktra20Readback.size();
    QVERIFY(rig.unit.waitForLineCount(int(connected) + 2, 10000));

    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(2000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("2 of 14 values written\nInterrupted; the port is closed.\n"));
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), QString());
    QTest::qWait(1200); // a third value written before the end would have come by now
    const Lines written = {"@0A1_10\r", "@0B1_500\r"};
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + written);
}

void TestCli::historyShowsASet()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QDateTime start = QDateTime::currentDateTimeUtc().addMSecs(-1);
    QCOMPARE(rig.run({QStringLiteral("set"), QStringLiteral("accel=20")}).exitCode, 0);
    const QDateTime end = QDateTime::currentDateTimeUtc();

    const Run run = rig.run({QStringLiteral("history")});
    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 3); // header, the row, and the end of the last line
    QCOMPARE(lines[0],
             QStringLiteral("TIME                      MODEL   AXIS  FIELD  PROFILE  VALUE  "
                            "BEFORE  AFTER  VERDICT"));
    const QDateTime when = QDateTime::fromString(lines[1].left(24), Qt::ISODateWithMs);
    QVERIFY2(when >= start && when <= end, qPrintable(lines[1]));
    QCOMPARE(lines[1].mid(24),
             QStringLiteral("  KTRA20  0     accel  1        20     10      20     "
                            "confirmed"));

    // The document: numbers as numbers.
    const Run json = rig.run({QStringLiteral("history"), QStringLiteral("--json")});
    QCOMPARE(json.exitCode, 0);
    const QJsonObject change = QJsonDocument::fromJson(json.out.toUtf8())
                                   .object()
                                   .value(QStringLiteral("changes"))[0]
                                   .toObject();
    QCOMPARE(change.value(QStringLiteral("axis")), QJsonValue(0));
    QCOMPARE(change.value(QStringLiteral("profile")), QJsonValue(1));
    QCOMPARE(change.value(QStringLiteral("value")), QJsonValue(QStringLiteral("20")));

    const Run other =
        rig.run({QStringLiteral("history"), QStringLiteral("--unit"), QStringLiteral("KTRA10")});
    QCOMPARE(other.exitCode, 0);
    QCOMPARE(other.out, QStringLiteral("The change journal %1 holds no changes of a KTRA10.\n")
                            .arg(rig.dir.filePath(QStringLiteral("data/ktraveld/journal.sqlite"))));
}

void TestCli::journalThatCannotBeWritten()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    // The data folder is a file: no journal can be made in it.
    QVERIFY(writeFile(rig.dir.filePath(QStringLiteral("data")), "not a folder"));

    const Run run = rig.run(
        {QStringLiteral("set"), QStringLiteral("accel=20"), QStringLiteral("max-speed=4000")});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
    QVERIFY2(run.err.startsWith(
                 QStringLiteral("The change journal %1 cannot be written: ")
                     .arg(rig.dir.filePath(QStringLiteral("data/ktraveld/journal.sqlite")))),
             qPrintable(run.err));
    QVERIFY(run.out.endsWith(QStringLiteral("accel      20    20\n"
                                            "max-speed  4000  4000\n")));
    const Lines sent = {"@0A1_20\r", "@0M1_4000\r"};
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + sent + Ktra20Readback);
}

// The trace prints the window's monitor lines: time, direction, baud, the
// bytes with CR as a sign, and what a sent line means.
void TestCli::traceShowsTheMonitorLines()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);

    const Run run =
        rig.run({QStringLiteral("stop"), QStringLiteral("--hard"), QStringLiteral("--baud"),
                 QStringLiteral("9600"), QStringLiteral("--trace")});

    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].mid(8), QStringLiteral(" ms  >    9600 baud  @0H\u23CE  Hard Limit stop"));
    QVERIFY(rig.unit.waitForLineCount(1));
    QCOMPARE(rig.unit.receivedBytes(), Lines{"@0H\r"});
}

void TestCli::stopAtTheModelsRate_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QByteArray>("line");
    // A VELD50 or VELD40, as scan reports them, stops as a VELD30: hard at
    // 38400, soft at 9600.
    QTest::newRow("VELD50 hard at 38400")
        << "VELD50"
        << "--hard" << 38400
        << "Sent a hard stop to axis 0 at 38400 baud (the VELD30 panel's fixed Hard Limit "
           "settings 38400,N,8,1)\n"
        << QByteArray("@0H\r");
    QTest::newRow("VELD40 soft at 9600")
        << "VELD40"
        << "--soft" << 9600
        << "Sent a soft stop to axis 0 at 9600 baud (the VELD30 panel's fixed Soft Limit "
           "settings 9600,N,8,1)\n"
        << QByteArray("@0S\r");
}

void TestCli::stopAtTheModelsRate()
{
    QFETCH(QString, model);
    QFETCH(QString, stop);
    QFETCH(int, baud);
    QFETCH(QString, said);
    QFETCH(QByteArray, line);
    Rig rig(model, baud);
    QVERIFY(rig.started);

    const Run run = rig.run({QStringLiteral("stop"), stop, QStringLiteral("--model"), model});

    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, said);
    QCOMPARE(run.err, QString());
    QVERIFY(rig.unit.waitForLineCount(1));
    QTest::qWait(200); // nothing follows the stop line
    const QList<ReceivedLine> lines = rig.unit.received();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].bytes, line);
    QCOMPARE(lines[0].baud, baud);
}

void TestCli::badRepliesFailTheCommand_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("unitArgs");
    QTest::addColumn<QStringList>("args"); // %1: the sheet's path
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");       // %1: the sheet's path
    QTest::addColumn<QString>("out");       // a pattern the output must hold
    QTest::addColumn<QStringList>("saved"); // a save's values; empty: no file

    const QStringList split = {"--mode", "split", "--split-gap", "90"};
    const QStringList late = {"--mode", "slow", "--slow-ms", "400"};
    const QStringList options77 = {"--mode", "fixed",  "--fixed-reply",
                                   "77",     "--only", "V+,VC,VR,VD,VE"};
    const QString veld30Options77 = "Direction: unreadable reply \"77\"\n"
                                    "Microstep Resolution: unreadable reply \"77\"\n";
    const QString ktra20Options77 = "Analog Speed: unreadable reply \"77\"\n"
                                    "Reduced Current: unreadable reply \"77\"\n"
                                    "Microstep Resolution: unreadable reply \"77\"\n"
                                    "Ramp Down: unreadable reply \"77\"\n";

    QTest::newRow("save, split replies 90 ms gap")
        << "VELD30" << split << QStringList{"save", "%1"} << 0 << QString() << "Saved 12 values to "
        << QStringList{"accel=10000", "direction=cw"};
    QTest::newRow("save, unit 0.4 s late")
        << "VELD30" << late << QStringList{"save", "%1"} << 0 << QString() << "Saved 12 values to "
        << QStringList{"accel=10000", "direction=cw"};
    QTest::newRow("save, drive options answer 77")
        << "VELD30" << options77 << QStringList{"save", "%1"} << 1
        << veld30Options77 + "Nothing was saved to %1.\n"
        << QString() << QStringList{};
    // Profile 2 is read by the save alone: its failure is said, once.
    QTest::newRow("save, profile 2's max speed answers 7x")
        << "KTRA20" << QStringList{"--mode", "fixed", "--fixed-reply", "7x", "--only", "VM2"}
        << QStringList{"save", "%1"} << 1
        << "Profile 2, Max Speed: unreadable reply \"7x\"\nNothing was saved to %1.\n"
        << QString() << QStringList{};
    // A unit that holds a value a load would refuse gives no sheet.
    QTest::newRow("save, unit holds a max speed above its limit")
        << "KTRA20" << QStringList{"--mode", "fixed", "--fixed-reply", "60000", "--only", "VM2"}
        << QStringList{"save", "%1"} << 2
        << "The unit holds values a load would refuse:\nProfile 2, Max Speed: Waring: The Max "
           "Speed upper limit is 50,000\nNothing was saved to %1.\n"
        << QString() << QStringList{};
    QTest::newRow("diff, drive options answer 77")
        << "KTRA20" << options77 << QStringList{"diff", "%1"} << 1 << ktra20Options77 << QString()
        << QStringList{};
    QTest::newRow("read, unit 0.4 s late")
        << "KTRA20" << late << QStringList{"read"} << 0 << QString()
        << "Accel/Decel +10\n  Base Speed +500\n  Max Speed +5000\n"
        << QStringList{};
    QTest::newRow("read, drive options answer 77")
        << "KTRA20" << options77 << QStringList{"read"} << 1
        << ktra20Options77 +
               "Profile 1: no value read for Analog Speed, Reduced Current, Microstep "
               "Resolution, Ramp Down\n"
        << "Reduced Current +unreadable reply \"77\"\n"
        << QStringList{};
}

// Replies that come late or in pieces are read right; a reply that is not a
// valid answer to its query is never a value: the command fails, says which
// reply it could not read, writes no file and sends nothing but queries.
void TestCli::badRepliesFailTheCommand()
{
    QFETCH(QString, model);
    QFETCH(QStringList, unitArgs);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, out);
    QFETCH(QStringList, saved);
    Rig rig(model, 9600, unitArgs.mid(2), unitArgs.value(1));
    QVERIFY(rig.started);
    const QString path = rig.dir.filePath(QStringLiteral("sheet.json"));
    const bool diff = args.first() == QLatin1String("diff");
    const QByteArray sheet = ktra20Sheet("5000");
    if (diff)
        QVERIFY(writeFile(path, sheet));
    for (QString &arg : args)
        arg.replace(QLatin1String("%1"), path);

    const Run run = rig.run(args);

    QCOMPARE(run.err, QString(err).replace(QLatin1String("%1"), path));
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(QRegularExpression(out)), qPrintable(run.out));
    if (diff) {
        QCOMPARE(fileBytes(path), sheet);
    } else if (saved.isEmpty()) {
        QVERIFY(!QFileInfo::exists(path));
    } else {
        const QJsonObject file = QJsonDocument::fromJson(fileBytes(path)).object();
        QCOMPARE(file.value(QStringLiteral(
                     "profiles"))[0][QStringLiteral("parameters")][QStringLiteral("accel")]
                     .toString(),
                 saved[0].section(QLatin1Char('='), 1));
        QCOMPARE(file.value(QStringLiteral("options"))[QStringLiteral("direction")].toString(),
                 saved[1].section(QLatin1Char('='), 1));
    }
    // Only the identification and queries went out: nothing was set.
    const QRegularExpression query(QStringLiteral("^(\r|@0[!$]\r|@0V([ABMNTLU][1-4]|[+CRDE])\r)$"));
    for (const QByteArray &line : rig.unit.receivedBytes())
        QVERIFY2(query.match(QString::fromLatin1(line)).hasMatch(), line.constData());
}

void TestCli::lineLostFailsTheCommand_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("heardBeforeLoss"); // after the identification
    QTest::addColumn<QString>("errEnd");
    QTest::addColumn<QString>("out"); // a pattern the output must match
    QTest::addColumn<Lines>("heard"); // after the identification

    QTest::newRow("set, after the first of two values")
        << QStringList{"set", "accel=20", "max-speed=4000"} << 11
        << "The line to the unit was lost. Written: accel. Not written: max-speed.\n"
        << "^$" << Ktra20Readback + Lines{"@0A1_20\r"};
    QTest::newRow("read, in the middle of profile 2")
        << QStringList{"read", "--profile", "2"} << 13
        << "Profile 2: no value read for Max Speed, Lower Analog Speed, Upper Analog Speed, "
           "Analog Speed, Reduced Current, Microstep Resolution, Ramp Down, Error Code\n"
        << "Base Speed +600\n$" << Ktra20Readback + Lines{"@0VA2\r", "@0VB2\r", "@0VM2\r"};
}

// The line goes in the middle of a command: it fails, says what was and was
// not done, and nothing read before a write is shown as held.
void TestCli::lineLostFailsTheCommand()
{
    QFETCH(QStringList, args);
    QFETCH(int, heardBeforeLoss);
    QFETCH(QString, errEnd);
    QFETCH(QString, out);
    QFETCH(Lines, heard);
    Rig rig(QStringLiteral("KTRA20"), 9600,
            {QStringLiteral("--vanish-after"), QString::number(Exchange.size() + heardBeforeLoss)});
    QVERIFY(rig.started);

    const Run run = rig.run(args);

    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.endsWith(errEnd), qPrintable(run.err));
    QVERIFY2(run.out.contains(QRegularExpression(out)), qPrintable(run.out));
    QCOMPARE(rig.unit.receivedBytes(), Exchange + heard);
}

// The line goes after the third value of a load: exit 1, and how far it came
// in text and in the JSON document.
void TestCli::lineLostInLoad()
{
    Rig rig(QStringLiteral("KTRA20"), 9600,
            {QStringLiteral("--vanish-after"), QString::number(Exchange.size() + 13)});
    QVERIFY(rig.started);
    const QString path = rig.dir.filePath(QStringLiteral("sheet.json"));
    QVERIFY(writeFile(path, ktra20Sheet("5000")));

    const Run run = rig.run({QStringLiteral("load"), path, QStringLiteral("--json")});

    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.endsWith(QStringLiteral("The line to the unit took nothing; the load stopped "
                                             "after 3 values.\n3 of 14 values written\n")),
             qPrintable(run.err));
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8()).object();
    QCOMPARE(doc.value(QStringLiteral("exit")).toInt(-1), 1);
    QCOMPARE(doc.value(QStringLiteral("written")).toInt(-1), 3);
    QCOMPARE(doc.value(QStringLiteral("total")).toInt(-1), 14);
    const QJsonArray messages = doc.value(QStringLiteral("messages")).toArray();
    QCOMPARE(messages.last(),
             QJsonValue(
                 QJsonObject{{QStringLiteral("code"), QStringLiteral("notice")},
                             {QStringLiteral("text"), QStringLiteral("3 of 14 values written")}}));
    const Lines written = {"@0A1_10\r", "@0B1_500\r", "@0M1_5000\r"};
    QCOMPARE(rig.unit.receivedBytes(), Exchange + Ktra20Readback + written);
}

// A path that is no sheet file is refused before anything can block on it,
// and a save that could not be written asks the unit nothing. {dir}: the
// rig's folder.
void TestCli::sheetFilesRefusedAtOnce_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("err");

    QTest::newRow("diff of a named pipe")
        << "diff"
        << "{dir}/pipe"
        << "{dir}/pipe is not a parameter sheet: it is a named pipe, not a file.\n";
    QTest::newRow("load of /dev/zero")
        << "load"
        << "/dev/zero"
        << "/dev/zero is not a parameter sheet: it is a device, not a file.\n";
    QTest::newRow("save into a folder that does not exist")
        << "save"
        << "{dir}/gone/unit.json"
        << "{dir}/gone/unit.json cannot be written: the folder {dir}/gone does not exist.\n";
    QTest::newRow("save onto a named pipe")
        << "save"
        << "{dir}/pipe"
        << "{dir}/pipe cannot be written: it is a named pipe, not a file.\n";
}

void TestCli::sheetFilesRefusedAtOnce()
{
    QFETCH(QString, command);
    QFETCH(QString, path);
    QFETCH(QString, err);
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString pipe = rig.dir.filePath(QStringLiteral("pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    path.replace(QLatin1String("{dir}"), rig.dir.path());

    QElapsedTimer clock;
    clock.start();
    const Run run = rig.run({command, path});

    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err, QString(err).replace(QLatin1String("{dir}"), rig.dir.path()));
    QCOMPARE(run.out, QString());
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
    QVERIFY(!QFileInfo::exists(rig.dir.filePath(QStringLiteral("gone"))));
}

// With --json, stdout holds one document whatever happened, and its
// messages are exactly what stderr said, each with its code.
void TestCli::documentHoldsEveryMessage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QJsonValue>("command");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("first"); // the first message's text; {dir}: the rig's folder

    QTest::newRow("a port that does not open")
        << QStringList{"scan", "--device", "{dir}/no-such-port", "--json"} << 1
        << QJsonValue(QStringLiteral("scan")) << QStringList{"port-open-failed", "port-diagnosis"}
        << "Error Opening Com Port 1 - The com port is already open by another device (mouse, "
           "modem, etc.) or it does not exist. ({dir}/no-such-port: No such file or directory)";
    QTest::newRow("a usage error of a command")
        << QStringList{"scan", "--com", "x", "--json"} << 2 << QJsonValue(QStringLiteral("scan"))
        << QStringList{"usage-error"}
        << "ktraveld-cli: --com takes a port number from 1\nTry 'ktraveld-cli scan --help'.";
    QTest::newRow("a usage error before any command")
        << QStringList{"--json", "--bogus"} << 2 << QJsonValue() << QStringList{"usage-error"}
        << "ktraveld-cli: Unknown option 'bogus'.\nTry 'ktraveld-cli --help'.";
}

void TestCli::documentHoldsEveryMessage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QJsonValue, command);
    QFETCH(QStringList, codes);
    QFETCH(QString, first);
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    args.replaceInStrings(QStringLiteral("{dir}"), rig.dir.path());

    const Run run = rig.run(args);

    QCOMPARE(run.exitCode, exitCode);
    QJsonParseError error;
    const QJsonObject doc = QJsonDocument::fromJson(run.out.toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(doc.value(QStringLiteral("format")), QJsonValue(1));
    QCOMPARE(doc.value(QStringLiteral("command")), command);
    QCOMPARE(doc.value(QStringLiteral("exit")), QJsonValue(exitCode));
    QStringList shownCodes;
    QString said;
    for (const QJsonValue &message : doc.value(QStringLiteral("messages")).toArray()) {
        shownCodes << message[QStringLiteral("code")].toString();
        said += message[QStringLiteral("text")].toString() + QLatin1Char('\n');
    }
    QCOMPARE(shownCodes, codes);
    QCOMPARE(said, run.err);
    QCOMPARE(doc.value(QStringLiteral("messages"))[0][QStringLiteral("text")].toString(),
             first.replace(QLatin1String("{dir}"), rig.dir.path()));
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

void TestCli::outputThatCannotBeWritten()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    QProcess process;
    process.setProcessEnvironment(rig.environment());
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(KTV_CLI_PATH), rig.withStore({QStringLiteral("ports")}));
    QVERIFY(process.waitForFinished(60000));

    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("ktraveld-cli: the output could not be written: No space left on "
                            "device\n"));
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

// A named pipe where the port's lock file belongs would hold the opening of
// the port for good; the tool refuses the port at once and says why.
void TestCli::lockFileThatIsAPipe()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString device = QFileInfo(rig.unit.devicePath()).canonicalFilePath(); // /dev/pts/N
    const QString lock = QStringLiteral("/var/lock/LCK..") +
                         device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    if (::mkfifo(QFile::encodeName(lock).constData(), 0600) != 0)
        QSKIP("the system's lock folder cannot be written here");
    const auto removeLock = qScopeGuard([&lock] { QFile::remove(lock); });

    QElapsedTimer clock;
    clock.start();
    const Run run = rig.run({QStringLiteral("scan"), QStringLiteral("--device"), device});

    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err.section(QLatin1Char('\n'), 0, 2),
             QStringLiteral("Error Opening Com Port 1 - The com port is already open by another "
                            "device (mouse, modem, etc.) or it does not exist. (%1: %2 is a named "
                            "pipe)\n"
                            "Cause: the port's lock file is no file. %2 is a named pipe, where the "
                            "lock file of %1 belongs.\n"
                            "Fix: remove it: sudo rm %2")
                 .arg(device, lock));
    QCOMPARE(run.out, QString());
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

// The first Ctrl+C ends the work where an event loop runs; a second one ends
// the tool wherever it is. Held here in the opening of a store that is a
// named pipe nobody writes, where no event loop runs.
void TestCli::secondInterruptEndsAtOnce()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString pipe = rig.dir.filePath(QStringLiteral("store-pipe"));
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    QProcess process;
    process.setProcessEnvironment(rig.environment());
    process.start(QStringLiteral(KTV_CLI_PATH),
                  {QStringLiteral("scan"), QStringLiteral("--store"), pipe});
    QVERIFY(process.waitForStarted());
    const pid_t pid = static_cast<pid_t>(process.processId());
    auto waitingOnThePipe = [pid] {
        QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
        return wchan.open(QIODevice::ReadOnly) && wchan.readAll() == "wait_for_partner";
    };
    QTRY_VERIFY_WITH_TIMEOUT(waitingOnThePipe(), 10000);

    ::kill(pid, SIGINT);
    QVERIFY(!process.waitForFinished(500)); // the first cannot end it there

    QElapsedTimer clock;
    clock.start();
    ::kill(pid, SIGINT);
    QVERIFY(process.waitForFinished(2000));
    QVERIFY2(clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 130);
    QCOMPARE(QString::fromUtf8(process.readAllStandardError()),
             QStringLiteral("Interrupted again; ending at once.\n"));
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
