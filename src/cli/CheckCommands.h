#pragma once
// The production line's commands of ktraveld-cli: check (a sheet in, proof
// that it took, a record kept) and results (the checks this bench has
// recorded). They run on the tool's connected session like the sheet
// commands and fill its text and JSON output.

#include "cli/SheetCommands.h"

#include <QJsonObject>
#include <QString>

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
};

class CheckCommands
{
  public:
    CheckCommands(UnitHost &host, QString &text, QJsonObject &json)
        : host_(host), text_(text), json_(json)
    {
    }

    int check(const QString &path, const CheckOptions &options, const QString &journalPath);
    // csv: comma-separated values instead of the table.
    int results(const QString &journalPath, const ResultsFilter &filter, bool csv);

  private:
    void show(const CheckReport &report);
    bool writeFiles(const CheckReport &report, const CheckOptions &options);

    UnitHost &host_;
    QString &text_;
    QJsonObject &json_;
};

} // namespace ktv::cli
