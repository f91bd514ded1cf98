#pragma once
// The parameter sheet commands of ktraveld-cli (save, load, diff) and the
// change journal's (history). They run on the tool's connected session and
// fill its text and JSON output; messages go through the tool so that they
// reach stderr and the JSON document alike.

#include "cli/CliOutput.h"
#include "session/SheetOperations.h"

#include <QJsonObject>
#include <QString>

namespace ktv {
class UnitSession;
}

namespace ktv::cli {

// What the sheet commands need of the tool that runs them.
class UnitHost
{
  public:
    virtual ~UnitHost() = default;
    // Opens the line and identifies the unit: ExitDone or the exit code.
    virtual int connectUnit() = 0;
    virtual UnitSession &unitSession() = 0;
    // The unit as it named itself; valid once connectUnit is done.
    virtual UnitDescription unitDescription() const = 0;
    virtual QString unitLine() const = 0;
    virtual QJsonObject unitJson() const = 0;
    // A message for the operator: one line on stderr, kept with its code for
    // the JSON document.
    virtual void tell(const QString &text, const QString &code = code::Message) = 0;
};

class SheetCommands
{
  public:
    SheetCommands(UnitHost &host, QString &text, QJsonObject &json)
        : host_(host), text_(text), json_(json)
    {
    }

    int save(const QString &path);
    // A dry run opens no port: it checks the sheet against its own model and
    // shows the lines a load would write to the given axis.
    int load(const QString &path, bool dryRun, const QString &axis);
    int diff(const QString &path);
    int history(const QString &journalPath, const QString &unitModel);

  private:
    std::optional<ParameterSheet> readSheet(const QString &path);
    int dryRun(const QString &path, const ParameterSheet &sheet, const QString &axis);
    // The table and its JSON; ExitNotHeld unless every value is held.
    int showComparison(const std::vector<SheetComparisonRow> &rows);

    UnitHost &host_;
    QString &text_;
    QJsonObject &json_;
};

} // namespace ktv::cli
