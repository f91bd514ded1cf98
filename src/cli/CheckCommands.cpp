#include "cli/CheckCommands.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Tool.h"
#include "protocol/CellText.h"
#include "protocol/CheckReportJson.h"
#include "protocol/JUnitReport.h"
#include "protocol/Outcome.h"
#include "session/CheckRun.h"
#include "session/SessionTexts.h"
#include "store/CheckResults.h"
#include "store/Journal.h"
#include "store/ResultsSetting.h"
#include "store/WholeFile.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QJsonArray>
#include <QSysInfo>
#include <algorithm>

namespace ktv::cli {

namespace {

// The file a target names once its links are followed; for a file not made
// yet, its folder's real path and its name.
QString realTarget(const QString &path)
{
    QFileInfo info(path);
    for (int links = 0; !info.exists() && info.isSymLink() && links < 16; ++links)
        info.setFile(info.symLinkTarget()); // a link to a file not made yet
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? info.absolutePath() : folder) + QLatin1Char('/') + info.fileName();
}

// --report and --junit never name the sheet, nor the same file: a report
// written over the sheet would lose it, and the second of two reports
// over the first.
Outcome<void> reportTargetsApart(const QString &sheet, const CheckOptions &options)
{
    const QString sheetFile = realTarget(sheet);
    const QString report =
        options.reportPath.isEmpty() ? QString() : realTarget(options.reportPath);
    const QString junit = options.junitPath.isEmpty() ? QString() : realTarget(options.junitPath);
    for (const auto &[option, target] : {std::pair{"--report", report}, {"--junit", junit}})
        if (target == sheetFile)
            return Outcome<void>::failure(
                QStringLiteral("%1 names the sheet %2; a report never replaces its sheet.")
                    .arg(QLatin1String(option), sheet));
    if (!report.isEmpty() && report == junit)
        return Outcome<void>::failure(
            QStringLiteral("--report and --junit name the same file %1.").arg(options.junitPath));
    return {};
}

// Written whole or not at all: into a file beside the target, then renamed
// over it. When that fails, an older report under the name goes too, so that
// nobody reads the previous unit's verdict as this one's.
Outcome<void> writeReportFile(const QString &path, const QByteArray &bytes)
{
    const Outcome<void> written = writeWholeFile(path, bytes);
    if (written)
        return {};
    const QString problem =
        QStringLiteral("%1 cannot be written: %2.").arg(path, written.problem());
    if (QFileInfo(path).isFile() && !QFile::remove(path))
        return Outcome<void>::failure(
            problem + QStringLiteral(" The earlier file under that name is still there."));
    return Outcome<void>::failure(problem);
}

// The report of a check that did not get to the unit: no unit, no values,
// its problem the first thing said about it, and the time it took (a scan
// that finds no unit takes seconds).
CheckReport unrunReport(const QString &sheet, const CheckOptions &options, const QDateTime &started,
                        CheckVerdict verdict, const QString &problem)
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.station = options.station.isEmpty() ? QSysInfo::machineHostName() : options.station;
    report.operatorName = options.operatorName;
    report.serial = options.serial;
    report.sheetName = QFileInfo(sheet).fileName();
    // The sheet's hash when it is a file of a sheet's size (a sheet that does
    // not read is still named by it); else none.
    QFile file(sheet);
    if (QFileInfo(sheet).isFile() && QFileInfo(sheet).size() <= (1 << 20) &&
        file.open(QIODevice::ReadOnly))
        report.sheetSha256 = QString::fromLatin1(
            QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    report.loaded = false;
    report.started = started;
    report.ended = QDateTime::currentDateTime();
    report.verdict = verdict;
    report.problem = problem;
    return report;
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

} // namespace

int CheckCommands::check(const QString &path, const CheckOptions &options,
                         const QString &journalPath)
{
    // Targets that cannot be written are refused before anything else is
    // done, and nothing is written then.
    if (const Outcome<void> apart = reportTargetsApart(path, options); !apart) {
        host_.tell(apart.problem(), code::UsageError);
        return ExitUsage;
    }
    for (const QString &target : {options.reportPath, options.junitPath}) {
        if (target.isEmpty())
            continue;
        if (const QString refused = sheetTargetProblem(target); !refused.isEmpty()) {
            host_.tell(refused, code::SheetNotWritable);
            return ExitUsage;
        }
    }
    // From here on, a check that cannot run still writes its reports, with
    // its verdict and why: the files of an earlier check never stay behind.
    const QDateTime started = QDateTime::currentDateTime();
    auto unrun = [&](CheckVerdict verdict, const QString &problem, int exitCode) {
        const CheckReport report = unrunReport(path, options, started, verdict, problem);
        json_ = checkReportJson(report);
        return writeFiles(report, options) ? exitCode : int(ExitNoUnit);
    };
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(path, &problem);
    if (!request) {
        host_.tell(problem, code::SheetUnreadable);
        return unrun(CheckVerdict::Error, problem, ExitUsage);
    }
    // A sheet no unit of its own kind takes is refused before the port opens.
    const std::vector<SheetRefusal> refusals =
        options.load ? validateParameterSheet(request->sheet, request->sheet.unitModel)
                     : sheetValueRefusals(request->sheet);
    QStringList refused;
    for (const SheetRefusal &refusal : refusals) {
        host_.tell(refusalLine(refusal), code::SheetRefused);
        refused << refusalLine(refusal);
    }
    if (!refusals.empty())
        return unrun(CheckVerdict::Refused, refused.join(QLatin1Char('\n')), ExitUsage);
    request->load = options.load;
    request->station = options.station;
    request->operatorName = options.operatorName;
    request->serial = options.serial;

    const qsizetype said = printedMessages().size();
    const int code = host_.connectUnit();
    if (code != ExitDone) {
        // Why it did not connect is said last; a notice of the store before
        // it (a configuration file that is missing) is not the reason.
        const QList<CliMessage> &messages = printedMessages();
        QString why = didNotConnectText();
        for (qsizetype at = messages.size() - 1; at >= said; --at) {
            const QString &kind = messages[at].code;
            if (kind != code::PortDiagnosis && kind != code::Notice && kind != code::Status) {
                why = messages[at].text;
                break;
            }
        }
        return unrun(CheckVerdict::Error, why, code);
    }
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
    // it costs a warning, never the verdict. With a results server, the
    // result goes there too, and straight there when the journal cannot
    // take it.
    deliverResult(journalPath, report);
    show(report);
    if (!writeFiles(report, options))
        return ExitNoUnit;
    return exitCodeOf(report);
}

namespace {

// A value that did not read says what came instead: "no answer: unreadable
// reply \"10<CR>~\"".
QString verdictCell(const CheckedValue &value)
{
    const QString verdict = valueVerdictText(value.verdict);
    if (value.verdict != ValueVerdict::NoAnswer || value.problem.isEmpty() ||
        value.problem == verdict)
        return verdict;
    return verdict + QStringLiteral(": ") + terminalCell(value.problem);
}

} // namespace

void CheckCommands::show(const CheckReport &report)
{
    json_ = checkReportJson(report);
    if (report.verdict == CheckVerdict::Refused)
        return; // the messages say why
    text_ = host_.unitLine();
    QList<QStringList> rows{{QStringLiteral(" "), QStringLiteral("VALUE"), QStringLiteral("SHEET"),
                             QStringLiteral("UNIT"), QStringLiteral("VERDICT")}};
    for (const CheckedValue &value : report.values)
        rows << QStringList{value.verdict == ValueVerdict::Match ? QStringLiteral(" ")
                                                                 : QStringLiteral("*"),
                            checkedValueName(value), value.sheetValue,
                            value.unitValue.value_or(QStringLiteral("-")), verdictCell(value)};
    const int total = int(report.values.size());
    text_ += table(rows) + QStringLiteral("%1: %2 of %3 values match.\n")
                               .arg(checkVerdictText(report.verdict).toUpper())
                               .arg(report.count(ValueVerdict::Match))
                               .arg(total);
    if (!report.fixedWaits.isEmpty())
        text_ += fixedWaitsText(report.fixedWaits) + QStringLiteral(": ") +
                 report.fixedWaits.join(QStringLiteral(", ")) + QLatin1Char('\n');
    if (!report.notKept.isEmpty())
        text_ += notKeptText(report.notKept) + QStringLiteral(": ") +
                 report.notKept.join(QStringLiteral(", ")) + QLatin1Char('\n');
}

bool CheckCommands::writeFiles(const CheckReport &report, const CheckOptions &options)
{
    bool written = true;
    if (!options.reportPath.isEmpty()) {
        if (const Outcome<void> done =
                writeReportFile(options.reportPath, writeCheckReportJson(report));
            !done) {
            host_.tell(done.problem(), code::OutputFailed);
            written = false;
        }
    }
    if (!options.junitPath.isEmpty()) {
        QStringList replaced;
        const QByteArray junit = writeJUnitReport(report, &replaced);
        for (const QString &field : replaced)
            host_.tell(
                QStringLiteral("%1: characters XML cannot carry are written as U+FFFD in %2.")
                    .arg(field, options.junitPath),
                code::Notice);
        if (const Outcome<void> done = writeReportFile(options.junitPath, junit); !done) {
            host_.tell(done.problem(), code::OutputFailed);
            written = false;
        }
    }
    return written;
}

int CheckCommands::results(const QString &journalPath, const ResultsFilter &filter, bool csv)
{
    oldestFirst_ = !filter.serial.isEmpty();
    pageSize_ = filter.limit;
    // One more than the page: whether older checks follow.
    ResultsFilter asked = filter;
    if (asked.limit > 0)
        ++asked.limit;
    if (listFromServer(journalPath, asked, csv))
        return ExitDone;
    QString problem;
    const std::vector<CheckReport> reports = CheckResults(journalPath).list(asked, &problem);
    if (!problem.isEmpty()) {
        host_.tell(problem, code::JournalWarning);
        return ExitUsage;
    }
    printResults(reports, journalPath, false, csv);
    return ExitDone;
}

// source: the journal's path, or the results server's name.
void CheckCommands::printResults(const std::vector<CheckReport> &listed, const QString &source,
                                 bool server, bool csv)
{
    std::vector<CheckReport> reports = listed;
    QString next; // the start of the oldest shown, when older ones follow
    if (pageSize_ > 0 && reports.size() > size_t(pageSize_)) {
        reports.resize(size_t(pageSize_));
        next = checkTimeText(reports.back().started);
    }
    QJsonArray results;
    QList<QStringList> rows{{QStringLiteral("STARTED"), QStringLiteral("SERIAL"),
                             QStringLiteral("STATION"), QStringLiteral("OPERATOR"),
                             QStringLiteral("MODEL"), QStringLiteral("AXIS"),
                             QStringLiteral("SHEET"), QStringLiteral("MATCH"),
                             QStringLiteral("VERDICT"), QStringLiteral("ID")}};
    QStringList lines{QStringLiteral("id,started,ended,station,operator,model,revision,axis,baud,"
                                     "device,sheet,sha256,loaded,values,matched,verdict,problem,"
                                     "serial")};
    std::vector<CheckReport> ordered = reports;
    if (oldestFirst_)
        std::reverse(ordered.begin(), ordered.end());
    for (const CheckReport &report : ordered) {
        results.append(checkReportJson(report));
        const QString id = report.id.toString(QUuid::WithoutBraces);
        const QString matched = QString::number(report.count(ValueVerdict::Match));
        const QString values = QString::number(report.values.size());
        rows << QStringList{checkTimeText(report.started).left(19),
                            report.serial.isEmpty() ? QStringLiteral("-") : report.serial,
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
                           report.problem,
                           report.serial};
        for (QString &field : fields)
            field = csvCell(field);
        lines << fields.join(QLatin1Char(','));
    }
    json_ = {{server ? QStringLiteral("server") : QStringLiteral("journal"), source},
             {QStringLiteral("results"), results},
             {QStringLiteral("next"), next.isEmpty() ? QJsonValue() : QJsonValue(next)}};
    if (!next.isEmpty())
        host_.tell(QStringLiteral("%1 checks shown; the older ones with --before %2.")
                       .arg(reports.size())
                       .arg(next),
                   code::Notice);
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

namespace {

constexpr int DefaultPage = 50;

// A date (its start, local time) or a time, with or without its offset.
// (QDate reads the date at the head of a time too: a date is ten characters.)
QDateTime givenTime(const QString &text)
{
    const QDate day = text.size() == 10 ? QDate::fromString(text, Qt::ISODate) : QDate();
    return day.isValid() ? day.startOfDay() : QDateTime::fromString(text, Qt::ISODateWithMs);
}

const QString SerialUsage =
    QStringLiteral("--serial takes the unit's serial number, such as SN-0042 (up to 64 characters, "
                   "no control characters)");

// A serial number as given, trimmed; false for an empty one or one that
// holds a control character (a scanner's stray Tab or line end).
bool serialText(const QString &given, QString *serial)
{
    const QString text = given.trimmed();
    if (text.isEmpty() || text.size() > 64)
        return false;
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    *serial = text;
    return true;
}

} // namespace

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
        ResultsFilter filter{
            option("station"), option("unit"), {}, isSet("failed"), {}, 0, 0, false};
        if (isSet("serial") && !serialText(option("serial"), &filter.serial))
            return usageError(SerialUsage, command_);
        if (isSet("by") && !isSet("yield"))
            return usageError(QStringLiteral("--by goes with --yield"), command_);
        if (isSet("yield") && (isSet("failed") || isSet("serial")))
            return usageError(QStringLiteral("--yield counts every check of the units: --failed "
                                             "and --serial do not go with it"),
                              command_);
        const QString by = isSet("by") ? option("by") : QStringLiteral("station");
        if (by != QLatin1String("station") && by != QLatin1String("day") &&
            by != QLatin1String("field"))
            return usageError(QStringLiteral("--by takes station, day or field"), command_);
        if (isSet("since")) {
            filter.since = givenTime(option("since"));
            if (!filter.since.isValid())
                return usageError(
                    QStringLiteral("--since takes a date such as 2026-12-08 or 2026-12-08T14:00"),
                    command_);
        }
        if (isSet("yield") && (isSet("limit") || isSet("before")))
            return usageError(QStringLiteral("--yield counts every check: --limit and --before "
                                             "do not go with it"),
                              command_);
        if (isSet("yield"))
            return checks.yield(journal, filter, by, isSet("csv"));
        // A page of the newest 50 unless told; one unit's checks all.
        filter.limit = isSet("serial") ? 0 : DefaultPage;
        if (isSet("limit")) {
            bool number = false;
            const QString limit = option("limit");
            filter.limit = limit == QLatin1String("all") ? 0 : limit.toInt(&number);
            if (limit != QLatin1String("all") && (!number || filter.limit < 1))
                return usageError(
                    QStringLiteral("--limit takes a number of checks, such as 50, or all"),
                    command_);
        }
        if (isSet("before")) {
            filter.before = givenTime(option("before"));
            if (!filter.before.isValid())
                return usageError(QStringLiteral("--before takes a time such as "
                                                 "2026-12-08T14:03:05.120+01:00 or a date"),
                                  command_);
        }
        return checks.results(journal, filter, isSet("csv"));
    }
    const QStringList words = parser_.positionalArguments().mid(1);
    if (words.size() != 1)
        return usageError(QStringLiteral("check takes one SHEET"), command_);
    QString serial;
    if (isSet("serial") && !serialText(option("serial"), &serial))
        return usageError(SerialUsage, command_);
    return checks.check(words[0],
                        {isSet("load"), option("report"), option("junit"), option("station"),
                         option("operator"), serial},
                        journal);
}

} // namespace ktv::cli
