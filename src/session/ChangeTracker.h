#pragma once
// Watches the session's line and keeps the change journal: every line that
// changes the unit (a parameter, a drive option, a new axis address) becomes
// a row once the next read-back of that value tells whether the unit kept
// it. It learns the changes from the lines the program writes and the values
// from the exchange's proven answers, so it never puts a line of its own on
// the wire and a late reply never settles another change. A row names the
// model that answered at its axis; where nothing has asked it yet, the row
// leaves model and revision empty (null): not asked.
//
// A journal that cannot be written costs one warning per run; the work goes on.

#include "protocol/Models.h"
#include "store/Journal.h"
#include "store/JournalWriter.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <optional>
#include <vector>

namespace ktv {

class UnitSession;

class ChangeTracker : public QObject
{
    Q_OBJECT
  public:
    // journal may be null: the changes are only followed, not recorded.
    ChangeTracker(UnitSession &session, Journal *journal, QObject *parent = nullptr);
    ~ChangeTracker() override;

    // The unit at the axis the program talks to, as it named itself there;
    // asked through the exchange when the axis is new.
    QString unitModel() const;
    QString revision() const;

    // The window's rows go to a writer on a thread of its own (a journal
    // another program holds is waited for there); journal still names it.
    void writeOnThread(JournalWriter *writer);

    // Records every change still waiting for a read-back as not read back.
    void flush();

  signals:
    // A read-back showed another value than was written:
    // "Max Speed: sent 5000, the unit holds 4000".
    void notHeld(const QString &text);
    // The journal could not be written (once per run).
    void journalWarning(const QString &text);

  private:
    // A value of the unit: axis, field (sheet key or "axis"), profile.
    struct ValueKey
    {
        QString axis;
        QString field;
        QString profile;
        bool operator<(const ValueKey &other) const
        {
            return std::tie(axis, field, profile) <
                   std::tie(other.axis, other.field, other.profile);
        }
        bool operator==(const ValueKey &) const = default;
    };
    struct Query
    {
        ValueKey key;
        bool identity = false;
        QByteArray reply;
        Field field = Field::Accel; // the read-back field the query asks for
    };
    struct Pending
    {
        ValueKey key;
        QString caption;
        JournalEntry entry;
    };

    void onLineWritten(const QByteArray &bytes);
    void onAnswered(const QByteArray &question, const QString &reply);
    // The question a line asks: the value it reads; none for other lines.
    static std::optional<Query> queryOf(const QByteArray &bytes);
    void begin(Pending change);
    void finishQuery(const Query &query);
    void warnOnce(const QString &problem);
    void resolve(const ValueKey &key, const std::optional<QString> &shown);
    // A unit answered at this address: an axis define waiting for its
    // read-back is settled by it.
    void settleAxisDefine(const QString &address, const QString &model, const QString &revision);
    void record(Pending pending, const std::optional<QString> &after);
    bool sameValue(const ValueKey &key, const QString &written, const QString &shown) const;

    UnitSession &session_;
    Journal *journal_;
    JournalWriter *writer_ = nullptr;
    std::vector<Pending> pending_;
    QMap<ValueKey, QString> shown_;
    bool warned_ = false;
};

} // namespace ktv
