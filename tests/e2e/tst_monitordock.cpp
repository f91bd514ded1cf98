// The Line Monitor dock as the operator uses it (opened from the View menu,
// the lines of a Verify with their meanings, filter, copy, save), and the
// scan progress line in the title window and the main window.

#include "Workbench.h"

#include "session/LineMonitor.h"
#include "ui/LineMonitorDock.h"
#include "ui/OpeningWindow.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace ktv;
using namespace ktv::test;

namespace {

// What the table shows in a row, columns joined by " | ", without the time.
QString shownRow(QTableView *table, int row)
{
    QStringList cells;
    for (int c = LineMonitor::DirectionColumn; c < LineMonitor::ColumnCount; ++c)
        cells << table->model()->index(row, c).data().toString();
    return cells.join(QStringLiteral(" | "));
}

QStringList shownRows(QTableView *table)
{
    QStringList rows;
    for (int r = 0; r < table->model()->rowCount(); ++r)
        rows << shownRow(table, r);
    return rows;
}

// A KTRA20 connected, the window shown and active, the monitor opened with
// its shortcut and then a Verify run.
bool verifyWithMonitorOpen(Workbench &bench)
{
    if (!bench.connect())
        return false;
    MainWindow &window = *bench.window;
    window.show();
    if (!QTest::qWaitForWindowActive(&window))
        return false;
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    if (!window.lineMonitorDock()->isVisible() || !window.mnuLineMonitor()->isChecked())
        return false;
    window.lineMonitorDock()->findChild<QPushButton *>(QStringLiteral("cmdMonitorClear"))->click();
    window.pressVerify(Model::KTRA20);
    return waitUntil([&] { return window.lineMonitorDock()->table()->model()->rowCount() == 20; });
}

// The save dialog once it is shown and active; none after 5 s.
QFileDialog *shownFileDialog()
{
    QFileDialog *dialog = nullptr;
    waitUntil([&] {
        dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        return dialog != nullptr;
    });
    if (dialog && !QTest::qWaitForWindowActive(dialog)) {
        dialog->reject();
        return nullptr;
    }
    return dialog;
}

} // namespace

class TestMonitorDock : public QObject
{
    Q_OBJECT
  private slots:
    void verifyShowsLinesAndMeanings();
    void filterCopyAndSave();
    void scanProgressInBothWindows();
};

void TestMonitorDock::verifyShowsLinesAndMeanings()
{
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(verifyWithMonitorOpen(bench));
    QTableView *table = bench.window->lineMonitorDock()->table();
    const QStringList rows = shownRows(table);
    QCOMPARE(rows.size(), 20);
    QCOMPARE(rows[0], QStringLiteral("> | 9600 | @0VA1\u23CE | read Accel/Decel, profile 1"));
    QCOMPARE(rows[1], QStringLiteral("< | 9600 | 10\u23CE | "));
    QCOMPARE(rows[18], QStringLiteral("> | 9600 | @0!\u23CE | read Error Code"));
    // Scrolled to the newest line.
    const QModelIndex last = table->model()->index(19, 0);
    QVERIFY(table->viewport()->rect().intersects(table->visualRect(last)));
    QVERIFY(bench.recorder.messages.isEmpty());
}

