#pragma once
// The production line's commands of ktraveld-cli: check (a sheet in, proof
// that it took, a record kept) and results (the checks this bench has
// recorded). They run on the tool's connected session like the sheet
// commands and fill its text and JSON output.

#include "cli/SheetCommands.h"

#include <QJsonObject>
#include <QString>
#include <vector>

namespace ktv {
struct CheckReport;
struct ResultsFilter;
} // namespace ktv

namespace ktv::cli {

struct CheckOptions
{
    bool load = false;
    QString reportPath; // --report, empty: none
    QString junitPath;  // --junit, empty: none
    QString station;    // empty: the host name
    QString operatorName;
    QString serial; // the unit's serial number, empty: none
};

class CheckCommands
{
  public:
    CheckCommands(UnitHost &host, QString &text, QJsonObject &json)
        : host_(host), text_(text), json_(json)
    {
    }

    int check(const QString &path, const CheckOptions &options, const QString &journalPath);
    // csv: comma-separated values instead of the table. With a serial
    // number in the filter, that unit's checks oldest first. filter.limit
    // is a page: when older checks follow, the time to give --before for
    // the next page is said (and in JSON, "next").
    int results(const QString &journalPath, const ResultsFilter &filter, bool csv);
    // results --yield (YieldCommands.cpp); by: "station", "day" or "field".
    int yield(const QString &journalPath, const ResultsFilter &filter, const QString &by, bool csv);

    // The plant's results server (ResultsServerCommands.cpp). With a
    // setting, check sends its result at once (and whatever waits), and
    // results reads the server; empty: this bench only.
    void setResultsSetting(const QString &setting) { resultsSetting_ = setting; }
    // Sends the results waiting on this bench; says what still waits.
    void sendWaitingResults(const QString &journalPath);
    // Keeps a check's result and, with a results server, sends it with what
    // waits; straight to the server when the journal cannot take it.
    void deliverResult(const QString &journalPath, const CheckReport &report);
    // results --sync: sends what waits and says how it went.
    int syncResults(const QString &journalPath);

  private:
    void show(const CheckReport &report);
    void printResults(const std::vector<CheckReport> &reports, const QString &source, bool server,
                      bool csv);
    // Sends what waits, then lists the server's checks.
    bool listFromServer(const QString &journalPath, const ResultsFilter &filter, bool csv);
    bool writeFiles(const CheckReport &report, const CheckOptions &options);

    UnitHost &host_;
    QString &text_;
    QJsonObject &json_;
    QString resultsSetting_;
    bool oldestFirst_ = false; // one unit's history reads in its order
    int pageSize_ = 0;         // 0: every check
};

} // namespace ktv::cli
