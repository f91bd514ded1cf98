// Recognising the unit from its answer to "$".

#include "protocol/IdentityReply.h"
#include "protocol/UnitCatalogue.h"
#include "protocol/Vocabulary.h"

#include <QTest>

using namespace ktv;

class TestIdentityReply : public QObject
{
    Q_OBJECT

  private slots:
    void recognised_data();
    void recognised();
    void notRecognised_data();
    void notRecognised();
    void unitModelHolds_data();
    void unitModelHolds();
};

void TestIdentityReply::recognised_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Model>("panel");
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<QString>("unitModel");

    QTest::newRow("KTRA10") << "KTRA10  1.00\r" << Model::KTRA10 << "Version: KTRA10, Revision 1.00"
                            << "KTRA10";
    QTest::newRow("KTRA20 revision 1.07")
        << "KTRA20  1.07" << Model::KTRA20 << "Version: KTRA20, Revision 1.07"
        << "KTRA20";
    QTest::newRow("KTRA30") << "KTRA30  3.10" << Model::KTRA30 << "Version: KTRA30, Revision 3.10"
                            << "KTRA30";
    QTest::newRow("VELD10") << "VELD10  1.02" << Model::VELD10 << "Version: VELD10, Revision 1.02"
                            << "VELD10";
    QTest::newRow("VELD20") << "VELD20  2.01" << Model::VELD20 << "Version: VELD20, Revision 2.01"
                            << "VELD20";
    QTest::newRow("VELD30") << "VELD30  3.00" << Model::VELD30 << "Version: VELD30, Revision 3.00"
                            << "VELD30";
    QTest::newRow("VELD40 is served by the VELD30 panel, shows its own id")
        << "VELD40  2.00" << Model::VELD30 << "Version: VELD40, Revision 2.00"
        << "VELD40";
    QTest::newRow("VELD50 is served by the VELD30 panel and flagged")
        << "VELD50  4.11" << Model::VELD30 << "Version: VELD50, Revision 4.11"
        << "VELD50";
    QTest::newRow("exactly the six id characters: nothing after Revision")
        << "VELD20" << Model::VELD20 << "Version: VELD20, Revision "
        << "VELD20";
    QTest::newRow("revision cut short takes what exists")
        << "KTRA20xy1.0" << Model::KTRA20 << "Version: KTRA20, Revision 1.0"
        << "KTRA20";
    QTest::newRow("long revision area: positions 9-12 only")
        << "KTRA30  1.2345678\r" << Model::KTRA30 << "Version: KTRA30, Revision 1.23"
        << "KTRA30";
    QTest::newRow("positions 7-8 are not read")
        << "VELD10AB9.99" << Model::VELD10 << "Version: VELD10, Revision 9.99"
        << "VELD10";
    QTest::newRow("CR inside the revision area is kept")
        << "KTRA10  1.0\r" << Model::KTRA10 << "Version: KTRA10, Revision 1.0\r"
        << "KTRA10";
}

void TestIdentityReply::recognised()
{
    QFETCH(QString, reply);
    QFETCH(Model, panel);
    QFETCH(QString, versionText);
    QFETCH(QString, unitModel);

    const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
    QVERIFY(identity.has_value());
    QCOMPARE(identity->panel, panel);
    QCOMPARE(identity->versionText, versionText);
    QCOMPARE(identity->unitModel, unitModel);
}

void TestIdentityReply::notRecognised_data()
{
    QTest::addColumn<QString>("reply");

    QTest::newRow("empty") << "";
    QTest::newRow("single blank when nothing came") << " ";
    QTest::newRow("five characters") << "VELD2";
    QTest::newRow("lower case id") << "ktra20  1.07";
    QTest::newRow("mixed case id") << "Veld30  1.00";
    QTest::newRow("unknown model number") << "VELD60  1.00";
    QTest::newRow("unknown family") << "KTRA40  1.00";
    QTest::newRow("leading blank moves the id") << " KTRA10  1.00";
    QTest::newRow("leading CR moves the id") << "\rKTRA10  1.00";
    QTest::newRow("error code answer") << "0\r";
}

void TestIdentityReply::notRecognised()
{
    QFETCH(QString, reply);
    QVERIFY(!parseIdentityReply(reply).has_value());
}

// What each unit model keeps of the settings, looked up by its own name.
void TestIdentityReply::unitModelHolds_data()
{
    QTest::addColumn<QString>("unitModel");
    QTest::addColumn<QString>("panel"); // empty: no panel serves it
    QTest::addColumn<QStringList>("settings");

    const QStringList all{"direction", "reduced-current", "resolution", "ramp-down"};
    QTest::newRow("KTRA10") << "KTRA10"
                            << "KTRA10" << all;
    QTest::newRow("KTRA20: analog speed instead of a direction")
        << "KTRA20"
        << "KTRA20" << QStringList{"analog-speed", "reduced-current", "resolution", "ramp-down"};
    QTest::newRow("KTRA30: no resolution")
        << "KTRA30"
        << "KTRA30" << QStringList{"direction", "reduced-current", "ramp-down"};
    QTest::newRow("VELD10") << "VELD10"
                            << "VELD10"
                            << QStringList{"direction", "reduced-current", "resolution"};
    QTest::newRow("VELD20") << "VELD20"
                            << "VELD20" << QStringList{"direction", "reduced-current"};
    QTest::newRow("VELD30") << "VELD30"
                            << "VELD30" << QStringList{"direction", "resolution"};
    QTest::newRow("VELD40 keeps what a VELD30 keeps")
        << "VELD40"
        << "VELD30" << QStringList{"direction", "resolution"};
    QTest::newRow("VELD50 has no resolution") << "VELD50"
                                              << "VELD30" << QStringList{"direction"};
    QTest::newRow("lower case is no unit's name") << "veld50"
                                                  << "" << QStringList{};
    QTest::newRow("unknown model") << "VELD60"
                                   << "" << QStringList{};
}

void TestIdentityReply::unitModelHolds()
{
    QFETCH(QString, unitModel);
    const std::optional<Model> panel = panelOfUnitModel(unitModel);
    QTEST(panel ? modelId(*panel) : QString(), "panel");
    QStringList settings;
    for (Field field : {Field::Direction, Field::AnalogSpeed, Field::ReducedCurrent,
                        Field::Resolution, Field::RampDown})
        if (ktv::unitModelHolds(unitModel, field))
            settings << QString::fromLatin1(termOf(field).sheetKey);
    QTEST(settings, "settings");
}

QTEST_GUILESS_MAIN(TestIdentityReply)
#include "tst_identityreply.moc"
