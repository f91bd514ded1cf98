// The serial link on a pseudo-terminal whose other side the test drives
// byte by byte: opening and its failure texts, the reply reader's time limit
// and settling, the yielding wait, and the exact line rate.

#include "Workbench.h"

#include "link/SerialLink.h"
#include "protocol/SettingsText.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

using namespace ktv;

namespace {

// The far end of a line: the master side of a pseudo-terminal.
class FarEnd
{
  public:
    FarEnd()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        slavePath = QString::fromLocal8Bit(ptsname(master));
        // Keep the slave alive between the link's openings.
        keeper = ::open(ptsname(master), O_RDWR | O_NOCTTY);
    }
    ~FarEnd()
    {
        ::close(keeper);
        ::close(master);
    }
    void send(const QByteArray &bytes) const
    {
        QVERIFY(::write(master, bytes.constData(), bytes.size()) == bytes.size());
    }
    // Sends each piece after the given delay from now (ms).
    void sendLater(int ms, const QByteArray &bytes) const
    {
        QTimer::singleShot(ms, Qt::PreciseTimer, [this, bytes] { send(bytes); });
    }
    int master = -1;
    int keeper = -1;
    QString slavePath;
};

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void failureTexts_data();
    void failureTexts();
    void openingTwiceSaysAlreadyOpen();
    void missingDeviceCannotOpen();
    void settingsText_data();
    void settingsText();
    void rateReallyInForce_data();
    void rateReallyInForce();
    void readReplyTiming_data();
    void readReplyTiming();
    void completeReplyTiming_data();
    void completeReplyTiming();
    void silenceEndsAfterTheLimit();
    void waitSecondsYields();
    void stripCarriageReturns_data();
    void stripCarriageReturns();
    void writeToClosedPortIsRefused();

  private:
    std::unique_ptr<FarEnd> far;
    std::unique_ptr<SharedState> state;
    std::unique_ptr<SerialLink> link;
};

void TestSerialLink::init()
{
    far = std::make_unique<FarEnd>();
    state = std::make_unique<SharedState>();
    link = std::make_unique<SerialLink>(*state);
    link->setPortMap({{3, far->slavePath}});
}

void TestSerialLink::cleanup()
{
    link.reset();
    far.reset();
}

void TestSerialLink::failureTexts_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("alreadyOpen");
    QTest::addColumn<QString>("openFailed");
    const QString tail = QStringLiteral(" - The com port is already open by another device (mouse, "
                                        "modem, etc.) or it does not exist.");
    QTest::newRow("port 3") << 3 << "Com Port  3 is already open"
                            << "Error Opening Com Port 3" + tail;
    QTest::newRow("port 14") << 14 << "Com Port  14 is already open"
                             << "Error Opening Com Port 14" + tail;
    QTest::newRow("a negative number has its sign, no blank") << -2 << "Com Port -2 is already open"
                                                              << "Error Opening Com Port-2" + tail;
}

void TestSerialLink::failureTexts()
{
    QFETCH(int, port);
    QFETCH(QString, alreadyOpen);
    QFETCH(QString, openFailed);
    QCOMPARE(SerialLink::alreadyOpenText(port), alreadyOpen);
    QCOMPARE(SerialLink::openFailedText(port), openFailed);
}

void TestSerialLink::openingTwiceSaysAlreadyOpen()
{
    QVERIFY(link->OpenComPort(3, 9600));
    QCOMPARE(link->settings(), QStringLiteral("9600,N,8,1"));
    QCOMPARE(link->commPort(), 3);
    QVERIFY(!link->OpenComPort(3, 9600));
    QCOMPARE(state->MessageText, QStringLiteral("Com Port  3 is already open"));
    QCOMPARE(state->ConnectErrorText, state->MessageText);
    QVERIFY(link->PortOpen()); // left open and untouched
}

void TestSerialLink::missingDeviceCannotOpen()
{
    link->setPortMap({{7, QStringLiteral("/dev/ktv-no-such-device")}});
    state->MessageText = QStringLiteral("before");
    QVERIFY(!link->OpenComPort(7, 9600));
    QVERIFY(state->ConnectErrorText.startsWith(QStringLiteral("Error Opening Com Port 7 - ")));
    QCOMPARE(state->MessageText, QStringLiteral("before"));
    QVERIFY(!link->PortOpen());
    // No port configured (a broken store) fails the same way.
    QVERIFY(!link->OpenComPort(0, 9600));
    QVERIFY(state->ConnectErrorText.startsWith(QStringLiteral("Error Opening Com Port 0 - ")));
}

