// The bytes every line puts on the wire.

#include "protocol/CommandFrame.h"

#include <QTest>

using namespace ktv;
using frame::Motion;

class TestCommandFrame : public QObject
{
    Q_OBJECT

  private slots:
    void lineBytes_data();
    void lineBytes();
    void everyLineIsOneCrTerminatedCommand_data();
    void everyLineIsOneCrTerminatedCommand();
};

void TestCommandFrame::lineBytes_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("wire");

    // Drive options: one row per button, each with its own command and literal.
    QTest::newRow("CW carries no value")
        << frame::optionLine("0", Option::CW) << QByteArray("@0+\r");
    QTest::newRow("CCW carries no value, address 5")
        << frame::optionLine("5", Option::CCW) << QByteArray("@5-\r");
    QTest::newRow("reduced current on")
        << frame::optionLine("0", Option::RCYes) << QByteArray("@0C1\r");
    QTest::newRow("reduced current off")
        << frame::optionLine("0", Option::RCNo) << QByteArray("@0C0\r");
    QTest::newRow("resolution 1") << frame::optionLine("0", Option::Res1) << QByteArray("@0R1\r");
    QTest::newRow("resolution 2") << frame::optionLine("0", Option::Res2) << QByteArray("@0R2\r");
    QTest::newRow("resolution 4") << frame::optionLine("0", Option::Res4) << QByteArray("@0R4\r");
    QTest::newRow("resolution 8") << frame::optionLine("0", Option::Res8) << QByteArray("@0R8\r");
    QTest::newRow("ramp down yes")
        << frame::optionLine("0", Option::RampDownYes) << QByteArray("@0D1\r");
    QTest::newRow("ramp down no") << frame::optionLine("0", Option::RampDownNo)
                                  << QByteArray("@0D0\r");
    QTest::newRow("analog speed on")
        << frame::optionLine("0", Option::AnalogOn) << QByteArray("@0E1\r");
    QTest::newRow("analog speed off")
        << frame::optionLine("0", Option::AnalogOff) << QByteArray("@0E0\r");

    // Parameter sends: the entry text goes out exactly as typed.
    QTest::newRow("accel 10, byte view 40 30 41 31 5F 31 30 0D")
        << frame::parameterLine("0", ParamKey::Accel, "1", "10")
        << QByteArray::fromHex("40 30 41 31 5F 31 30 0D");
    QTest::newRow("base at address 3, profile 2")
        << frame::parameterLine("3", ParamKey::Base, "2", "1000") << QByteArray("@3B2_1000\r");
    QTest::newRow("trailing blank is sent before CR")
        << frame::parameterLine("3", ParamKey::Base, "2", "1000 ") << QByteArray("@3B2_1000 \r");
    QTest::newRow("max keeps letters and commas")
        << frame::parameterLine("0", ParamKey::Max, "1", "5,0x") << QByteArray("@0M1_5,0x\r");
    QTest::newRow("empty entry ends in underscore CR")
        << frame::parameterLine("0", ParamKey::Index, "1", "") << QByteArray("@0N1_\r");
    QTest::newRow("complete uses T, address 07 kept")
        << frame::parameterLine("07", ParamKey::Complete, "4", "50") << QByteArray("@07T4_50\r");
    QTest::newRow("lower analog speed uses L")
        << frame::parameterLine("0", ParamKey::Lower, "2", "1000") << QByteArray("@0L2_1000\r");
    QTest::newRow("upper analog speed uses U")
        << frame::parameterLine("0", ParamKey::Upper, "2", "20000") << QByteArray("@0U2_20000\r");
    QTest::newRow("value text goes out as Latin-1, one byte a character")
        << frame::parameterLine("0", ParamKey::Accel, "1", QStringLiteral("1\u00e9"))
        << QByteArray::fromHex("40 30 41 31 5F 31 E9 0D");
    QTest::newRow("LF in the value text goes out unchanged")
        << frame::parameterLine("0", ParamKey::Accel, "1", "1\n2") << QByteArray("@0A1_1\n2\r");

    // Motion: only Go carries the profile.
    QTest::newRow("go with profile 1")
        << frame::motionLine("0", Motion::Go, "1") << QByteArray("@0G1\r");
    QTest::newRow("soft stop ignores the profile")
        << frame::motionLine("0", Motion::StopSoft, "1") << QByteArray("@0S\r");
    QTest::newRow("hard stop at address 12")
        << frame::motionLine("12", Motion::StopAll, "1") << QByteArray("@12H\r");

    // Queries: parameters carry the profile, settings do not, the error code has no V.
    QTest::newRow("query accel") << frame::queryLine("0", Field::Accel, "1")
                                 << QByteArray("@0VA1\r");
    QTest::newRow("query base") << frame::queryLine("0", Field::Base, "1") << QByteArray("@0VB1\r");
    QTest::newRow("query max, profile 3")
        << frame::queryLine("0", Field::Max, "3") << QByteArray("@0VM3\r");
    QTest::newRow("query index") << frame::queryLine("0", Field::Index, "2")
                                 << QByteArray("@0VN2\r");
    QTest::newRow("query complete")
        << frame::queryLine("0", Field::Complete, "2") << QByteArray("@0VT2\r");
    QTest::newRow("query lower") << frame::queryLine("0", Field::Lower, "1")
                                 << QByteArray("@0VL1\r");
    QTest::newRow("query upper") << frame::queryLine("0", Field::Upper, "1")
                                 << QByteArray("@0VU1\r");
    QTest::newRow("query direction has no profile")
        << frame::queryLine("0", Field::Direction, "1") << QByteArray("@0V+\r");
    QTest::newRow("query analog speed")
        << frame::queryLine("0", Field::AnalogSpeed, "3") << QByteArray("@0VE\r");
    QTest::newRow("query reduced current")
        << frame::queryLine("0", Field::ReducedCurrent, "3") << QByteArray("@0VC\r");
    QTest::newRow("query resolution")
        << frame::queryLine("0", Field::Resolution, "3") << QByteArray("@0VR\r");
    QTest::newRow("query ramp down")
        << frame::queryLine("0", Field::RampDown, "3") << QByteArray("@0VD\r");
    QTest::newRow("query error code has no V")
        << frame::queryLine("0", Field::ErrorCode, "1") << QByteArray("@0!\r");
    QTest::newRow("query at address 12")
        << frame::queryLine("12", Field::Accel, "4") << QByteArray("@12VA4\r");

    // Identification and axis lines.
    QTest::newRow("lone carriage return")
        << frame::loneCarriageReturn() << QByteArray::fromHex("0D");
    QTest::newRow("error code query") << frame::errorCodeQuery("0") << QByteArray("@0!\r");
    QTest::newRow("model query at address 7") << frame::modelQuery("7") << QByteArray("@7$\r");
    QTest::newRow("address query carries no address")
        << frame::addressQueryLine() << QByteArray("@%\r");
    QTest::newRow("address change carries only the new address")
        << frame::addressChangeLine("12") << QByteArray("@~12\r");
}

