// The port doctor in the window: a port that does not open gets its usual
// message with the cause behind the box's details, and Communication
// Settings gives a COM number one of the ports present.

#include "Workbench.h"

#include "store/ConfigStore.h"
#include "ui/CommSettingsDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace ktv;
using namespace ktv::test;

namespace {

const QString ByIdLink =
    QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");

QList<PresentPort> twoAdapters()
{
    return {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"),
             QStringLiteral("FTDI"), QStringLiteral("A10K3XYZ"), ByIdLink},
            {QStringLiteral("/dev/ttyACM0"), QStringLiteral("USB Serial"),
             QStringLiteral("Arduino"), QString(), QString()}};
}

QStringList rowTexts(const QTreeWidgetItem *item)
{
    QStringList texts;
    for (int column = 0; column < item->columnCount(); ++column)
        texts << item->text(column);
    return texts;
}

// A click on the visible start of a row.
void clickAt(QWidget *viewport, const QRect &rect)
{
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(rect.left() + 8, rect.center().y()));
}

enum class Close { Ok, Cancel, Escape, CloseBox };

void closeBy(QDialog &dialog, Close how, QAbstractButton *ok, QAbstractButton *cancel)
{
    switch (how) {
    case Close::Ok:
        QTest::mouseClick(ok, Qt::LeftButton);
        break;
    case Close::Cancel:
        QTest::mouseClick(cancel, Qt::LeftButton);
        break;
    case Close::Escape:
        QTest::keyClick(&dialog, Qt::Key_Escape);
        break;
    case Close::CloseBox:
        dialog.close();
        break;
    }
}

} // namespace

class TestPortDoctor : public QObject
{
    Q_OBJECT
  private slots:
    void useForCom_data();
    void useForCom();
    void busyPortBoxOffersCause_data();
    void busyPortBoxOffersCause();
    void startupNamesTheCauseInStatusLine();
};

void TestPortDoctor::useForCom_data()
{
    QTest::addColumn<int>("close");
    QTest::addColumn<int>("storedComPort");
    QTest::addColumn<QString>("com3Opens"); // afterwards
    QTest::addColumn<QStringList>("messages");
    // Closing without OK undoes "Use for COM 3": its row goes again.
    QTest::newRow("Cancel") << int(Close::Cancel) << 1 << "/dev/ttyS2" << QStringList{};
    QTest::newRow("Esc") << int(Close::Escape) << 1 << "/dev/ttyS2" << QStringList{};
    QTest::newRow("close box") << int(Close::CloseBox) << 1 << "/dev/ttyS2" << QStringList{};
    QTest::newRow("OK also stores COM 3 as before")
        << int(Close::Ok) << 3 << ByIdLink
        << QStringList{QStringLiteral(
               "Changes will take effect the next time you connect.  To reconnect, click the "
               "Connect button or choose Connect from the Setup menu.  This will disconnect the "
               "unit and the program will attempt to reconnect with the new settings.")};
}

