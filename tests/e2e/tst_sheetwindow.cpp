// Unit settings and the change history as the operator meets them in the
// window: Save, a changed value, Compare with the difference marked, Load
// with its confirmation and the table afterwards; Cancel in the progress
// dialog; a sheet the unit would not take; and writing an earlier value back
// from Change History.

#include "Wire.h"
#include "Workbench.h"

#include "ui/ChangeHistoryDialog.h"
#include "ui/SheetCompareDialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;
using namespace ktv::test::wire;

using Lines = QList<QByteArray>;

namespace {

// Runs act on the modal window of that name once it is shown and active
// (and the condition holds); gives up after 30 s (and closes whatever modal
// window is up). A watch that must not outlive its test is deleted there.
QPointer<QTimer> whenActive(
    const QString &name, const std::function<void(QWidget *)> &act,
    const std::function<bool()> &condition = [] { return true; })
{
    auto *timer = new QTimer;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, name, act, condition] {
        QWidget *dialog = QApplication::activeModalWidget();
        const bool ready = dialog && dialog->objectName() == name && dialog->isVisible() &&
                           dialog->isActiveWindow() && condition();
        if (!ready && clock.elapsed() < 30000)
            return;
        timer->stop();
        timer->deleteLater();
        if (ready)
            act(dialog);
        else if (dialog)
            dialog->close();
    });
    timer->start(10);
    return timer;
}

void click(QWidget *dialog, const QString &button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
}

void answer(QWidget *box, QMessageBox::StandardButton button)
{
    QTest::mouseClick(static_cast<QMessageBox *>(box)->button(button), Qt::LeftButton);
}

struct Shown
{
    QString text;
    QStringList rows; // "Field|Sheet|Unit", "*" first when highlighted
};

Shown comparison(QWidget *widget)
{
    auto *dialog = static_cast<SheetCompareDialog *>(widget);
    Shown shown{dialog->summary()->text(), {}};
    QAbstractItemModel *model = dialog->table()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 3; ++column)
            cells << model->index(row, column).data().toString();
        const bool marked = model->index(row, 0).data(Qt::BackgroundRole).value<QBrush>() ==
                            QBrush(QColor(255, 214, 214));
        shown.rows << (marked ? QStringLiteral("*") : QString()) + cells.join(QLatin1Char('|'));
    }
    return shown;
}

struct Ktra20
{
    bool start()
    {
        if (!bench.connect())
            return false;
        bench.window->show();
        sheet = bench.dir.filePath(QStringLiteral("unit.json"));
        bench.window->setFileChooser([this](SheetFileUse) { return sheet; });
        return QTest::qWaitForWindowActive(bench.window.get());
    }
    void trigger(const QString &action) { bench.find<QAction>(action)->trigger(); }
    void send(ParamKey key, const QString &text)
    {
        bench.box(Model::KTRA20, key)->setText(text);
        bench.window->pressSend(Model::KTRA20, key);
    }
    UnitOnLine rig{Model::KTRA20};
    Workbench bench{rig};
    QString sheet;
};

// The unit's settings when it starts, as every comparison table lists them.
QStringList unitRows(const QString &max1, const QString &rampDown)
{
    auto row = [](const QString &field, const QString &sheet, const QString &unit) {
        return (sheet == unit ? QString() : QStringLiteral("*")) + field + QLatin1Char('|') +
               sheet + QLatin1Char('|') + unit;
    };
    return {row("Profile 1, Accel/Decel", "10", "10"),
            row("Profile 1, Base Speed", "500", "500"),
            row("Profile 1, Max Speed", "5000", max1),
            row("Profile 1, Lower Analog Speed", "1000", "1000"),
            row("Profile 1, Upper Analog Speed", "20000", "20000"),
            row("Profile 2, Accel/Decel", "110", "110"),
            row("Profile 2, Base Speed", "600", "600"),
            row("Profile 2, Max Speed", "5100", "5100"),
            row("Profile 2, Lower Analog Speed", "1100", "1100"),
            row("Profile 2, Upper Analog Speed", "20100", "20100"),
            row("Reduced Current", "off", "off"),
            row("Microstep Resolution", "8", "8"),
            row("Ramp Down", "no", rampDown),
            row("Analog Speed", "off", "off")};
}