void TestSerialLink::settingsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << true << 9600 << int('N') << 8
                                << int(StopBits::One);
    QTest::newRow("115200,N,8,1") << "115200,N,8,1" << true << 115200 << int('N') << 8
                                  << int(StopBits::One);
    QTest::newRow("28800,e,7,2") << "28800,e,7,2" << true << 28800 << int('E') << 7
                                 << int(StopBits::Two);
    QTest::newRow("odd parity, 1.5 stop bits")
        << "4800,O,5,1.5" << true << 4800 << int('O') << 5 << int(StopBits::OneAndHalf);
    QTest::newRow("three fields") << "9600,N,8" << false << 0 << 0 << 0 << 0;
    QTest::newRow("rate not a number") << "fast,N,8,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("nine data bits") << "9600,N,9,1" << false << 0 << 0 << 0 << 0;
    QTest::newRow("unknown parity") << "9600,X,8,1" << false << 0 << 0 << 0 << 0;
}

void TestSerialLink::settingsText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto settings = parseSettingsText(text);
    QCOMPARE(settings.has_value(), valid);
    if (!valid)
        return;
    QTEST(settings->baudRate, "baud");
    QTEST(int(settings->parity), "parity");
    QTEST(int(settings->dataBits), "dataBits");
    QTEST(int(settings->stopBits), "stopBits");
}

void TestSerialLink::rateReallyInForce_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("settings");
    for (int baud : {9600, 28800, 38400, 115200})
        QTest::addRow("%d", baud) << baud << QString::number(baud) + QStringLiteral(",N,8,1");
}

// The rate the line really runs at, read back from the kernel; 28800 is not
// among the classic rates and must be set exactly all the same.
void TestSerialLink::rateReallyInForce()
{
    QFETCH(int, baud);
    QFETCH(QString, settings);
    QVERIFY(link->OpenComPort(3, baud));
    QCOMPARE(link->settings(), settings);
    QCOMPARE(link->baudRateInForce(), baud);
}

void TestSerialLink::readReplyTiming_data()
{
    QTest::addColumn<QList<int>>("delays"); // ms from the start of the read for each piece
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("firstRead");
    QTest::addColumn<QByteArray>("secondRead");
    QTest::newRow("12 characters at once") << QList<int>{0} << QList<QByteArray>{"KTRA20  1.07"}
                                           << QByteArray("KTRA20  1.07") << QByteArray();
    QTest::newRow("pieces 10 ms apart are read whole")
        << QList<int>{5, 15, 25} << QList<QByteArray>{"200", "00", "\r"} << QByteArray("20000\r")
        << QByteArray();
    QTest::newRow("a 30 ms pause splits the reply")
        << QList<int>{5, 35} << QList<QByteArray>{"100", "00\r"} << QByteArray("100")
        << QByteArray("00\r");
    QTest::newRow("a 60 ms pause splits the reply")
        << QList<int>{5, 65} << QList<QByteArray>{"100", "00\r"} << QByteArray("100")
        << QByteArray("00\r");
    QTest::newRow("the first character may come just before the limit")
        << QList<int>{80} << QList<QByteArray>{"1\r"} << QByteArray("1\r") << QByteArray();
}

void TestSerialLink::readReplyTiming()
{
    QFETCH(QList<int>, delays);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, firstRead);
    QFETCH(QByteArray, secondRead);
    QVERIFY(link->OpenComPort(3, 9600));
    for (int i = 0; i < pieces.size(); ++i)
        far->sendLater(delays[i], pieces[i]);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->ReadReply().toLatin1(), firstRead);
    // At least one settling step of 20 ms after the last character read.
    QVERIFY(clock.elapsed() >= 20);
    QTest::qWait(100);
    state->ConnectErrorText.clear();
    QCOMPARE(link->ReadReply().toLatin1(), secondRead);
}

