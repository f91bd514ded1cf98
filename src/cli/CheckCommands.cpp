#include "cli/CheckCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "protocol/CheckReportJson.h"
#include "protocol/JUnitReport.h"
#include "session/CheckRun.h"
#include "store/CheckResults.h"
#include "store/Journal.h"
#include "store/ResultsSetting.h"

#include <QJsonArray>
#include <QSaveFile>

namespace ktv::cli {

namespace {

// "Profile 1, Max Speed", "Ramp Down"
QString valueName(const CheckedValue &value)
{
    return value.profile > 0
               ? QStringLiteral("Profile %1, %2").arg(value.profile).arg(value.caption)
               : value.caption;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *problem)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    *problem = QStringLiteral("%1 cannot be written: %2.").arg(path, file.errorString());
    return false;
}

// A line or unit problem is 1, a value the unit does not hold 3.
int exitCodeOf(const CheckReport &report)
{
    switch (report.verdict) {
    case CheckVerdict::Pass:
        return ExitDone;
    case CheckVerdict::Refused:
        return ExitUsage;
    case CheckVerdict::Error:
        return ExitNoUnit;
    case CheckVerdict::Fail:
        break;
    }
    if (!report.problem.isEmpty() || report.count(ValueVerdict::NoAnswer) > 0 ||
        report.count(ValueVerdict::NotWritten) > 0)
        return ExitNoUnit;
    return ExitNotHeld;
}

// One CSV field: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

int CheckCommands::check(const QString &path, const CheckOptions &options,
                         const QString &journalPath)
{
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(path, &problem);
    if (!request) {
        host_.tell(problem, code::SheetUnreadable);
        return ExitUsage;
    }
    // A sheet no unit of its own kind takes is refused before the port opens.
    const std::vector<SheetRefusal> refusals =
        options.load ? validateParameterSheet(request->sheet, request->sheet.unitModel)
                     : sheetValueRefusals(request->sheet);
    for (const SheetRefusal &refusal : refusals)
        host_.tell(refusalLine(refusal), code::SheetRefused);
    if (!refusals.empty())
        return ExitUsage;
    for (const QString &target : {options.reportPath, options.junitPath}) {
        if (target.isEmpty())
            continue;
        if (const QString refused = sheetTargetProblem(target); !refused.isEmpty()) {
            host_.tell(refused, code::SheetNotWritable);
            return ExitUsage;
        }
    }
    request->load = options.load;
    request->station = options.station;
    request->operatorName = options.operatorName;

    const int code = host_.connectUnit();
    if (code != ExitDone)
        return code;
    UnitSession &session = host_.unitSession();
    CheckRun run(session, checkedUnitOf(session, host_.unitDescription()));
    if (stderrIsTerminal()) {
        const int writes = options.load ? run.valueCount(request->sheet) : 0;
        run.setProgress([writes](const QString &value, int done, int total) {
            printProgress(
                QStringLiteral("%1 %2 (%3/%4)")
                    .arg(done < writes ? QStringLiteral("Writing") : QStringLiteral("Reading"),
                         value)
                    .arg(done + 1)
                    .arg(total));
        });
    }
    const CheckReport report = run.run(*request);

    if (report.verdict == CheckVerdict::Refused) {
        for (const QString &line : report.problem.split(QLatin1Char('\n')))
            host_.tell(line, code::SheetRefused);
    } else if (!report.problem.isEmpty()) {
        host_.tell(report.problem, code::Error);
    }
    // The record is kept whatever the verdict; a journal that cannot take
    // it costs a warning, never the verdict.
    if (!CheckResults(journalPath).record(report, &problem))
        host_.tell(problem, code::JournalWarning);
    sendWaitingResults(journalPath);
    show(report);
    if (!writeFiles(report, options))
        return ExitNoUnit;
    return exitCodeOf(report);
}

void CheckCommands::show(const CheckReport &report)
{
    json_ = checkReportJson(report);
    if (report.verdict == CheckVerdict::Refused)
        return; // the messages say why
    text_ = host_.unitLine();
    QList<QStringList> rows{{QStringLiteral(" "), QStringLiteral("VALUE"), QStringLiteral("SHEET"),
                             QStringLiteral("UNIT"), QStringLiteral("VERDICT")}};
    for (const CheckedValue &value : report.values)
        rows << QStringList{
            value.verdict == ValueVerdict::Match ? QStringLiteral(" ") : QStringLiteral("*"),
            valueName(value), value.sheetValue, value.unitValue.value_or(QStringLiteral("-")),
            valueVerdictText(value.verdict)};
    const int total = int(report.values.size());
    text_ += table(rows) + QStringLiteral("%1: %2 of %3 values match.\n")
                               .arg(checkVerdictText(report.verdict).toUpper())
                               .arg(report.count(ValueVerdict::Match))
                               .arg(total);
}

bool CheckCommands::writeFiles(const CheckReport &report, const CheckOptions &options)
{
    bool written = true;
    QString problem;
    if (!options.reportPath.isEmpty() &&
        !writeFile(options.reportPath, writeCheckReportJson(report), &problem)) {
        host_.tell(problem, code::OutputFailed);
        written = false;
    }
    if (!options.junitPath.isEmpty() &&
        !writeFile(options.junitPath, writeJUnitReport(report), &problem)) {
        host_.tell(problem, code::OutputFailed);
        written = false;
    }
    return written;
}

int CheckCommands::results(const QString &journalPath, const ResultsFilter &filter, bool csv)
{
    if (listFromServer(journalPath, filter, csv))
        return ExitDone;
    QString problem;
    const std::vector<CheckReport> reports = CheckResults(journalPath).list(filter, &problem);
    if (!problem.isEmpty()) {
        host_.tell(problem, code::JournalWarning);
        return ExitUsage;
    }
    printResults(reports, journalPath, false, csv);
    return ExitDone;
}

// source: the journal's path, or the results server's name.
void CheckCommands::printResults(const std::vector<CheckReport> &reports, const QString &source,
                                 bool server, bool csv)
{
    QJsonArray results;
    QList<QStringList> rows{
        {QStringLiteral("STARTED"), QStringLiteral("STATION"), QStringLiteral("OPERATOR"),
         QStringLiteral("MODEL"), QStringLiteral("AXIS"), QStringLiteral("SHEET"),
         QStringLiteral("MATCH"), QStringLiteral("VERDICT"), QStringLiteral("ID")}};
    QStringList lines{QStringLiteral("id,started,ended,station,operator,model,revision,axis,baud,"
                                     "device,sheet,sha256,loaded,values,matched,verdict,problem")};
    for (const CheckReport &report : reports) {
        results.append(checkReportJson(report));
        const QString id = report.id.toString(QUuid::WithoutBraces);
        const QString matched = QString::number(report.count(ValueVerdict::Match));
        const QString values = QString::number(report.values.size());
        rows << QStringList{checkTimeText(report.started).left(19),
                            report.station,
                            report.operatorName.isEmpty() ? QStringLiteral("-")
                                                          : report.operatorName,
                            report.unit.unitModel,
                            QString::number(report.unit.axis),
                            report.sheetName,
                            matched + QLatin1Char('/') + values,
                            checkVerdictText(report.verdict),
                            id};
        QStringList fields{id,
                           checkTimeText(report.started),
                           checkTimeText(report.ended),
                           report.station,
                           report.operatorName,
                           report.unit.unitModel,
                           report.unit.revision,
                           QString::number(report.unit.axis),
                           QString::number(report.unit.baud),
                           report.unit.device,
                           report.sheetName,
                           report.sheetSha256,
                           report.loaded ? QStringLiteral("yes") : QStringLiteral("no"),
                           values,
                           matched,
                           checkVerdictText(report.verdict),
                           report.problem};
        for (QString &field : fields)
            field = csvField(field);
        lines << fields.join(QLatin1Char(','));
    }
    json_ = {{server ? QStringLiteral("server") : QStringLiteral("journal"), source},
             {QStringLiteral("results"), results}};
    if (csv)
        text_ = lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    else if (!reports.empty())
        text_ = table(rows);
    else if (server)
        text_ = QStringLiteral("The results database on %1 holds no results.\n").arg(source);
    else
        text_ = QStringLiteral("The change journal %1 holds no results.\n").arg(source);
}

} // namespace ktv::cli

