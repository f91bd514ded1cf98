// results --yield: the first-pass and final yield and the retests, per
// station or day, or the failing fields ranked. From the results server's
// views when a server is set and answers, else from this bench's journal
// with the same arithmetic (store/ResultsYield.h).

#include "cli/CheckCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "protocol/CellText.h"
#include "session/ResultsDelivery.h"
#include "store/CheckResults.h"
#include "store/ResultsServer.h"
#include "store/ResultsYield.h"

#include <QJsonArray>
#include <cmath>

namespace ktv::cli {

namespace {

// 87.5 for 7 of 8; null for none.
QJsonValue share(int part, int whole)
{
    return whole > 0 ? QJsonValue(std::round(1000.0 * part / whole) / 10.0)
                     : QJsonValue(QJsonValue::Null);
}

QString csvShare(int part, int whole)
{
    return whole > 0 ? QString::number(100.0 * part / whole, 'f', 1) : QString();
}

// One group's figures as the JSON gives them.
QJsonObject yieldJson(const YieldFigures &y)
{
    return {{QStringLiteral("units"), y.units},
            {QStringLiteral("firstPass"), y.firstPassed},
            {QStringLiteral("firstPassYield"), share(y.firstPassed, y.units)},
            {QStringLiteral("finalPass"), y.finalPassed},
            {QStringLiteral("finalYield"), share(y.finalPassed, y.units)},
            {QStringLiteral("checks"), y.checks},
            {QStringLiteral("retests"), y.retests()}};
}

// The CSV lines, or the table, or what is said when there is nothing.
QString yieldText(bool csv, const QStringList &lines, const QList<QStringList> &rows, bool nothing,
                  const QString &nothingText)
{
    if (csv)
        return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    return nothing ? nothingText : table(rows);
}

} // namespace

int CheckCommands::yield(const QString &journalPath, const ResultsFilter &filter, const QString &by,
                         bool csv)
{
    const bool fields = by == QLatin1String("field");
    std::optional<std::vector<YieldFigures>> figures;
    std::optional<std::vector<FieldFailures>> failures;
    QString source;
    bool server = false;
    if (!resultsSetting_.isEmpty()) {
        // One server for the round and the figures: a server that does not
        // answer is waited for once.
        ResultsServer results(resultsSetting_);
        results.setProgress([this](const QString &text) { host_.tell(text, code::Notice); });
        ResultsDelivery delivery(journalPath, results);
        const Delivery round = delivery.sync(); // so that the server's figures hold them
        if (round.waiting > 0 && !results.connected()) {
            host_.tell(round.message +
                           QStringLiteral(" The checks recorded on this computer follow."),
                       code::ResultsUnavailable);
        } else {
            if (!round.message.isEmpty())
                host_.tell(round.message,
                           round.waiting > 0 ? code::ResultsWaiting : code::JournalWarning);
            QString problem;
            if (fields)
                failures = results.fieldFailures(filter, &problem);
            else
                figures = results.yieldFigures(filter, &problem);
            if (figures || failures) {
                source = results.serverName();
                server = true;
            } else {
                host_.tell(problem +
                               QStringLiteral(" The checks recorded on this computer follow."),
                           code::ResultsUnavailable);
            }
        }
    }
    if (!server) {
        QString problem;
        // Every check: a unit's first check may be older than the filter's.
        const std::vector<CheckReport> reports = CheckResults(journalPath).list({}, &problem);
        if (!problem.isEmpty()) {
            host_.tell(problem, code::JournalWarning);
            return ExitUsage;
        }
        if (fields)
            failures = failingFields(reports);
        else
            figures = yieldPerStationDay(reports);
        source = journalPath;
    }

    QJsonObject json{{server ? QStringLiteral("server") : QStringLiteral("journal"), source},
                     {QStringLiteral("by"), by}};
    if (fields) {
        const std::vector<RankedField> ranked = rankFields(*failures, filter);
        QList<QStringList> rows{
            {QStringLiteral("FIELD"), QStringLiteral("FAILURES"), QStringLiteral("CUMULATIVE")}};
        QStringList lines{QStringLiteral("field,failures,cumulative_percent")};
        QJsonArray array;
        for (const RankedField &field : ranked) {
            const QString cumulative = QString::number(field.cumulativePercent, 'f', 1);
            rows << QStringList{field.name, QString::number(field.failures),
                                cumulative + QStringLiteral(" %")};
            lines << QStringLiteral("%1,%2,%3")
                         .arg(csvCell(field.name))
                         .arg(field.failures)
                         .arg(cumulative);
            array.append(QJsonObject{{QStringLiteral("field"), field.name},
                                     {QStringLiteral("failures"), field.failures},
                                     {QStringLiteral("cumulativePercent"),
                                      std::round(10.0 * field.cumulativePercent) / 10.0}});
        }
        json.insert(QStringLiteral("fields"), array);
        json_ = json;
        text_ = yieldText(csv, lines, rows, ranked.empty(), QStringLiteral("No value failed.\n"));
        return ExitDone;
    }

    const bool byDay = by == QLatin1String("day");
    std::vector<YieldFigures> groups =
        yieldBy(*figures, byDay ? YieldBy::Day : YieldBy::Station, filter);
    const std::vector<YieldFigures> all = yieldBy(*figures, YieldBy::All, filter);
    const QString heading = byDay ? QStringLiteral("DAY") : QStringLiteral("STATION");
    QList<QStringList> rows{{heading, QStringLiteral("UNITS"), QStringLiteral("FIRST PASS"),
                             QStringLiteral("FPY"), QStringLiteral("FINAL PASS"),
                             QStringLiteral("FINAL YIELD"), QStringLiteral("CHECKS"),
                             QStringLiteral("RETESTS")}};
    QStringList lines{QStringLiteral("%1,units,first_pass,first_pass_yield,final_pass,final_yield,"
                                     "checks,retests")
                          .arg(byDay ? QStringLiteral("day") : QStringLiteral("station"))};
    QJsonArray array;
    auto add = [&](const QString &group, const YieldFigures &y, bool total) {
        rows << QStringList{group,
                            QString::number(y.units),
                            QString::number(y.firstPassed),
                            percentText(y.firstPassed, y.units),
                            QString::number(y.finalPassed),
                            percentText(y.finalPassed, y.units),
                            QString::number(y.checks),
                            QString::number(y.retests())};
        if (total)
            return;
        lines << QStringList{csvCell(group),
                             QString::number(y.units),
                             QString::number(y.firstPassed),
                             csvShare(y.firstPassed, y.units),
                             QString::number(y.finalPassed),
                             csvShare(y.finalPassed, y.units),
                             QString::number(y.checks),
                             QString::number(y.retests())}
                     .join(QLatin1Char(','));
        QJsonObject figures = yieldJson(y);
        figures.insert(byDay ? QStringLiteral("day") : QStringLiteral("station"), group);
        array.append(figures);
    };
    for (const YieldFigures &y : groups)
        add(byDay ? y.day.toString(Qt::ISODate) : y.station, y, false);
    if (!all.empty())
        add(QStringLiteral("All"), all.front(), true);
    json.insert(QStringLiteral("yield"), array);
    if (!all.empty())
        json.insert(QStringLiteral("all"), yieldJson(all.front()));
    json_ = json;
    text_ = yieldText(csv, lines, rows, groups.empty(), QStringLiteral("No unit was checked.\n"));
    return ExitDone;
}

} // namespace ktv::cli
