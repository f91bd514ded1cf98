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
    void validReplies_data();
    void validReplies();
    void answersAndProblems_data();
    void answersAndProblems();
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

void TestReplyDecoding::validReplies_data()
{
    QTest::addColumn<Field>("field");
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("value"); // "-": no answer

    QTest::newRow("a number and its CR") << Field::Accel << "10000\r"
                                         << "10000";
    QTest::newRow("the error code is a number") << Field::ErrorCode << "0\r"
                                                << "0";
    QTest::newRow("direction 1") << Field::Direction << "1\r"
                                 << "1";
    QTest::newRow("reduced current 0") << Field::ReducedCurrent << "0\r"
                                       << "0";
    QTest::newRow("ramp down 1") << Field::RampDown << "1\r"
                                 << "1";
    QTest::newRow("resolution 4") << Field::Resolution << "4\r"
                                  << "4";
    QTest::newRow("half a number, no CR yet") << Field::Accel << "100"
                                              << "-";
    QTest::newRow("nothing") << Field::Max << ""
                             << "-";
    QTest::newRow("a lone CR") << Field::Max << "\r"
                               << "-";
    QTest::newRow("the rest of a split reply") << Field::Accel << "00\r"
                                               << "00";
    QTest::newRow("two replies at once") << Field::Base << "10000\r500\r"
                                         << "-";
    QTest::newRow("the end of one reply and the next") << Field::Direction << "00\r1\r"
                                                       << "-";
    QTest::newRow("a number with a blank") << Field::Max << " 5000\r"
                                           << "-";
    QTest::newRow("a number with a sign") << Field::Base << "+500\r"
                                          << "-";
    QTest::newRow("a decimal point") << Field::Base << "1.0\r"
                                     << "-";
    QTest::newRow("a line feed") << Field::Index << "5\r\n"
                                 << "-";
    QTest::newRow("drive option answer 77") << Field::ReducedCurrent << "77\r"
                                            << "-";
    QTest::newRow("direction 2") << Field::Direction << "2\r"
                                 << "-";
    QTest::newRow("analog speed 10") << Field::AnalogSpeed << "10\r"
                                     << "-";
    QTest::newRow("ramp down 1.0") << Field::RampDown << "1.0\r"
                                   << "-";
    QTest::newRow("resolution 16") << Field::Resolution << "16\r"
                                   << "-";
    QTest::newRow("resolution 3") << Field::Resolution << "3\r"
                                  << "-";
    QTest::newRow("noise") << Field::Accel << QString::fromLatin1("\xE9@\x01\r") << "-";
}

void TestReplyDecoding::validReplies()
{
    QFETCH(Field, field);
    QFETCH(QString, raw);
    QFETCH(QString, value);
    const std::optional<QString> got = decode::validReply(field, raw);
    QCOMPARE(got.value_or(QStringLiteral("-")), value);
}

// What one read holds: each unit's answer ends with its CR, so two pieces
// are two units; a reply that is no answer is named with what came.
void TestReplyDecoding::answersAndProblems_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QString>("problem");

    QTest::newRow("one answer") << "5000\r" << QStringList{"5000"} << "unreadable reply \"5000\"";
    QTest::newRow("two units answer")
        << "KTRA20  1.07\rVELD30  2.01\r" << QStringList{"KTRA20  1.07", "VELD30  2.01"}
        << "unreadable reply \"KTRA20  1.07⏎VELD30  2.01\"";
    QTest::newRow("no CR came") << "100" << QStringList{"100"} << "incomplete reply \"100\"";
    QTest::newRow("lone CRs hold nothing") << "\r\r" << QStringList{} << "unreadable reply \"⏎\"";
}

void TestReplyDecoding::answersAndProblems()
{
    QFETCH(QString, raw);
    QTEST(answersIn(raw), "answers");
    QTEST(replyProblemText(raw), "problem");
}

QTEST_GUILESS_MAIN(TestReplyDecoding)
#include "tst_replydecoding.moc"