void TestSerialLink::completeReplyTiming_data()
{
    QTest::addColumn<QList<int>>("delays"); // ms from the start of the read for each piece
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QByteArray>("firstRead");
    QTest::addColumn<QByteArray>("secondRead");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs"); // 0: no upper bound
    QTest::newRow("a reply ending in CR is taken without the settling step")
        << QList<int>{5} << QList<QByteArray>{"5000\r"} << QByteArray("5000\r") << QByteArray() << 5
        << 20;
    QTest::newRow("pieces 10 ms apart are read up to the CR")
        << QList<int>{5, 15, 25} << QList<QByteArray>{"200", "00", "\r"} << QByteArray("20000\r")
        << QByteArray() << 25 << 0;
    QTest::newRow("a reply without its CR is waited for up to 1 s, then given as it is")
        << QList<int>{5} << QList<QByteArray>{"100"} << QByteArray("100") << QByteArray() << 1000
        << 1400;
    QTest::newRow("a 90 ms pause before the CR is waited out")
        << QList<int>{5, 95} << QList<QByteArray>{"100", "00\r"} << QByteArray("10000\r")
        << QByteArray() << 95 << 400;
    QTest::newRow("a reply 400 ms late is read whole, at once")
        << QList<int>{400} << QList<QByteArray>{"500\r"} << QByteArray("500\r") << QByteArray()
        << 400 << 600;
}

void TestSerialLink::completeReplyTiming()
{
    QFETCH(QList<int>, delays);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QByteArray, firstRead);
    QFETCH(QByteArray, secondRead);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);
    QVERIFY(link->OpenComPort(3, 9600));
    for (int i = 0; i < pieces.size(); ++i)
        far->sendLater(delays[i], pieces[i]);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->readCompleteReply().text.toLatin1(), firstRead);
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= atLeastMs && (belowMs == 0 || ms < belowMs), qPrintable(QString::number(ms)));
    QTest::qWait(100);
    state->ConnectErrorText.clear();
    QCOMPARE(link->readCompleteReply(0.1).text.toLatin1(), secondRead);
}

void TestSerialLink::silenceEndsAfterTheLimit()
{
    QVERIFY(link->OpenComPort(3, 9600));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(link->ReadReply(), QString());
    const qint64 ns = clock.nsecsElapsed();
    QVERIFY2(ns > 100'000'000 && ns < 200'000'000, qPrintable(QString::number(ns)));
    QCOMPARE(state->ConnectErrorText,
             QStringLiteral("ERROR: There is no data in the serial port!"));
    // A closed port is as silent, and never blocks longer.
    link->closePort();
    clock.restart();
    QCOMPARE(link->ReadReply(), QString());
    QVERIFY(clock.elapsed() < 200);
}

void TestSerialLink::waitSecondsYields()
{
    bool handled = false;
    QTimer::singleShot(100, [&] { handled = true; });
    QElapsedTimer clock;
    clock.start();
    link->WaitSeconds(0.5);
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= 500 && ms < 800, qPrintable(QString::number(ms)));
    QVERIFY(handled);
    clock.restart();
    link->WaitSeconds(0);
    QVERIFY(clock.elapsed() < 20);
}

void TestSerialLink::stripCarriageReturns_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stripped");
    QTest::newRow("CR A B CR LF") << "\rAB\r\n"
                                  << "AB\n";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("only CRs") << "\r\r\r"
                              << "";
    QTest::newRow("longer than a 16-bit count")
        << QString(40000, QLatin1Char('x')) + QStringLiteral("\r")
        << QString(40000, QLatin1Char('x'));
}

void TestSerialLink::stripCarriageReturns()
{
    QFETCH(QString, text);
    QTEST(StripCarriageReturns(text), "stripped");
}

void TestSerialLink::writeToClosedPortIsRefused()
{
    QVERIFY(!link->write("@0G1\r"));
    QVERIFY(link->OpenComPort(3, 9600));
    QVERIFY(link->write("@0G1\r"));
    char buffer[16] = {};
    // The kernel hands the line to the far end a moment later.
    QVERIFY(test::waitUntil(
        [&] {
            pollfd readable{far->master, POLLIN, 0};
            return ::poll(&readable, 1, 0) == 1;
        },
        2000));
    QCOMPARE(::read(far->master, buffer, sizeof buffer), 5);
    QCOMPARE(QByteArray(buffer, 5), QByteArray("@0G1\r"));
    // Once the program ends nothing more goes out.
    link->setEnding();
    QVERIFY(!link->write("@0H\r"));
    QVERIFY(!link->PortOpen());
}

QTEST_MAIN(TestSerialLink)
#include "tst_seriallink.moc"