// The lines of a load of the unit's first settings: every value, then the read-back.
const Lines LoadLines =
    Lines{"@0A1_10\r",  "@0B1_500\r", "@0M1_5000\r", "@0L1_1000\r", "@0U1_20000\r",
          "@0A2_110\r", "@0B2_600\r", "@0M2_5100\r", "@0L2_1100\r", "@0U2_20100\r",
          "@0E0\r",     "@0C0\r",     "@0R8\r",      "@0D0\r"} +
    Ktra20SheetQueries;

} // namespace

class TestSheetWindow : public QObject
{
    Q_OBJECT
  private slots:
    void saveCompareLoadCompare();
    void progressHardLimitAndEsc();
    void compareRefusesAnotherModelsSheet();
    void cancelStopsAfterTheValueInHand_data();
    void cancelStopsAfterTheValueInHand();
    void refusedSheetSendsNothing_data();
    void refusedSheetSendsNothing();
    void sheetActionsNeedAUnit();
    void historyWritesBackTheEarlierValue();
    void writeBackIsOff_data();
    void writeBackIsOff();
};

void TestSheetWindow::saveCompareLoadCompare()
{
    Ktra20 k;
    QVERIFY(k.start());

    k.trigger(QStringLiteral("mnuSaveSettings"));
    QCOMPARE(k.rig.unit.receivedBytes(), Ktra20SheetQueries);
    QVERIFY(fileBytes(k.sheet).contains("\"max-speed\": \"5000\""));
    QCOMPARE(k.bench.window->statusBar()->currentMessage(),
             QStringLiteral("Unit settings saved to ") + k.sheet);

    k.send(ParamKey::Max, QStringLiteral("5200"));
    k.bench.window->selectOption(Model::KTRA20, Option::RampDownYes);
    k.rig.unit.clearRecord();

    Shown before;
    QString copied;
    whenActive(QStringLiteral("SheetCompare"), [&](QWidget *dialog) {
        before = comparison(dialog);
        QTableView *table = static_cast<SheetCompareDialog *>(dialog)->table();
        table->selectRow(2);
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        copied = QGuiApplication::clipboard()->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    k.trigger(QStringLiteral("mnuCompareSettings"));
    QCOMPARE(before.text, QStringLiteral("2 values differ"));
    QCOMPARE(before.rows, unitRows("5200", "yes"));
    QCOMPARE(copied, QStringLiteral("Field\tSheet\tUnit\nProfile 1, Max Speed\t5000\t5200\n"));
    QCOMPARE(k.rig.unit.receivedBytes(), Ktra20SheetQueries);
    k.rig.unit.clearRecord();

    // The operator was in the Max box, which still holds 5200.
    QLineEdit *max = k.bench.box(Model::KTRA20, ParamKey::Max);
    k.bench.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(k.bench.window.get()));
    max->setFocus(Qt::TabFocusReason);
    QCOMPARE(QApplication::focusWidget(), max);
    QTest::qWait(800); // whatever box was left before has sent by now
    k.rig.unit.clearRecord();
    QString question;
    Shown after;
    whenActive(QStringLiteral("SheetConfirm"), [&](QWidget *box) {
        question = static_cast<QMessageBox *>(box)->text();
        whenActive(QStringLiteral("SheetCompare"), [&](QWidget *dialog) {
            after = comparison(dialog);
            click(dialog, QStringLiteral("cmdClose"));
        });
        answer(box, QMessageBox::Yes);
    });
    k.trigger(QStringLiteral("mnuLoadSettings"));
    QCOMPARE(question,
             QStringLiteral("Load 14 values from unit.json into the KTRA20 at address 0?"));
    QCOMPARE(after.text, QStringLiteral("All values match"));
    QCOMPARE(after.rows, unitRows("5000", "no"));
    // The panel reads back what the unit now holds, boxes included.
    QCOMPARE(k.rig.unit.receivedBytes(), LoadLines + verifyQueries(Model::KTRA20));
    QCOMPARE(max->text(), QStringLiteral("5000"));
    QCOMPARE(k.bench.box(Model::KTRA20, ParamKey::Base)->text(), QStringLiteral("500"));
    QCOMPARE(k.bench.recorder.texts(), QStringList{});

    // Leaving the box sends what it shows: the loaded value, not the old 5200.
    k.rig.unit.clearRecord();
    k.bench.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(k.bench.window.get()));
    QTRY_COMPARE(QApplication::focusWidget(), max);
    QTest::qWait(300); // the focus coming back sends nothing, not even late
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{});
    k.bench.box(Model::KTRA20, ParamKey::Lower)->setFocus(Qt::TabFocusReason);
    QVERIFY(k.rig.unit.waitForLineCount(1));
    QTest::qWait(700); // nothing follows the one line
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{"@0M1_5000\r"});
}

