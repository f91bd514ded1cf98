#pragma once
// The results of the checks, kept in the change journal's database
// (journal.sqlite): one row per check in "checks" (its UUID, station,
// operator, the unit's identity, the sheet's name and SHA-256, the times
// and the verdict) and one per value in "check_values" (profile, field,
// sheet value, unit value, verdict). A check is recorded once under its
// UUID; "sent" stays null until the shared results server has it.

#include "protocol/CheckReport.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <vector>

namespace ktv {

struct ResultsFilter
{
    QString station;         // empty: every station
    QString unitModel;       // empty: every model; compared without case
    QDateTime since;         // invalid: from the first; else checks started at or after it
    bool failedOnly = false; // every verdict but pass
    QString serial;          // empty: every unit; else that serial number's checks only
    int limit = 0;           // at most this many, newest first; 0: all
    int offset = 0;          // after skipping this many of the newest
    bool unsentOnly = false; // this bench's journal: only those the server lacks
    QDateTime before{};      // invalid: up to the newest; else checks started before it
};

class CheckResults
{
  public:
    // busyMilliseconds: how long a write waits for a journal another
    // program holds; -1: the journal's own bound (Journal::BusyMilliseconds).
    explicit CheckResults(const QString &journalPath, int busyMilliseconds = -1);

    // Adds the check and its values in one transaction; a check already
    // recorded under its UUID is left as it is. On failure *problem says
    // why ("The change journal ... cannot be written: ...") and nothing is
    // kept.
    bool record(const CheckReport &report, QString *problem);
    // The checks the filter lets through, newest first. A journal that does
    // not exist yet holds none and is not made; one that cannot be read
    // gives none and *problem.
    // sent, when given, gets the time each listed check reached the server
    // (none for those still waiting).
    std::vector<CheckReport> list(const ResultsFilter &filter, QString *problem = nullptr,
                                  QHash<QUuid, QDateTime> *sent = nullptr) const;

    // The checks the results server does not have yet, oldest first.
    std::vector<CheckReport> waiting(QString *problem = nullptr) const;
    // Marks a check as on the server; called only after its commit there.
    bool markSent(const QUuid &id, QString *problem);

  private:
    std::vector<CheckReport> select(const QStringList &where, const QVariantList &binds,
                                    const QString &order, QString *problem,
                                    QHash<QUuid, QDateTime> *sent = nullptr) const;

    QString path_;
    int busyMilliseconds_;
};

} // namespace ktv