void TestPortDoctor::useForCom()
{
    QFETCH(int, close);
    QFETCH(int, storedComPort);
    QFETCH(QString, com3Opens);
    QFETCH(QStringList, messages);
    Workbench bench(QStringLiteral("/dev/ttyS0"));
    bench.session.LoadConfiguration();
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    setPortsPresentSource(twoAdapters);

    bool active = false;
    QString storeLabel;
    QList<QStringList> rows;
    QString buttonBefore;
    bool enabledBefore = true;
    QString buttonAfter;
    QString opensAfter;
    setCommSettingsHook([&](CommSettingsDialog &d) {
        active = QTest::qWaitForWindowActive(&d);
        if (!active) {
            d.reject();
            return;
        }
        storeLabel = d.storePathLabel()->text();
        for (int row = 0; row < d.portsPresent()->topLevelItemCount(); ++row)
            rows << rowTexts(d.portsPresent()->topLevelItem(row));
        QListWidget *comList = d.lstComPorts();
        clickAt(comList->viewport(), comList->visualItemRect(comList->item(2)));
        buttonBefore = d.btnUseForCom()->text();
        enabledBefore = d.btnUseForCom()->isEnabled();
        QTreeWidget *ports = d.portsPresent();
        clickAt(ports->viewport(), ports->visualItemRect(ports->topLevelItem(0)));
        buttonAfter = d.btnUseForCom()->text();
        QTest::mouseClick(d.btnUseForCom(), Qt::LeftButton);
        opensAfter = d.deviceLabel()->text();
        closeBy(d, Close(close), d.btnOK(), d.btnCancel());
    });
    bench.window->openCommSettings();
    setCommSettingsHook({});
    setPortsPresentSource({});

    QVERIFY(active);
    QCOMPARE(storeLabel, QStringLiteral("Settings are kept in ") + bench.storePath);
    QCOMPARE(rows,
             (QList<QStringList>{{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A10K3XYZ", ByIdLink},
                                 {"/dev/ttyACM0", "USB Serial", "Arduino", "", ""}}));
    QCOMPARE(buttonBefore, QStringLiteral("&Use for COM 3"));
    QVERIFY(!enabledBefore);
    QCOMPARE(buttonAfter, QStringLiteral("&Use for COM 3"));
    QCOMPARE(opensAfter, QStringLiteral("Opens ") + ByIdLink);
    // The row is in the store and in force only after OK, as is the COM number.
    const StoredConfiguration stored = readConfiguration(bench.storePath);
    QCOMPARE(stored.comPort, std::optional<int>(storedComPort));
    QMap<int, QString> map{{1, QStringLiteral("/dev/ttyS0")}};
    if (com3Opens == ByIdLink)
        map.insert(3, ByIdLink);
    QCOMPARE(stored.portMap, map);
    QCOMPARE(bench.link.deviceForPort(3), com3Opens);
    QCOMPARE(bench.recorder.texts(), messages);
    QVERIFY(!bench.link.PortOpen());
}

void TestPortDoctor::busyPortBoxOffersCause_data()
{
    QTest::addColumn<int>("close");
    QTest::newRow("OK") << int(Close::Ok);
    QTest::newRow("Esc") << int(Close::Escape);
    QTest::newRow("close box") << int(Close::CloseBox);
}

void TestPortDoctor::busyPortBoxOffersCause()
{
    QFETCH(int, close);
    // A line that another process (this test program, started as a holder)
    // uses as any serial program would: exclusively, with a lock file.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(master >= 0);
    QVERIFY(::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const QString line = QString::fromLocal8Bit(::ptsname(master));
    QProcess holder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KTV_HOLD_LINE"), line);
    holder.setProcessEnvironment(env);
    holder.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readLine(), QByteArray("held\n"));
    Workbench bench(line);
    bench.session.LoadConfiguration();
    bench.window->show();
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    const QByteArray storeBefore = fileBytes(bench.storePath);
    bench.window->toolkit().setMessageSink({}); // the real box

    bool active = false;
    bool closedByOperator = false;
    QString text;
    QString details;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        active = QTest::qWaitForWindowActive(box);
        text = box->text();
        details = box->detailedText();
        closeBy(*box, Close(close), box->button(QMessageBox::Ok), nullptr);
        closedByOperator = !box->isVisible();
        if (!closedByOperator)
            box->done(0); // so that a failure does not hang the test
    });
    poll.start(20);
    bench.window->pressConnect();
    poll.stop();
    const qint64 holderPid = holder.processId();
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));

    QVERIFY(active);
    QVERIFY(closedByOperator);
    QCOMPARE(text, QStringLiteral("Error Opening Com Port 1 - The com port is already open by "
                                  "another device (mouse, modem, etc.) or it does not exist."));
    QCOMPARE(details, QStringLiteral("Cause: the port is busy. %1 is held by tst_portdoctor (pid "
                                     "%2).\nFix: close tst_portdoctor (or end it: kill %2), then "
                                     "try again.")
                          .arg(line)
                          .arg(holderPid));
    QVERIFY(!bench.state.UnitConnected);
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    char byte = 0;
    QCOMPARE(::read(master, &byte, 1), ssize_t(-1)); // nothing reached the line
    ::close(master);
}

// A port that does not open at start-up: beside the unchanged message, the
// status line names the cause (for a user outside the port's group,
// "permission denied"). The tests run as root, whom no permission stops, so
// the cause here is a path that is no serial port.
void TestPortDoctor::startupNamesTheCauseInStatusLine()
{
    const QString device = QStringLiteral("/proc/sys/kernel/osrelease");
    Workbench bench(device);
    const QByteArray storeBefore = fileBytes(bench.storePath);
    const QByteArray deviceBefore = fileBytes(device);
    bench.load();
    QVERIFY(!bench.state.UnitConnected);
    QCOMPARE(bench.recorder.texts(),
             QStringList{QStringLiteral("The unit DID NOT CONNECT.  \r\rPlease check Com Port "
                                        "Setting, Cables and Power.")});
    QVERIFY2(bench.window->toolkit().lastDetails().startsWith(
                 QStringLiteral("Cause: not a serial port. ")),
             qPrintable(bench.window->toolkit().lastDetails()));
    QCOMPARE(bench.window->statusBar()->currentMessage(),
             QStringLiteral("COM 1 (/proc/sys/kernel/osrelease): not a serial port, see "
                            "Setup, Communication Settings"));
    QCOMPARE(fileBytes(bench.storePath), storeBefore);
    QCOMPARE(fileBytes(device), deviceBefore);
}

// Run with KTV_HOLD_LINE set, the program holds that line until its input ends.
int holdLine(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QSerialPort port(qEnvironmentVariable("KTV_HOLD_LINE"));
    if (!port.open(QIODevice::ReadWrite))
        return 2;
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("KTV_HOLD_LINE"))
        return holdLine(argc, argv);
    QApplication app(argc, argv);
    TestPortDoctor test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_portdoctor.moc"