// Save asks value after value in a window-modal progress dialog: its Hard
// Limit button stops the motor between two queries with the panel's own
// line, and Esc then cancels the save.
void TestSheetWindow::progressHardLimitAndEsc()
{
    Ktra20 k;
    QVERIFY(k.start());
    k.rig.unit.clearRecord();

    qsizetype before = -1;
    QString caption;
    whenActive(
        QStringLiteral("SheetProgress"),
        [&](QWidget *dialog) {
            auto *hardLimit = dialog->findChild<QPushButton *>(QStringLiteral("cmdHardLimit"));
            caption = hardLimit->text();
            before = k.rig.unit.receivedBytes().size();
            QTest::mouseClick(hardLimit, Qt::LeftButton);
            QTest::keyClick(dialog, Qt::Key_Escape);
        },
        [&] { return k.rig.unit.receivedBytes().size() >= 2; });
    k.trigger(QStringLiteral("mnuSaveSettings"));
    QTest::qWait(300); // nothing follows the Hard Limit

    QCOMPARE(caption, QStringLiteral("&Hard Limit"));
    QVERIFY(before >= 2 && before < Ktra20SheetQueries.size());
    const QList<ReceivedLine> lines = k.rig.unit.received();
    QCOMPARE(bytesOf(lines), Ktra20SheetQueries.mid(0, before) + Lines{"@0H\r"});
    QCOMPARE(lines.last().baud, 9600);
    QCOMPARE(k.bench.window->statusBar()->currentMessage(),
             QStringLiteral("Save cancelled: %1 was not written.").arg(k.sheet));
    QVERIFY(!QFile::exists(k.sheet));
    QCOMPARE(k.bench.recorder.texts(), QStringList{});
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(k.bench.state.UnitConnected);
}

// A sheet for another model is refused as Load refuses it, before the unit
// is asked anything.
void TestSheetWindow::compareRefusesAnotherModelsSheet()
{
    Ktra20 k;
    QVERIFY(k.start());
    ParameterSheet other;
    other.unitModel = QStringLiteral("KTRA10");
    other.revision = QStringLiteral("1.07");
    other.axis = QStringLiteral("0");
    other.saved = QDateTime::currentDateTimeUtc();
    for (int number = 1; number <= 4; ++number)
        other.profiles.push_back({number,
                                  {{ParamKey::Accel, QStringLiteral("10")},
                                   {ParamKey::Base, QStringLiteral("500")},
                                   {ParamKey::Max, QStringLiteral("5000")}}});
    for (SettingGroup group : settingGroups(other.unitModel))
        other.settings.emplace(group, settingWords(group).first());
    const QByteArray bytes = writeParameterSheet(other);
    {
        QFile file(k.sheet);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QVERIFY(readSheetFile(k.sheet).sheet);
    k.rig.unit.clearRecord();
    const QPointer<QTimer> watch =
        whenActive(QStringLiteral("SheetCompare"), [](QWidget *d) { d->close(); });

    k.trigger(QStringLiteral("mnuCompareSettings"));
    QTest::qWait(300); // nothing reaches the line, not even late

    delete watch.data();
    QCOMPARE(k.bench.recorder.texts(),
             QStringList{QStringLiteral("%1 cannot be loaded into the KTRA20; nothing was sent:\n\n"
                                        "This sheet is for a KTRA10 and cannot be loaded into a "
                                        "KTRA20.")
                             .arg(k.sheet)});
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{});
    QCOMPARE(fileBytes(k.sheet), bytes);
}

