#include "session/LineMonitor.h"

#include "protocol/LineMeaning.h"

namespace ktv {

namespace {

// The rate the link's settings name: what the program set, exact also for
// 28800, and no system call per line.
int settingsBaud(const SerialLink &link)
{
    return link.settings().section(QLatin1Char(','), 0, 0).toInt();
}

} // namespace

LineMonitor::LineMonitor(SerialLink &link, QObject *parent)
    : QAbstractTableModel(parent), link_(link)
{
    batch_.setSingleShot(true);
    batch_.setInterval(BatchMs);
    connect(&batch_, &QTimer::timeout, this, &LineMonitor::flush);
    connect(&link_, &SerialLink::portOpened, this, [this] { sinceOpened_.start(); });
    const auto stamp = [this](MonitorLine::Direction direction, const QByteArray &bytes) {
        record(direction, bytes, sinceOpened_.isValid() ? sinceOpened_.elapsed() : 0,
               settingsBaud(link_));
    };
    connect(&link_, &SerialLink::lineWritten, this,
            [stamp](const QByteArray &bytes) { stamp(MonitorLine::Written, bytes); });
    connect(&link_, &SerialLink::replyRead, this,
            [stamp](const QByteArray &bytes) { stamp(MonitorLine::Read, bytes); });
    // Why a question is asked again: a line of its own, nothing on the wire.
    connect(&link_, &SerialLink::noted, this, [this](const QString &text) {
        record(MonitorLine::Note, text.toUtf8(),
               sinceOpened_.isValid() ? sinceOpened_.elapsed() : 0, settingsBaud(link_));
    });
}

void LineMonitor::record(MonitorLine::Direction direction, const QByteArray &bytes, qint64 ms,
                         int baud)
{
    MonitorLine line;
    line.ms = ms;
    line.at = QDateTime::currentDateTime();
    line.direction = direction;
    line.baud = baud;
    // A copy of the first bytes only: the rest of a long reply is not kept.
    line.bytes = QByteArray(bytes.constData(), std::min<qsizetype>(bytes.size(), KeptBytes));
    line.fullSize = bytes.size();
    if (direction == MonitorLine::Written)
        line.meaning = lineMeaning(bytes).value_or(QString());
    if (direction == MonitorLine::Note) {
        line.meaning = QString::fromUtf8(bytes);
        line.bytes.clear();
        line.fullSize = 0;
    }
    emit recorded(line);
    if (pending_.size() >= Capacity)
        pending_.removeFirst();
    pending_.append(std::move(line));
    if (!paused_ && !batch_.isActive())
        batch_.start();
}

void LineMonitor::flush()
{
    batch_.stop();
    if (paused_ || pending_.isEmpty())
        return;
    // Only the newest Capacity lines of the batch and the table together stay.
    const qsizetype overflow = lines_.size() + pending_.size() - Capacity;
    if (overflow > 0) {
        const qsizetype dropped = std::min(overflow, lines_.size());
        beginRemoveRows({}, 0, static_cast<int>(dropped - 1));
        lines_.remove(0, dropped);
        endRemoveRows();
    }
    const qsizetype first = lines_.size();
    beginInsertRows({}, static_cast<int>(first), static_cast<int>(first + pending_.size() - 1));
    lines_.append(std::move(pending_));
    pending_.clear();
    endInsertRows();
}

void LineMonitor::setPaused(bool paused)
{
    paused_ = paused;
    if (!paused_)
        flush();
}

void LineMonitor::clear()
{
    batch_.stop();
    beginResetModel();
    lines_.clear();
    pending_.clear();
    endResetModel();
}

QString LineMonitor::directionText(MonitorLine::Direction direction)
{
    switch (direction) {
    case MonitorLine::Written:
        return QStringLiteral(">");
    case MonitorLine::Read:
        return QStringLiteral("<");
    case MonitorLine::Note:
        break;
    }
    return QStringLiteral("!");
}

QString LineMonitor::displayText(const MonitorLine &line)
{
    QString text = lineDisplayText(line.bytes);
    if (line.fullSize > line.bytes.size())
        text += QStringLiteral(" %1 (+%2 bytes)")
                    .arg(QChar(0x2026))
                    .arg(line.fullSize - line.bytes.size());
    return text;
}

QString LineMonitor::lineText(const MonitorLine &line)
{
    QString text = QStringLiteral("%1 ms  %2  %3 baud  %4")
                       .arg(line.ms, 8)
                       .arg(directionText(line.direction))
                       .arg(line.baud, 6)
                       .arg(displayText(line));
    if (!line.meaning.isEmpty())
        text += QStringLiteral("  ") + line.meaning;
    return text;
}

int LineMonitor::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int LineMonitor::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant LineMonitor::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= lines_.size())
        return {};
    const MonitorLine &line = lines_.at(index.row());
    if (role == Qt::TextAlignmentRole &&
        (index.column() == TimeColumn || index.column() == BaudColumn))
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case TimeColumn:
        return line.ms;
    case DirectionColumn:
        return directionText(line.direction);
    case BaudColumn:
        return line.baud;
    case TextColumn:
        return displayText(line);
    case MeaningColumn:
        return line.meaning;
    default:
        return {};
    }
}

QVariant LineMonitor::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const titles[] = {"Time (ms)", "Dir", "Baud", "Text", "Meaning"};
    if (section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(titles[section]);
}

} // namespace ktv
