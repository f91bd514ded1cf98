// A unit that misbehaves: silent, late, in pieces, garbage, a flood, or gone
// in the middle of a run. Whatever it does, the program stays responsive,
// shows only its own texts, ends every run with its buttons enabled and Times
// at 0, and writes nothing the operator did not ask for.

#include "Texts.h"
#include "Wire.h"
#include "Workbench.h"

#include "ui/AxisDialogs.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

namespace {

// The longest time the event loop went without handling a timer event while
// the watched action ran: what an operator's click would have waited.
class Responsiveness
{
  public:
    Responsiveness()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { longestMs = std::max(longestMs, clock.restart()); });
        clock.start();
        timer.start();
    }
    qint64 longest()
    {
        timer.stop();
        return std::max(longestMs, clock.elapsed());
    }

  private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 longestMs = 0;
};

bool onlyOwnTexts(const QStringList &texts)
{
    for (const QString &text : texts) {
        if (text != DidNotConnectText &&
            text != QLatin1String("An Error occurred while trying to connect") &&
            !text.startsWith(QLatin1String("The connection to the unit was lost")) &&
            !text.startsWith(QLatin1String("Error Opening Com Port")))
            return false;
    }
    return true;
}

// Buttons are checked against their own page: a tab made unavailable while
// another model is connected disables its page, not the buttons.
void checkAtRest(Workbench &bench)
{
    QCOMPARE(bench.window->session().times(), 0);
    for (Model model : AllModels) {
        const Panel &panel = bench.panel(model);
        QVERIFY(panel.verify->isEnabledTo(panel.page));
        QVERIFY(panel.go()->isEnabledTo(panel.page));
    }
    QVERIFY(!isWaitCursorShown());
}

// Every line the unit heard is one of the allowed ones, in the allowed order
// (a prefix of it, when the unit vanished part-way).
void checkOnlyAsked(const QList<QByteArray> &heard, const QList<QByteArray> &asked)
{
    QVERIFY2(heard.size() <= asked.size(), qPrintable(QString::number(heard.size())));
    for (int i = 0; i < heard.size(); ++i)
        QCOMPARE(heard[i], asked[i]);
}

} // namespace

class TestHostileUnit : public QObject
{
    Q_OBJECT
  private slots:
    void identification_data();
    void identification();
    void verifyRunAndAxisQuery_data();
    void verifyRunAndAxisQuery();
};

static void addModes()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("extra");
    QTest::newRow("silent") << "silent" << QStringList();
    QTest::newRow("answering after the limit") << "slow" << QStringList{"--slow-ms", "150"};
    QTest::newRow("pieces 10 ms apart") << "split" << QStringList{"--split-gap", "10"};
    QTest::newRow("pieces 30 ms apart") << "split" << QStringList{"--split-gap", "30"};
    QTest::newRow("binary garbage") << "garbage" << QStringList();
    QTest::newRow("a 1 MB flood") << "flood" << QStringList();
    QTest::newRow("vanishing mid-run") << "normal" << QStringList{"--vanish-after", "3"};
}

void TestHostileUnit::identification_data()
{
    addModes();
}

void TestHostileUnit::identification()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, extra);
    UnitOnLine rig(Model::VELD30, 9600, QStringList{QStringLiteral("--mode"), mode} + extra);
    QVERIFY(rig.started);
    Workbench bench(rig);
    Responsiveness watch;
    bench.load();
    QVERIFY2(watch.longest() < 200, "the window kept handling events");
    QVERIFY2(onlyOwnTexts(bench.recorder.texts()), qPrintable(bench.recorder.texts().join('|')));
    checkAtRest(bench);
    const QList<QByteArray> heard = rig.unit.receivedAt(9600);
    if (bench.state.UnitConnected) {
        // Split replies are read whole: the unit was identified and read back.
        QCOMPARE(heard.mid(0, 3), Exchange);
        checkOnlyAsked(heard.mid(3), verifyQueries(Model::VELD30));
    } else {
        checkOnlyAsked(heard, Exchange);
        QVERIFY(!bench.link.PortOpen());
    }
}

void TestHostileUnit::verifyRunAndAxisQuery_data()
{
    addModes();
}

// The line is opened as a connection would leave it, then the VELD30 run and
// the axis query meet the unit's bad manners directly.
void TestHostileUnit::verifyRunAndAxisQuery()
{
    QFETCH(QString, mode);
    QFETCH(QStringList, extra);
    UnitOnLine rig(Model::VELD30, 9600, QStringList{QStringLiteral("--mode"), mode} + extra);
    QVERIFY(rig.started);
    Workbench bench(rig);
    bench.state.AxisAddress = QStringLiteral("0");
    bench.state.SelectedProfile = QStringLiteral("1");
    bench.state.ComPortNumber = 1;
    QVERIFY2(bench.link.OpenComPort(1, 9600),
             qPrintable(bench.link.lastOpenFailure() ? bench.link.lastOpenFailure()->device + ": " +
                                                           bench.link.lastOpenFailure()->systemError
                                                     : bench.state.ConnectErrorText));
    bench.state.UnitConnected = true;

    Responsiveness watch;
    QElapsedTimer clock;
    clock.start();
    bench.window->pressVerify(Model::VELD30);
    QVERIFY(!bench.window->session().profileUpdate());
    // Eight queries of at most 0.05 s + 0.1 s + settling each, and the flush.
    QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    checkAtRest(bench);

    AxisDefineDialog *define = bench.window->axisDefineDialog();
    bench.window->openAxisDefine();
    if (bench.link.PortOpen() || define->isLoaded())
        define->pressCancel();
    QVERIFY2(watch.longest() < 200, "the window kept handling events");
    QVERIFY2(onlyOwnTexts(bench.recorder.texts()), qPrintable(bench.recorder.texts().join('|')));
    checkAtRest(bench);

    // What the unit heard: the run's queries, then the address query and,
    // while the port was still open, the second run that closing starts.
    QList<QByteArray> asked = verifyQueries(Model::VELD30);
    asked << "@%\r" << verifyQueries(Model::VELD30);
    checkOnlyAsked(rig.unit.receivedBytes(), asked);
}

QTEST_MAIN(TestHostileUnit)
#include "tst_hostile.moc"