void TestMonitorDock::filterCopyAndSave()
{
    UnitOnLine rig(Model::KTRA20);
    Workbench bench(rig);
    QVERIFY(verifyWithMonitorOpen(bench));
    LineMonitorDock *dock = bench.window->lineMonitorDock();
    QTest::keyClicks(dock->filterBox(), QStringLiteral("speed"));
    QCOMPARE(shownRows(dock->table()),
             (QStringList{"> | 9600 | @0VB1\u23CE | read Base Speed, profile 1",
                          "> | 9600 | @0VM1\u23CE | read Max Speed, profile 1",
                          "> | 9600 | @0VL1\u23CE | read Lower Analog Speed, profile 1",
                          "> | 9600 | @0VU1\u23CE | read Upper Analog Speed, profile 1",
                          "> | 9600 | @0VE\u23CE | read Analog Speed"}));

    dock->table()->selectRow(1);
    dock->findChild<QPushButton *>(QStringLiteral("cmdMonitorCopy"))->click();
    const QString copied = QApplication::clipboard()->text();
    QVERIFY2(copied.endsWith(QStringLiteral(" ms  >    9600 baud  @0VM1\u23CE  read Max Speed, "
                                            "profile 1\n")),
             qPrintable(copied));
    QCOMPARE(copied.count(QLatin1Char('\n')), 1);
    // With the time of day, as the saved text has it.
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}  +\\d+ ms  >"))
                 .match(copied)
                 .hasMatch(),
             qPrintable(copied));
    // Ctrl+C in the table copies too, and is not Setup's Connect.
    dock->table()->setFocus();
    dock->table()->selectRow(2);
    QApplication::clipboard()->clear();
    QTest::keyClick(dock->table(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY2(QApplication::clipboard()->text().endsWith(
                 QStringLiteral(" ms  >    9600 baud  @0VL1\u23CE  read Lower Analog Speed, "
                                "profile 1\n")),
             qPrintable(QApplication::clipboard()->text()));
    QVERIFY(bench.state.UnitConnected);
    // Lines in sight by the half dozen, not three, on this 800x600 screen.
    QVERIFY2(dock->table()->viewport()->height() >= 6 * dock->table()->rowHeight(0),
             qPrintable(QString::number(dock->table()->viewport()->height())));

    // Save as Text, through its dialog: Esc there writes nothing (and is not
    // the window's stop key); Save writes the rows the filter shows.
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QTimer::singleShot(0, [&] {
        if (QFileDialog *dialog = shownFileDialog())
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QPushButton *save = dock->findChild<QPushButton *>(QStringLiteral("cmdMonitorSave"));
    save->click();
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    // The second time the operator takes the name offered, in the folder
    // the program runs in.
    const QString path = dir.filePath(QStringLiteral("line-monitor.txt"));
    QTimer::singleShot(0, [&] {
        if (QFileDialog *dialog = shownFileDialog())
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
    });
    save->click();
    const QStringList saved =
        QString::fromUtf8(fileBytes(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(saved.size(), 5);
    QVERIFY2(
        saved[4].endsWith(QStringLiteral(" ms  >    9600 baud  @0VE\u23CE  read Analog Speed")),
        qPrintable(saved[4]));
    QVERIFY(bench.recorder.messages.isEmpty());
    // The monitor writes nothing to the line.
    QVERIFY(rig.unit.waitForLineCount(10));
    QTest::qWait(200); // nothing follows the tenth line
    QCOMPARE(rig.unit.received().size(), 10);
}

// A KTRA20 at 28800: the scan tries 9600 first.
void TestMonitorDock::scanProgressInBothWindows()
{
    UnitOnLine rig(Model::KTRA20, 28800);
    QVERIFY(rig.started);
    Workbench bench(rig);
    OpeningWindow opening(*bench.window);
    QStringList seen;
    QObject::connect(bench.window.get(), &MainWindow::scanProgressShown, [&] {
        // After the window has taken the text.
        QTimer::singleShot(0, [&] {
            seen << QStringLiteral("%1 / %2 / %3")
                        .arg(opening.lblScanProgress()->text(),
                             bench.window->lblScanProgress()->text(),
                             bench.window->lblScanProgress()->isVisibleTo(bench.window.get())
                                 ? QStringLiteral("shown")
                                 : QStringLiteral("hidden"));
        });
    });
    opening.start();
    QVERIFY(bench.state.UnitConnected);
    QVERIFY(waitUntil([&] { return seen.size() == 3; }));
    const QString at9600 =
        QStringLiteral("Trying COM 1 (%1) at 9600 baud").arg(rig.unit.devicePath());
    const QString at28800 =
        QStringLiteral("Trying COM 1 (%1) at 28800 baud").arg(rig.unit.devicePath());
    QCOMPARE(seen, (QStringList{at9600 + " / " + at9600 + " / shown",
                                at28800 + " / " + at28800 + " / shown", " /  / hidden"}));
    QCOMPARE(bench.window->lblConnected()->text(), QStringLiteral("The Unit is Connected"));
}

QTEST_MAIN(TestMonitorDock)
#include "tst_monitordock.moc"