void TestSheetWindow::cancelStopsAfterTheValueInHand_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Esc") << "esc";
    QTest::newRow("close box") << "close";
}

void TestSheetWindow::cancelStopsAfterTheValueInHand()
{
    QFETCH(QString, how);
    Ktra20 k;
    QVERIFY(k.start());
    k.trigger(QStringLiteral("mnuSaveSettings"));
    k.rig.unit.clearRecord();

    QString label;
    whenActive(QStringLiteral("SheetConfirm"), [&](QWidget *box) {
        // Once the second value's line is out, while its wait runs.
        whenActive(
            QStringLiteral("SheetProgress"),
            [&](QWidget *dialog) {
                label = dialog->findChild<QLabel *>()->text();
                if (how == QLatin1String("esc"))
                    QTest::keyClick(dialog, Qt::Key_Escape);
                else if (how == QLatin1String("close"))
                    dialog->close();
                else
                    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("cmdCancel")),
                                      Qt::LeftButton);
            },
            [&] { return k.rig.unit.receivedBytes().size() >= 2; });
        answer(box, QMessageBox::Yes);
    });
    QElapsedTimer clock;
    clock.start();
    k.trigger(QStringLiteral("mnuLoadSettings"));

    QCOMPARE(label, QStringLiteral("Writing Profile 1, Base Speed"));
    // Then the panel shows what the unit holds after the two writes.
    const Lines heard = Lines{"@0A1_10\r", "@0B1_500\r"} + verifyQueries(Model::KTRA20);
    QVERIFY(k.rig.unit.waitForLineCount(int(heard.size())));
    QTest::qWait(300); // nothing follows the read-back
    QCOMPARE(k.rig.unit.receivedBytes(), heard);
    QCOMPARE(k.bench.window->statusBar()->currentMessage(),
             QStringLiteral("Load cancelled after 2 of 14 values."));
    QCOMPARE(k.bench.recorder.texts(), QStringList{});
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void TestSheetWindow::refusedSheetSendsNothing_data()
{
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    QTest::addColumn<QString>("message");
    QTest::newRow("out of range")
        << QByteArray("\"max-speed\": \"5100\"") << QByteArray("\"max-speed\": \"50001\"")
        << QStringLiteral("%1 cannot be loaded into the KTRA20; nothing was sent:\n\n"
                          "Profile 2, Max Speed: Waring: The Max Speed upper limit is 50,000");
    QTest::newRow("another model")
        << QByteArray("\"KTRA20\"") << QByteArray("\"KTRA10\"")
        << QStringLiteral("%1 is damaged: it holds 2 profiles; a KTRA10 keeps 4.");
    QTest::newRow("damaged") << QByteArray("\"profiles\"") << QByteArray("\"profiles")
                             << QStringLiteral("%1 is damaged or incomplete: missing "
                                               "name separator at character 257.");
}

