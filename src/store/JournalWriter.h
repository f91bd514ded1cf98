#pragma once
// Writes the change journal's rows on a thread of its own, in the order they
// are given: a journal another program holds is waited for there, never on
// the window's thread nor on a station line's. A row that cannot be written
// is said through failed(), on the thread the writer was made on; a check's
// result is followed by what became of it.

#include "protocol/CheckReport.h"
#include "store/Journal.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QThread;

namespace ktv {

class JournalWriter : public QObject
{
    Q_OBJECT
  public:
    explicit JournalWriter(const QString &path, QObject *parent = nullptr);
    // Writes the rows already given, then ends its thread.
    ~JournalWriter() override;
    JournalWriter(const JournalWriter &) = delete;
    JournalWriter &operator=(const JournalWriter &) = delete;

    QString path() const { return path_; }
    // Returns at once; the row is written behind the ones before it.
    void append(const JournalEntry &entry);
    // A check's result (CheckResults::record), written behind the rows
    // given before it; then runs on the writer's own thread with whether it
    // was kept and, if not, why. Returns at once.
    void record(const CheckReport &report,
                std::function<void(bool recorded, const QString &problem)> then);

  signals:
    void failed(const QString &problem);

  private:
    QString path_;
    QThread *thread_;
    QObject *inThread_;                // lives on thread_
    std::unique_ptr<Journal> journal_; // used on thread_ only
};

} // namespace ktv
