#include "ui/LineMonitorDock.h"

#include "session/LineMonitor.h"
#include "ui/Toolkit.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

namespace ktv {

namespace {

// The filter matches the text of a line or its meaning, in any case.
class LineFilter : public QSortFilterProxyModel
{
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setWanted(const QString &wanted)
    {
        wanted_ = wanted;
        invalidateRowsFilter();
    }

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &) const override
    {
        const QString &wanted = wanted_;
        if (wanted.isEmpty())
            return true;
        const auto &monitor = static_cast<const LineMonitor &>(*sourceModel());
        const MonitorLine &line = monitor.line(sourceRow);
        return LineMonitor::displayText(line).contains(wanted, Qt::CaseInsensitive) ||
               line.meaning.contains(wanted, Qt::CaseInsensitive);
    }

  private:
    QString wanted_;
};

QPushButton *button(const QString &caption, const QString &name, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}

} // namespace

LineMonitorDock::LineMonitorDock(LineMonitor &monitor, Toolkit &toolkit, QWidget *parent)
    : QDockWidget(QStringLiteral("Line Monitor"), parent), monitor_(monitor), toolkit_(toolkit)
{
    setObjectName(QStringLiteral("LineMonitor"));
    auto *body = new QWidget(this);
    auto *column = new QVBoxLayout(body);
    auto *row = new QHBoxLayout;
    pause_ = button(QStringLiteral("&Pause"), QStringLiteral("cmdMonitorPause"), body);
    pause_->setCheckable(true);
    auto *clear = button(QStringLiteral("C&lear"), QStringLiteral("cmdMonitorClear"), body);
    filter_ = new QLineEdit(body);
    filter_->setObjectName(QStringLiteral("txtMonitorFilter"));
    filter_->setPlaceholderText(QStringLiteral("Filter"));
    filter_->setAccessibleName(QStringLiteral("Filter"));
    filter_->setClearButtonEnabled(true);
    auto *copy = button(QStringLiteral("C&opy"), QStringLiteral("cmdMonitorCopy"), body);
    auto *save = button(QStringLiteral("Sa&ve as Text..."), QStringLiteral("cmdMonitorSave"), body);
    row->addWidget(pause_);
    row->addWidget(clear);
    row->addWidget(filter_, 1);
    row->addWidget(copy);
    row->addWidget(save);
    column->addLayout(row);

    auto *filter = new LineFilter(this);
    shown_ = filter;
    shown_->setSourceModel(&monitor_);
    table_ = new QTableView(body);
    table_->setObjectName(QStringLiteral("tblMonitor"));
    table_->setAccessibleName(QStringLiteral("Line Monitor"));
    table_->setModel(shown_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    // Rows of one height and no sizing to contents: ten thousand rows cost
    // what the visible ones cost.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setColumnWidth(LineMonitor::TimeColumn, 80);
    table_->setColumnWidth(LineMonitor::DirectionColumn, 36);
    table_->setColumnWidth(LineMonitor::BaudColumn, 60);
    table_->setColumnWidth(LineMonitor::TextColumn, 200);
    column->addWidget(table_);
    setWidget(body);

    table_->installEventFilter(this);

    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        monitor_.setPaused(paused);
        followNewest();
    });
    connect(clear, &QPushButton::clicked, &monitor_, &LineMonitor::clear);
    connect(filter_, &QLineEdit::textChanged, this, [this, filter](const QString &text) {
        filter->setWanted(text);
        followNewest();
    });
    connect(copy, &QPushButton::clicked, this, &LineMonitorDock::copySelection);
    connect(save, &QPushButton::clicked, this, &LineMonitorDock::saveAsText);
    connect(shown_, &QAbstractItemModel::rowsInserted, this, &LineMonitorDock::followNewest);
}

QSize LineMonitorDock::sizeHint() const
{
    const QSize shown = QDockWidget::sizeHint();
    const int rows = 12;
    const int wanted = shown.height() - table_->sizeHint().height() +
                       table_->horizontalHeader()->sizeHint().height() +
                       rows * table_->verticalHeader()->defaultSectionSize() +
                       2 * table_->frameWidth();
    return {shown.width(), std::max(shown.height(), wanted)};
}

bool LineMonitorDock::eventFilter(QObject *watched, QEvent *event)
{
    // Claimed before the shortcuts are looked at: the menu's Ctrl+C (Connect)
    // would otherwise take the key, or make it ambiguous and lost.
    if (watched == table_ &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        event->accept();
        if (event->type() == QEvent::KeyPress)
            copySelection();
        return true;
    }
    return QDockWidget::eventFilter(watched, event);
}

void LineMonitorDock::followNewest()
{
    if (!monitor_.isPaused())
        table_->scrollToBottom();
}

QString LineMonitorDock::shownText(bool selectedOnly) const
{
    QString text;
    const int rows = shown_->rowCount();
    const QItemSelectionModel *selection = table_->selectionModel();
    for (int r = 0; r < rows; ++r) {
        const QModelIndex index = shown_->index(r, 0);
        if (selectedOnly && !selection->isRowSelected(r, {}))
            continue;
        // The time of day as well: the milliseconds start again at every
        // opening of the port, and a support call asks "when".
        const MonitorLine &line = monitor_.line(shown_->mapToSource(index).row());
        text += line.at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz  ")) +
                LineMonitor::lineText(line) + QLatin1Char('\n');
    }
    return text;
}

void LineMonitorDock::copySelection()
{
    const QString text = shownText(true);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void LineMonitorDock::saveAsText()
{
    // Qt's own dialog: the same on every desktop, and reachable by tests.
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Line Monitor"), QStringLiteral("line-monitor.txt"),
        QStringLiteral("Text files (*.txt);;All files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty())
        saveTo(path);
}

bool LineMonitorDock::saveTo(const QString &path)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(shownText(false).toUtf8());
        if (file.commit())
            return true;
    }
    toolkit_.showMessage(
        MessageIcon::Exclamation,
        QStringLiteral("The lines could not be saved to %1: %2").arg(path, file.errorString()));
    return false;
}

} // namespace ktv
