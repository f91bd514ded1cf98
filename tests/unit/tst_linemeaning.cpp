// What the line monitor and the trace say about a line: its bytes as text and
// the meaning of every line the program writes.

#include "protocol/LineMeaning.h"

#include <QTest>

using namespace ktv;

class TestLineMeaning : public QObject
{
    Q_OBJECT

  private slots:
    void meaning_data();
    void meaning();
    void displayText_data();
    void displayText();
};

void TestLineMeaning::meaning_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("meaning"); // empty: the line has none

    // Read-back queries: the parameters per profile, the settings without one.
    QTest::newRow("accel query") << QByteArray("@0VA1\r") << "read Accel/Decel, profile 1";
    QTest::newRow("base query, profile 2") << QByteArray("@0VB2\r") << "read Base Speed, profile 2";
    QTest::newRow("max query, address 12") << QByteArray("@12VM4\r") << "read Max Speed, profile 4";
    QTest::newRow("index query") << QByteArray("@0VN1\r") << "read Index Number, profile 1";
    QTest::newRow("complete query") << QByteArray("@0VT2\r") << "read Complete Time, profile 2";
    QTest::newRow("lower query") << QByteArray("@0VL1\r") << "read Lower Analog Speed, profile 1";
    QTest::newRow("upper query") << QByteArray("@0VU1\r") << "read Upper Analog Speed, profile 1";
    QTest::newRow("direction query") << QByteArray("@0V+\r") << "read Direction";
    QTest::newRow("analog query") << QByteArray("@0VE\r") << "read Analog Speed";
    QTest::newRow("current query") << QByteArray("@0VC\r") << "read Reduced Current";
    QTest::newRow("resolution query") << QByteArray("@0VR\r") << "read Microstep Resolution";
    QTest::newRow("ramp down query") << QByteArray("@0VD\r") << "read Ramp Down";
    QTest::newRow("error code query") << QByteArray("@0!\r") << "read Error Code";

    // Parameter sends, whatever the entry text.
    QTest::newRow("max send") << QByteArray("@0M1_5000\r") << "set Max Speed, profile 1";
    QTest::newRow("accel send, address 07")
        << QByteArray("@07A3_10\r") << "set Accel/Decel, profile 3";
    QTest::newRow("base send with blank")
        << QByteArray("@3B2_1000 \r") << "set Base Speed, profile 2";
    QTest::newRow("index send, empty entry")
        << QByteArray("@0N1_\r") << "set Index Number, profile 1";
    QTest::newRow("complete send") << QByteArray("@0T2_7\r") << "set Complete Time, profile 2";
    QTest::newRow("lower send") << QByteArray("@0L1_50\r") << "set Lower Analog Speed, profile 1";
    QTest::newRow("upper send") << QByteArray("@0U1_900\r") << "set Upper Analog Speed, profile 1";

    // Drive options.
    QTest::newRow("CW") << QByteArray("@0+\r") << "set Direction CW";
    QTest::newRow("CCW, address 5") << QByteArray("@5-\r") << "set Direction CCW";
    QTest::newRow("current on") << QByteArray("@0C1\r") << "set Reduced Current ON";
    QTest::newRow("current off") << QByteArray("@0C0\r") << "set Reduced Current OFF";
    QTest::newRow("resolution 8") << QByteArray("@0R8\r") << "set Microstep Resolution 8";
    QTest::newRow("resolution 1") << QByteArray("@0R1\r") << "set Microstep Resolution 1";
    QTest::newRow("ramp down yes") << QByteArray("@0D1\r") << "set Ramp Down YES";
    QTest::newRow("ramp down no") << QByteArray("@0D0\r") << "set Ramp Down NO";
    QTest::newRow("analog on") << QByteArray("@0E1\r") << "set Analog Speed ON";
    QTest::newRow("analog off") << QByteArray("@0E0\r") << "set Analog Speed OFF";

    // Motion and stops.
    QTest::newRow("begin motion") << QByteArray("@0G1\r") << "Begin Motion, profile 1";
    QTest::newRow("begin motion, profile 4") << QByteArray("@3G4\r") << "Begin Motion, profile 4";
    QTest::newRow("soft stop") << QByteArray("@0S\r") << "Soft Limit stop";
    QTest::newRow("hard stop, address 12") << QByteArray("@12H\r") << "Hard Limit stop";

    // Identification and the axis lines.
    QTest::newRow("lone CR") << QByteArray("\r") << "wake up (lone CR)";
    QTest::newRow("model query") << QByteArray("@0$\r") << "read Model and Revision";
    QTest::newRow("address query") << QByteArray("@%\r") << "read Axis Address";
    QTest::newRow("address change") << QByteArray("@~12\r") << "set Axis Address 12";

    // Lines the program never writes.
    QTest::newRow("no CR") << QByteArray("@0VA1") << "";
    QTest::newRow("no address") << QByteArray("@VA1\r") << "";
    QTest::newRow("address only") << QByteArray("@0\r") << "";
    QTest::newRow("unknown command") << QByteArray("@0Z\r") << "";
    QTest::newRow("query of an unknown item") << QByteArray("@0VQ1\r") << "";
    QTest::newRow("parameter query without profile") << QByteArray("@0VA\r") << "";
    QTest::newRow("setting query with a profile") << QByteArray("@0V+1\r") << "";
    QTest::newRow("resolution 3") << QByteArray("@0R3\r") << "";
    QTest::newRow("send without underscore") << QByteArray("@0M15000\r") << "";
    QTest::newRow("begin motion without profile") << QByteArray("@0G\r") << "";
    QTest::newRow("stop with a value") << QByteArray("@0H1\r") << "";
    QTest::newRow("address change to nothing") << QByteArray("@~\r") << "";
    QTest::newRow("trailing LF") << QByteArray("@0S\r\n") << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("a reply") << QByteArray("5000\r") << "";
}

void TestLineMeaning::meaning()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, meaning);
    const std::optional<QString> found = lineMeaning(line);
    QCOMPARE(found.value_or(QStringLiteral("(none)")),
             meaning.isEmpty() ? QStringLiteral("(none)") : meaning);
}

void TestLineMeaning::displayText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("CR as the return sign") << QByteArray("@0VA1\r") << "@0VA1\u23CE";
    QTest::newRow("printable ASCII as it stands")
        << QByteArray(" ~KTRA20 1.07_") << " ~KTRA20 1.07_";
    QTest::newRow("LF, NUL, DEL and high bytes as hex")
        << QByteArray("a\n\0\x7F\xFF", 5) << "a\\x0A\\x00\\x7F\\xFF";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestLineMeaning::displayText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(lineDisplayText(bytes), text);
}

QTEST_APPLESS_MAIN(TestLineMeaning)
#include "tst_linemeaning.moc"
