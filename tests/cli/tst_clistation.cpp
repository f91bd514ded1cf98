// ktraveld-cli station: a line per unit, its exit codes, two lines at once
// with --json, and Ctrl+C while it waits.

#include "CliRig.h"
#include "Wire.h"
#include "store/SerialSetting.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

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
    void twoLinesWithJson();
    void serialPrompt_data();
    void serialPrompt();
    void interruptedWhileWaiting();
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
        << QByteArray("insert VELD30 0") << QStringList{"--units", "1"} << 1
        << R"(^COM 1 \(DEV\): REFUSED VELD30 1\.07, .+\n$)";
    QTest::newRow("two units at one address are refused")
        << QByteArray("also") << QStringList{"--units", "1"} << 1
        << R"(^COM 1 \(DEV\): REFUSED, More than one unit answers at address 0\n$)";
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
    else if (exitCode == 1) // refused: asked, nothing written
        QVERIFY(
            std::all_of(wire.begin(), wire.end(), [](const QByteArray &l) { return l == Probe; }));
    else
        QCOMPARE(wire.mid(1, 14), wire::Ktra20SheetWrites);
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

QTEST_MAIN(TestCliStation)
#include "tst_clistation.moc"
