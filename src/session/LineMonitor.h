#pragma once
// The line monitor: every line the link writes and every reply it reads, with
// the milliseconds since the port opened, the direction, the baud rate, the
// bytes as text and what a written line means. It is a table model (Qt Core),
// so the window shows it as it stands and the command-line trace prints the
// same lines.
//
// It stays small whatever the unit sends: it keeps the last Capacity lines and
// at most KeptBytes bytes of each. New lines reach the table in batches, at
// most one every BatchMs, so a flooding unit costs one insertion per batch,
// not one per reply, and the window keeps answering.

#include "link/SerialLink.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QTimer>

namespace ktv {

struct MonitorLine
{
    enum Direction { Written, Read, Note };
    qint64 ms = 0;
    QDateTime at; // the time of day, local
    Direction direction = Written;
    int baud = 0;
    QByteArray bytes;       // the first KeptBytes bytes of the line
    qsizetype fullSize = 0; // the line's size on the wire
    QString meaning;        // empty for replies and unknown lines; a note's text
};

class LineMonitor : public QAbstractTableModel
{
    Q_OBJECT
  public:
    static constexpr int Capacity = 10'000;
    static constexpr int KeptBytes = 256;
    static constexpr int BatchMs = 50;
    enum Column { TimeColumn, DirectionColumn, BaudColumn, TextColumn, MeaningColumn, ColumnCount };

    // Watches the link from now on.
    explicit LineMonitor(SerialLink &link, QObject *parent = nullptr);

    // A line as the link wrote or read it; the link's signals end here.
    void record(MonitorLine::Direction direction, const QByteArray &bytes, qint64 ms, int baud);

    // Paused, new lines are held (the last Capacity of them) and reach the
    // table when the monitor runs again.
    void setPaused(bool paused);
    bool isPaused() const { return paused_; }
    // Forgets every line, shown or held.
    void clear();
    // Hands held lines to the table now rather than at the next batch.
    void flush();

    const MonitorLine &line(int row) const { return lines_.at(row); }
    // "     512 ms  >    9600 baud  @0VA1⏎  read Accel/Decel, profile 1"
    static QString lineText(const MonitorLine &line);
    // The bytes as shown; a cut line ends with how much more it had.
    static QString displayText(const MonitorLine &line);
    static QString directionText(MonitorLine::Direction direction);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  signals:
    // Every line at once, as it is recorded (the trace prints from here).
    void recorded(const MonitorLine &line);

  private:
    SerialLink &link_;
    QElapsedTimer sinceOpened_;
    QList<MonitorLine> lines_;   // shown
    QList<MonitorLine> pending_; // not yet shown
    QTimer batch_;
    bool paused_ = false;
};

} // namespace ktv
