// What the panels show for the unit's replies.

#include "protocol/ReplyDecoding.h"

#include <QTest>

using namespace ktv;

class TestReplyDecoding : public QObject
{
    Q_OBJECT

  private slots:
    void firstCharacterFields_data();
    void firstCharacterFields();
    void rampDown_data();
    void rampDown();
};

void TestReplyDecoding::firstCharacterFields_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QString>("onOff");
    QTest::addColumn<int>("resolution");
    QTest::addColumn<Option>("resolutionButton");

    QTest::newRow("1 is CW, ON, setting 1") << "1"
                                            << "CW"
                                            << "ON" << 1 << Option::Res1;
    QTest::newRow("0 is CCW, OFF, setting 8") << "0"
                                              << "CCW"
                                              << "OFF" << 8 << Option::Res8;
    QTest::newRow("empty reply is CCW, OFF, setting 8") << ""
                                                        << "CCW"
                                                        << "OFF" << 8 << Option::Res8;
    QTest::newRow("16 microsteps select setting 1") << "16"
                                                    << "CW"
                                                    << "ON" << 1 << Option::Res1;
    QTest::newRow("2 selects setting 2") << "2"
                                         << "CCW"
                                         << "OFF" << 2 << Option::Res2;
    QTest::newRow("4 selects setting 4") << "4"
                                         << "CCW"
                                         << "OFF" << 4 << Option::Res4;
    QTest::newRow("8 selects setting 8") << "8"
                                         << "CCW"
                                         << "OFF" << 8 << Option::Res8;
    QTest::newRow("32 reads its first character") << "32"
                                                  << "CCW"
                                                  << "OFF" << 8 << Option::Res8;
    QTest::newRow("leading blank hides the 1") << " 1"
                                               << "CCW"
                                               << "OFF" << 8 << Option::Res8;
    QTest::newRow("text after the first character is ignored") << "1xyz"
                                                               << "CW"
                                                               << "ON" << 1 << Option::Res1;
}

void TestReplyDecoding::firstCharacterFields()
{
    QFETCH(QString, reply);
    QFETCH(QString, direction);
    QFETCH(QString, onOff);
    QFETCH(int, resolution);
    QCOMPARE(decode::direction(reply), direction);
    QCOMPARE(decode::onOff(reply), onOff);
    QCOMPARE(decode::resolutionSetting(reply), resolution);
    QFETCH(Option, resolutionButton);
    QCOMPARE(decode::resolutionOption(decode::resolutionSetting(reply)), resolutionButton);
}

void TestReplyDecoding::rampDown_data()
{
    QTest::addColumn<Model>("model");
    QTest::addColumn<QString>("rawReply");
    QTest::addColumn<QString>("shown");

    // KTRA10 and KTRA20 read the whole reply as a number.
    QTest::newRow("KTRA10 1 CR is YES") << Model::KTRA10 << "1\r"
                                        << "YES";
    QTest::newRow("KTRA10 1.0 is YES") << Model::KTRA10 << "1.0"
                                       << "YES";
    QTest::newRow("KTRA10 blanks, tabs and line ends around 1") << Model::KTRA10 << " \t1 \r\n"
                                                                << "YES";
    QTest::newRow("KTRA20 +1 is YES") << Model::KTRA20 << "+1\r"
                                      << "YES";
    QTest::newRow("KTRA20 0.1e1 is YES") << Model::KTRA20 << "0.1e1"
                                         << "YES";
    QTest::newRow("KTRA10 0 is NO") << Model::KTRA10 << "0\r"
                                    << "NO";
    QTest::newRow("KTRA10 2 is NO") << Model::KTRA10 << "2"
                                    << "NO";
    QTest::newRow("KTRA10 10 is NO although it starts with 1") << Model::KTRA10 << "10\r"
                                                               << "NO";
    QTest::newRow("KTRA20 -1 is NO") << Model::KTRA20 << "-1"
                                     << "NO";
    QTest::newRow("KTRA20 1.5 is NO") << Model::KTRA20 << "1.5"
                                      << "NO";
    QTest::newRow("KTRA10 empty reply is NO") << Model::KTRA10 << ""
                                              << "NO";
    QTest::newRow("KTRA10 CR alone is NO") << Model::KTRA10 << "\r"
                                           << "NO";
    QTest::newRow("KTRA10 text is NO") << Model::KTRA10 << "abc"
                                       << "NO";
    QTest::newRow("KTRA20 number followed by text is NO") << Model::KTRA20 << "1abc"
                                                          << "NO";
    QTest::newRow("KTRA20 blank inside the number is NO") << Model::KTRA20 << "1 0"
                                                          << "NO";
    QTest::newRow("KTRA20 two signs is NO") << Model::KTRA20 << "+-1"
                                            << "NO";
    QTest::newRow("KTRA20 exponent without digits is NO") << Model::KTRA20 << "1e"
                                                          << "NO";
    QTest::newRow("KTRA20 hexadecimal is NO") << Model::KTRA20 << "0x1"
                                              << "NO";
    QTest::newRow("KTRA20 huge exponent is NO") << Model::KTRA20 << "1e999"
                                                << "NO";
    // KTRA30 looks at the first character only.
    QTest::newRow("KTRA30 1 CR is YES") << Model::KTRA30 << "1\r"
                                        << "YES";
    QTest::newRow("KTRA30 10 is YES") << Model::KTRA30 << "10"
                                      << "YES";
    QTest::newRow("KTRA30 1abc is YES") << Model::KTRA30 << "1abc"
                                        << "YES";
    QTest::newRow("KTRA30 1.0 is YES") << Model::KTRA30 << "1.0"
                                       << "YES";
    QTest::newRow("KTRA30 leading blank is NO") << Model::KTRA30 << " 1"
                                                << "NO";
    QTest::newRow("KTRA30 empty reply is NO") << Model::KTRA30 << ""
                                              << "NO";
    QTest::newRow("KTRA30 0 is NO") << Model::KTRA30 << "0"
                                    << "NO";
}

void TestReplyDecoding::rampDown()
{
    QFETCH(Model, model);
    QFETCH(QString, rawReply);
    QFETCH(QString, shown);
    QCOMPARE(decode::rampDown(model, rawReply), shown);
}

QTEST_GUILESS_MAIN(TestReplyDecoding)
#include "tst_replydecoding.moc"
