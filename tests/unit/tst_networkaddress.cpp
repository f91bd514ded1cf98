// A network line's address as the operator writes it, and the telnet COM
// port codec's bytes: what is refused, what goes out, what comes back.

#include "link/DeviceAddress.h"
#include "link/TelnetComPort.h"

#include <QTest>

using namespace ktv;

class TestNetworkAddress : public QObject
{
    Q_OBJECT
  private slots:
    void addresses_data();
    void addresses();
    void serverBytes_data();
    void serverBytes();
    void setLineAndEscaping();
};

void TestNetworkAddress::addresses_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("text"); // the address read back, or the problem
    QTest::addColumn<bool>("serversRate");

    QTest::newRow("local path") << "/dev/ttyUSB0"
                                << "/dev/ttyUSB0" << false;
    QTest::newRow("rfc2217") << "rfc2217://line3.plant:2217"
                             << "rfc2217://line3.plant:2217" << false;
    QTest::newRow("scheme in capitals, closing slash") << "SOCKET://10.0.0.7:4001/"
                                                       << "socket://10.0.0.7:4001" << true;
    QTest::newRow("IPv6") << "rfc2217://[::1]:7000"
                          << "rfc2217://[::1]:7000" << false;
    QTest::newRow("no port") << "rfc2217://host"
                             << "rfc2217://host: the port number is missing" << false;
    QTest::newRow("empty port") << "socket://host:"
                                << "socket://host:: the port number is missing" << false;
    QTest::newRow("port 0") << "socket://host:0"
                            << "socket://host:0: the port number is 1 to 65535" << false;
    QTest::newRow("port 65536") << "socket://host:65536"
                                << "socket://host:65536: the port number is 1 to 65535" << false;
    QTest::newRow("a path after the port")
        << "rfc2217://host:1/x"
        << "rfc2217://host:1/x: the address is HOST:PORT and nothing after it" << false;
    QTest::newRow("user and password")
        << "rfc2217://u:p@host:1"
        << "rfc2217://u:p@host:1: a line's address takes no user or password" << false;
    QTest::newRow("another scheme")
        << "telnet://host:23"
        << "telnet://host:23: a network line is rfc2217://HOST:PORT or socket://HOST:PORT" << false;
}

void TestNetworkAddress::addresses()
{
    QFETCH(QString, device);
    const Outcome<DeviceAddress> address = parseDeviceAddress(device);
    QTEST(address ? address->text() : address.problem(), "text");
    QTEST(rateIsTheServers(device), "serversRate");
}

void TestNetworkAddress::serverBytes_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces"); // as the network cuts them
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("rate"); // -1: none confirmed

    const QByteArray iac("\xff", 1);
    QTest::newRow("a reply") << QList<QByteArray>{"KTRA20  1.07\r"} << QByteArray("KTRA20  1.07\r")
                             << QByteArray() << -1;
    QTest::newRow("a doubled 255 is one data byte") << QList<QByteArray>{"a\xff", "\xff"
                                                                                  "b"}
                                                    << QByteArray("a\xff"
                                                                  "b")
                                                    << QByteArray() << -1;
    QTest::newRow("rate confirmed across pieces")
        << QList<QByteArray>{QByteArray("\xff\xfa,e\x00\x00", 6), QByteArray("p\x80\xff\xf0", 4)}
        << QByteArray() << QByteArray() << 28800;
    // The server offers echo (refused: our own bytes must not come back) and
    // binary (taken); options it asks of us that we do not know are refused.
    QTest::newRow("negotiation answered once")
        << QList<QByteArray>{QByteArray("\xff\xfb\x01\xff\xfb\x00\xff\xfd\x18", 9)} << QByteArray()
        << QByteArray("\xff\xfe\x01\xff\xfd\x00\xff\xfc\x18", 9) << -1;
    QTest::newRow("CR NUL without binary is CR")
        << QList<QByteArray>{QByteArray("1\r\x00", 3)} << QByteArray("1\r") << QByteArray() << -1;
}

void TestNetworkAddress::serverBytes()
{
    QFETCH(QList<QByteArray>, pieces);
    TelnetComPort line;
    QByteArray data;
    QByteArray answer;
    int rate = -1;
    for (const QByteArray &piece : pieces) {
        const TelnetComPort::Heard heard = line.feed(piece);
        data += heard.data;
        answer += heard.answer;
        if (heard.rateConfirmed)
            rate = static_cast<int>(*heard.rateConfirmed);
    }
    QTEST(data, "data");
    QTEST(answer, "answer");
    QTEST(rate, "rate");
}

void TestNetworkAddress::setLineAndEscaping()
{
    // 28800 baud, 8 data bits, no parity, one stop bit.
    QCOMPARE(TelnetComPort::setLine(28800), QByteArray("\xff\xfa,\x01\x00\x00p\x80\xff\xf0"
                                                       "\xff\xfa,\x02\x08\xff\xf0"
                                                       "\xff\xfa,\x03\x01\xff\xf0"
                                                       "\xff\xfa,\x04\x01\xff\xf0",
                                                       31));
    TelnetComPort line;
    QCOMPARE(line.opening(),
             QByteArray("\xff\xfb,\xff\xfb\x00\xff\xfb\x03\xff\xfd\x00\xff\xfd\x03", 15));
    // Before the server takes binary a CR goes as CR NUL; after, as it is.
    QCOMPARE(line.escape("@0$\r\xff"), QByteArray("@0$\r\x00\xff\xff", 7));
    (void)line.feed(QByteArray("\xff\xfd\x00", 3));
    QCOMPARE(line.escape("@0$\r"), QByteArray("@0$\r"));
}

QTEST_GUILESS_MAIN(TestNetworkAddress)
#include "tst_networkaddress.moc"
