// Recognising the unit from its answer to "$".

#include "protocol/IdentityReply.h"

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
};

void TestIdentityReply::recognised_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<Model>("panel");
    QTest::addColumn<QString>("versionText");
    QTest::addColumn<bool>("isVeld50");

    QTest::newRow("KTRA10") << "KTRA10  1.00\r" << Model::KTRA10 << "Version: KTRA10, Revision 1.00"
                            << false;
    QTest::newRow("KTRA20 revision 1.07")
        << "KTRA20  1.07" << Model::KTRA20 << "Version: KTRA20, Revision 1.07" << false;
    QTest::newRow("KTRA30") << "KTRA30  3.10" << Model::KTRA30 << "Version: KTRA30, Revision 3.10"
                            << false;
    QTest::newRow("VELD10") << "VELD10  1.02" << Model::VELD10 << "Version: VELD10, Revision 1.02"
                            << false;
    QTest::newRow("VELD20") << "VELD20  2.01" << Model::VELD20 << "Version: VELD20, Revision 2.01"
                            << false;
    QTest::newRow("VELD30") << "VELD30  3.00" << Model::VELD30 << "Version: VELD30, Revision 3.00"
                            << false;
    QTest::newRow("VELD40 is served by the VELD30 panel, shows its own id")
        << "VELD40  2.00" << Model::VELD30 << "Version: VELD40, Revision 2.00" << false;
    QTest::newRow("VELD50 is served by the VELD30 panel and flagged")
        << "VELD50  4.11" << Model::VELD30 << "Version: VELD50, Revision 4.11" << true;
    QTest::newRow("exactly the six id characters: nothing after Revision")
        << "VELD20" << Model::VELD20 << "Version: VELD20, Revision " << false;
    QTest::newRow("revision cut short takes what exists")
        << "KTRA20xy1.0" << Model::KTRA20 << "Version: KTRA20, Revision 1.0" << false;
    QTest::newRow("long revision area: positions 9-12 only")
        << "KTRA30  1.2345678\r" << Model::KTRA30 << "Version: KTRA30, Revision 1.23" << false;
    QTest::newRow("positions 7-8 are not read")
        << "VELD10AB9.99" << Model::VELD10 << "Version: VELD10, Revision 9.99" << false;
    QTest::newRow("CR inside the revision area is kept")
        << "KTRA10  1.0\r" << Model::KTRA10 << "Version: KTRA10, Revision 1.0\r" << false;
}

void TestIdentityReply::recognised()
{
    QFETCH(QString, reply);
    QFETCH(Model, panel);
    QFETCH(QString, versionText);
    QFETCH(bool, isVeld50);

    const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
    QVERIFY(identity.has_value());
    QCOMPARE(identity->panel, panel);
    QCOMPARE(identity->versionText, versionText);
    QCOMPARE(identity->isVeld50, isVeld50);
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

QTEST_GUILESS_MAIN(TestIdentityReply)
#include "tst_identityreply.moc"