void TestSheetWindow::refusedSheetSendsNothing()
{
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QFETCH(QString, message);
    Ktra20 k;
    QVERIFY(k.start());
    k.trigger(QStringLiteral("mnuSaveSettings"));
    QByteArray bytes = fileBytes(k.sheet);
    QVERIFY(bytes.contains(from));
    bytes.replace(from, to);
    {
        QFile file(k.sheet);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    k.rig.unit.clearRecord();
    bool asked = false;
    const QPointer<QTimer> watch = whenActive(QStringLiteral("SheetConfirm"), [&](QWidget *box) {
        asked = true;
        answer(box, QMessageBox::No);
    });

    k.trigger(QStringLiteral("mnuLoadSettings"));
    QTest::qWait(300); // nothing reaches the line, not even late

    delete watch.data();
    QCOMPARE(k.bench.recorder.texts(), QStringList{message.arg(k.sheet)});
    QVERIFY(!asked);
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{});
    QCOMPARE(fileBytes(k.sheet), bytes);
}

void TestSheetWindow::sheetActionsNeedAUnit()
{
    const QString notConnected = QStringLiteral(
        "There in no unit connected!  \r\n\r\nA unit must be ONLINE before you can send any "
        "information. \r\nGo to the Setup Menu to configure the Com Port and CONNECT to the "
        "unit.");
    Ktra20 k;
    QVERIFY(k.start());
    k.bench.window->pressDisconnect();
    k.rig.unit.clearRecord();
    bool chosen = false;
    k.bench.window->setFileChooser([&](SheetFileUse) {
        chosen = true;
        return k.sheet;
    });

    for (const char *action : {"mnuSaveSettings", "mnuLoadSettings", "mnuCompareSettings"})
        k.trigger(QString::fromLatin1(action));

    QCOMPARE(k.bench.recorder.texts(), (QStringList{notConnected, notConnected, notConnected}));
    QVERIFY(!chosen);
    QVERIFY(!QFile::exists(k.sheet));
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{});
}

