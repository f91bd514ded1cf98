// The command-line tool as the operator runs it: the real ktraveld-cli as a
// child process, against the simulated unit on a pseudo-terminal that COM 1
// of a temporary store names. Each test checks the exit code, the exact text
// printed and every line the unit heard.

#include "Helpers.h"
#include "UnitSimProcess.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace ktv::test;

using Lines = QList<QByteArray>;

namespace {

const Lines Exchange = {"\r", "@0!\r", "@0$\r"};
const Lines Ktra20Readback = {"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VL1\r", "@0VU1\r",
                              "@0VE\r",  "@0VC\r",  "@0VR\r",  "@0VD\r",  "@0!\r"};

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// A unit on the line and a store whose COM 1 is that line.
struct Rig
{
    explicit Rig(const QString &model, int baud, const QStringList &extra = {},
                 const QString &mode = QStringLiteral("normal"), int address = 0)
        : unit({model, QStringLiteral("1.07"), address, baud, mode, extra})
    {
        started = unit.start();
        storePath = dir.filePath(QStringLiteral("config.qdr"));
        started = started && writeStore(storePath, 1, {{1, unit.devicePath()}});
    }

    QStringList withStore(const QStringList &args) const
    {
        return QStringList{args.first(), QStringLiteral("--store"), storePath} + args.mid(1);
    }

    Run run(const QStringList &args)
    {
        QProcess process;
        process.start(QStringLiteral(KTV_CLI_PATH), withStore(args));
        Run result;
        if (!process.waitForFinished(60000))
            return result;
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    UnitSimProcess unit;
    QTemporaryDir dir;
    QString storePath;
    bool started = false;
};

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
  private slots:
    void scan_data();
    void scan();
    void findTwoUnits();
    void readJson();
    void refusedValueSendsNothing_data();
    void refusedValueSendsNothing();
    void valueNotHeld();
    void baudSkipsScan();
    void axisDefine();
    void portThatDoesNotOpen();
    void interruptedScan();
    void traceShowsTheMonitorLines();
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
    QTest::newRow("VELD40 at 38400 on the VELD30 panel")
        << "VELD40" << 38400
        << "model     VELD40\n"
           "panel     VELD30\n"
           "revision  1.07\n"
           "baud      38400\n"
           "axis      0\n"
           "device    %1 (COM 1)\n"
        << Exchange + Lines{"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VN1\r",
                            "@0VT1\r", "@0V+\r",  "@0VR\r",  "@0!\r"};
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

void TestCli::findTwoUnits()
{
    Rig rig(QStringLiteral("KTRA30"), 9600,
            {QStringLiteral("--also-address"), QStringLiteral("12")}, QStringLiteral("normal"), 3);
    QVERIFY(rig.started);

    QElapsedTimer clock;
    clock.start();
    const Run run =
        rig.run({QStringLiteral("find"), QStringLiteral("--baud"), QStringLiteral("9600")});

    QCOMPARE(run.err, QString());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QStringLiteral("ADDRESS  MODEL   REVISION  BAUD\n"
                                     "3        KTRA30  1.07      9600\n"
                                     "12       KTRA30  1.07      9600\n"));
    Lines asked;
    for (int address = 0; address <= 99; ++address)
        asked << "@" + QByteArray::number(address) + "$\r";
    QCOMPARE(rig.unit.receivedBytes(), asked);
    // The read limit of a reply per address, not the identification's waits.
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
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
    QCOMPARE(doc.value(QStringLiteral("command")).toString(), QStringLiteral("read"));
    QCOMPARE(doc.value(QStringLiteral("exit")).toInt(-1), 0);
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
                               {QStringLiteral("direction"), QStringLiteral("CW")},
                               {QStringLiteral("reduced-current"), QStringLiteral("OFF")},
                               {QStringLiteral("error-code"), QStringLiteral("0")}};
    QCOMPARE(profiles[0].toObject().value(QStringLiteral("fields")).toObject(), expected);
    // Profile 1 with the identification, then profile 2 on its own.
    const Lines heard =
        Exchange + Lines{"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VN1\r", "@0VT1\r", "@0V+\r",
                         "@0VC\r",  "@0!\r",   "@0VA2\r", "@0VB2\r", "@0VM2\r", "@0VN2\r",
                         "@0VT2\r", "@0V+\r",  "@0VC\r",  "@0!\r"};
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
    const Lines readback = {"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0V+\r",
                            "@0VC\r",  "@0VR\r",  "@0VD\r",  "@0!\r"};
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
    QCOMPARE(doc.value(QStringLiteral("previous")).toString(), QStringLiteral("0"));
    QCOMPARE(doc.value(QStringLiteral("axis")).toString(), QStringLiteral("12"));
    QCOMPARE(doc.value(QStringLiteral("answers")).toBool(false), true);
    // Asked for its address, given the new one, then asked who it is there.
    const Lines heard =
        Exchange + Lines{"@0VA1\r", "@0VB1\r", "@0VM1\r", "@0VN1\r", "@0VT1\r", "@0V+\r",
                         "@0VR\r",  "@0!\r",   "@%\r",    "@~12\r",  "@12$\r"};
    QCOMPARE(rig.unit.receivedBytes(), heard);
}

void TestCli::portThatDoesNotOpen()
{
    Rig rig(QStringLiteral("KTRA20"), 9600);
    QVERIFY(rig.started);
    const QString missing = rig.dir.filePath(QStringLiteral("no-such-port"));

    const Run run = rig.run({QStringLiteral("scan"), QStringLiteral("--device"), missing});

    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, QStringLiteral("Error Opening Com Port 1 - The com port is already open by "
                                     "another device (mouse, modem, etc.) or it does not exist. "
                                     "(%1: No such file or directory)\n")
                          .arg(missing));
    QCOMPARE(rig.unit.receivedBytes(), Lines{});
}

void TestCli::interruptedScan()
{
    // A unit that never answers keeps the scan going through every rate.
    Rig rig(QStringLiteral("KTRA20"), 9600, {}, QStringLiteral("silent"));
    QVERIFY(rig.started);
    QProcess process;
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

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