void TestCommandFrame::lineBytes()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, wire);
    QCOMPARE(line.toHex(' '), wire.toHex(' '));
}

// Whatever the option, field or motion: "@", the address, then the command,
// and a single CR at the end; no LF anywhere.
void TestCommandFrame::everyLineIsOneCrTerminatedCommand_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("address");

    const QString address = QStringLiteral("42");
    for (int i = 0; i <= static_cast<int>(Option::AnalogOff); ++i)
        QTest::addRow("option %d", i)
            << frame::optionLine(address, static_cast<Option>(i)) << QByteArray("42");
    for (int i = 0; i <= static_cast<int>(Field::ErrorCode); ++i)
        QTest::addRow("query %d", i)
            << frame::queryLine(address, static_cast<Field>(i), "2") << QByteArray("42");
    for (int i = 0; i < ParamKeyCount; ++i)
        QTest::addRow("parameter %d", i)
            << frame::parameterLine(address, static_cast<ParamKey>(i), "2", "123 x")
            << QByteArray("42");
    for (Motion m : {Motion::Go, Motion::StopSoft, Motion::StopAll})
        QTest::addRow("motion %d", static_cast<int>(m))
            << frame::motionLine(address, m, "2") << QByteArray("42");
    QTest::newRow("model query") << frame::modelQuery(address) << QByteArray("42");
}

void TestCommandFrame::everyLineIsOneCrTerminatedCommand()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, address);
    QVERIFY2(line.startsWith('@' + address), line.constData());
    QVERIFY(line.size() > address.size() + 2); // a command between address and CR
    QVERIFY(line.endsWith('\r'));
    QCOMPARE(line.count('\r'), 1);
    QVERIFY(!line.contains('\n'));
}

QTEST_GUILESS_MAIN(TestCommandFrame)
#include "tst_commandframe.moc"