void TestSheetWindow::historyWritesBackTheEarlierValue()
{
    Ktra20 k;
    QVERIFY(k.start());
    k.send(ParamKey::Max, QStringLiteral("5200"));
    QVERIFY(waitUntil([&] { return QFile::exists(k.bench.journalPath); }));
    k.rig.unit.clearRecord();

    QStringList rowsBefore, rowsAfter, units;
    bool enabled = false;
    QString question;
    auto tableRows = [](QTableView *table) {
        QStringList out;
        QAbstractItemModel *model = table->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 2; column < model->columnCount(); ++column)
                cells << model->index(row, column).data().toString();
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    };
    whenActive(QStringLiteral("ChangeHistory"), [&](QWidget *widget) {
        auto *dialog = static_cast<ChangeHistoryDialog *>(widget);
        rowsBefore = tableRows(dialog->table());
        for (int i = 0; i < dialog->unitFilter()->count(); ++i)
            units << dialog->unitFilter()->itemText(i);
        dialog->table()->selectRow(0);
        enabled = dialog->writeBackButton()->isEnabled();
        whenActive(QStringLiteral("SheetConfirm"), [&](QWidget *box) {
            question = static_cast<QMessageBox *>(box)->text();
            answer(box, QMessageBox::Yes);
        });
        QTest::mouseClick(dialog->writeBackButton(), Qt::LeftButton);
        rowsAfter = tableRows(dialog->table());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    k.trigger(QStringLiteral("mnuChangeHistory"));

    // Id and time left out.
    QCOMPARE(units, (QStringList{"All", "KTRA20"}));
    QCOMPARE(rowsBefore,
             QStringList{"KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|5000|5200|confirmed"});
    QVERIFY(enabled);
    QCOMPARE(question,
             QStringLiteral("Write 5000 back to Profile 1, Max Speed of the KTRA20 at address 0?"));
    // Then the panel reads the unit back into its boxes.
    QCOMPARE(k.rig.unit.receivedBytes(),
             (Ktra20SheetQueries + Lines{"@0M1_5000\r", "@0VM1\r"} + verifyQueries(Model::KTRA20)));
    QCOMPARE(k.bench.box(Model::KTRA20, ParamKey::Max)->text(), QStringLiteral("5000"));
    QCOMPARE(rowsAfter,
             (QStringList{"KTRA20|1.07|0|max-speed|1|5000|@0M1_5000\\r|5200|5000|confirmed",
                          "KTRA20|1.07|0|max-speed|1|5200|@0M1_5200\\r|5000|5200|confirmed"}));
    QCOMPARE(k.bench.window->statusBar()->currentMessage(),
             QStringLiteral("Profile 1, Max Speed: 5000 written back"));
    QCOMPARE(k.bench.recorder.texts(), QStringList{});
}

void TestSheetWindow::writeBackIsOff_data()
{
    QTest::addColumn<int>("rowsWritten"); // by a Send (then Disconnect), or a row not asked
    QTest::addColumn<QStringList>("units");
    QTest::addColumn<QString>("modelShown");
    // A journal nothing was written to yet: an empty table, and no file made.
    QTest::newRow("no journal yet") << 0 << QStringList{"All"} << "";
    QTest::newRow("the row's unit not connected") << 1 << QStringList{"All", "KTRA20"} << "KTRA20";
    // Selecting it asks the unit at the axis nothing either.
    QTest::newRow("the row's unit not asked, at the axis in use")
        << 2 << QStringList{"All"} << "not asked";
}

void TestSheetWindow::writeBackIsOff()
{
    QFETCH(int, rowsWritten);
    QFETCH(QStringList, units);
    QFETCH(QString, modelShown);
    const bool sent = rowsWritten > 0;
    Ktra20 k;
    QVERIFY(k.start());
    if (rowsWritten == 1) {
        k.send(ParamKey::Max, QStringLiteral("5200"));
        QVERIFY(waitUntil([&] { return QFile::exists(k.bench.journalPath); }));
        k.bench.window->pressDisconnect();
    } else if (rowsWritten == 2) {
        JournalEntry entry;
        entry.time = QDateTime::currentDateTimeUtc();
        entry.axis = k.bench.state.AxisAddress = QStringLiteral("7");
        entry.field = QStringLiteral("max-speed");
        entry.profile = QStringLiteral("1");
        entry.value = QStringLiteral("5200");
        entry.after = entry.value;
        entry.line = "@7M1_5200\r";
        entry.before = QStringLiteral("5000");
        entry.verdict = JournalVerdict::Confirmed;
        QString problem;
        QVERIFY2(k.bench.journal.append(entry, &problem), qPrintable(problem));
    }
    k.rig.unit.clearRecord();

    int rows = -1;
    bool enabled = true;
    QStringList shownUnits;
    QString shownModel;
    whenActive(QStringLiteral("ChangeHistory"), [&](QWidget *widget) {
        auto *dialog = static_cast<ChangeHistoryDialog *>(widget);
        rows = dialog->table()->model()->rowCount();
        for (int i = 0; i < dialog->unitFilter()->count(); ++i)
            shownUnits << dialog->unitFilter()->itemText(i);
        shownModel = dialog->table()->model()->index(0, 2).data().toString();
        dialog->table()->selectRow(0);
        enabled = dialog->writeBackButton()->isEnabled();
        QTest::mouseClick(dialog->writeBackButton(), Qt::LeftButton);
        click(dialog, QStringLiteral("cmdClose"));
    });
    k.trigger(QStringLiteral("mnuChangeHistory"));

    QCOMPARE(rows, sent ? 1 : 0);
    QCOMPARE(shownUnits, units);
    QCOMPARE(shownModel, modelShown);
    QVERIFY(!enabled);
    QCOMPARE(QFile::exists(k.bench.journalPath), sent);
    QTest::qWait(300); // nothing reaches the line, not even late
    QCOMPARE(k.rig.unit.receivedBytes(), Lines{});
    QCOMPARE(k.bench.recorder.texts(), QStringList{});
}

QTEST_MAIN(TestSheetWindow)
#include "tst_sheetwindow.moc"