namespace ktv::cli {

// The tool's side: the options of check and results.
int Tool::checkCommand()
{
    CheckCommands checks(*this, text_, json_);
    const QString journal = Journal::defaultPath();
    auto option = [this](const char *name) { return parser_.value(QString::fromLatin1(name)); };
    auto isSet = [this](const char *name) { return parser_.isSet(QString::fromLatin1(name)); };
    // The results server: --results-db, else the store's setting.
    checks.setResultsSetting(isSet("results-db") ? option("results-db")
                                                 : readResultsSetting(session_->storePath).setting);
    if (command_ == QLatin1String("results") && isSet("sync"))
        return checks.syncResults(journal);
    if (command_ == QLatin1String("results")) {
        if (isSet("json") && isSet("csv"))
            return usageError(QStringLiteral("--json and --csv do not go together"), command_);
        ResultsFilter filter{option("station"), option("unit"), {}, isSet("failed")};
        if (isSet("since")) {
            const QString since = option("since");
            const QDate day = QDate::fromString(since, Qt::ISODate);
            filter.since =
                day.isValid() ? day.startOfDay() : QDateTime::fromString(since, Qt::ISODate);
            if (!filter.since.isValid())
                return usageError(
                    QStringLiteral("--since takes a date such as 2026-12-08 or 2026-12-08T14:00"),
                    command_);
        }
        return checks.results(journal, filter, isSet("csv"));
    }
    const QStringList words = parser_.positionalArguments().mid(1);
    if (words.size() != 1)
        return usageError(QStringLiteral("check takes one SHEET"), command_);
    return checks.check(
        words[0],
        {isSet("load"), option("report"), option("junit"), option("station"), option("operator")},
        journal);
}

} // namespace ktv::cli
