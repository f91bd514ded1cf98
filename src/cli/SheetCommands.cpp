#include "cli/SheetCommands.h"

#include "protocol/CheckReport.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliView.h"
#include "protocol/CommandFrame.h"
#include "protocol/LineMeaning.h"
#include "protocol/ParameterLimits.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"
#include "store/Journal.h"
#include "store/JournalHistory.h"

#include <QJsonArray>
#include <algorithm>

namespace ktv::cli {

namespace {

// "Reading Profile 2, Max Speed (7/14)" on a terminal; the first `writes`
// values of a run are written, the rest read.
SheetOperations::Progress progressOnTerminal(int writes = 0)
{
    if (!stderrIsTerminal())
        return {};
    return [writes](const QString &value, int done, int total) {
        printProgress(
            QStringLiteral("%1 %2 (%3/%4)")
                .arg(done < writes ? QStringLiteral("Writing") : QStringLiteral("Reading"), value)
                .arg(done + 1)
                .arg(total));
    };
}

QJsonValue optionalJson(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

// A number the journal keeps as text; null where it has none (a drive
// setting's profile).
QJsonValue numberJson(const QString &text)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok ? QJsonValue(number) : QJsonValue();
}

// A value the connection's read-back already found unreadable is the same
// failure when a save or a diff stops on it: said once.
bool alreadySaid(const QString &text)
{
    const QList<CliMessage> &said = printedMessages();
    return std::any_of(said.begin(), said.end(),
                       [&text](const CliMessage &message) { return message.text == text; });
}

int sheetValueCount(const ParameterSheet &sheet)
{
    int count = int(sheet.settings.size());
    for (const SheetProfile &profile : sheet.profiles)
        count += int(profile.values.size());
    return count;
}

} // namespace

std::optional<ParameterSheet> SheetCommands::readSheet(const QString &path)
{
    SheetReadResult read = readSheetFile(path);
    if (!read.sheet)
        host_.tell(read.error, code::SheetUnreadable);
    return std::move(read.sheet);
}

int SheetCommands::save(const QString &path)
{
    if (const QString problem = sheetTargetProblem(path); !problem.isEmpty()) {
        host_.tell(problem, code::SheetNotWritable);
        return ExitUsage;
    }
    int code = host_.connectUnit();
    if (code != ExitDone)
        return code;
    SheetOperations operations(host_.unitSession(), host_.unitDescription());
    operations.setProgress(progressOnTerminal());
    const SheetOperations::ReadResult read = operations.readUnit();
    if (read.outcome == SheetOperations::Outcome::Cancelled)
        return ExitInterrupted;
    if (!read.sheet) {
        // A sheet is every value read whole and valid, or no file at all.
        if (!alreadySaid(read.problem))
            host_.tell(read.problem, code::NoAnswer);
        host_.tell(nothingSavedText(path), code::Notice);
        return ExitNoUnit;
    }
    // A unit that holds a value a load would refuse gives no sheet.
    if (const std::vector<SheetRefusal> refusals =
            validateParameterSheet(*read.sheet, read.sheet->unitModel);
        !refusals.empty()) {
        QStringList lines;
        for (const SheetRefusal &refusal : refusals)
            lines << refusalLine(refusal);
        host_.tell(heldValuesRefusedText(lines), code::SheetRefused);
        host_.tell(nothingSavedText(path), code::Notice);
        return ExitUsage;
    }
    QString problem;
    if (!writeSheetFile(path, *read.sheet, &problem)) {
        host_.tell(problem, code::SheetNotWritable);
        return ExitUsage;
    }
    const int values = sheetValueCount(*read.sheet);
    json_ = host_.unitJson();
    json_[QStringLiteral("file")] = path;
    json_[QStringLiteral("values")] = values;
    text_ = host_.unitLine() + QStringLiteral("Saved %1 values to %2\n").arg(values).arg(path);
    return ExitDone;
}

int SheetCommands::load(const QString &path, bool dry, const QString &axis)
{
    const std::optional<ParameterSheet> sheet = readSheet(path);
    if (!sheet)
        return ExitUsage;
    // Checked against its own model first: a sheet that no unit of its kind
    // takes is refused before the port opens.
    const std::vector<SheetRefusal> refusals = validateParameterSheet(*sheet, sheet->unitModel);
    for (const SheetRefusal &refusal : refusals)
        host_.tell(refusalLine(refusal), code::SheetRefused);
    if (!refusals.empty())
        return ExitUsage;
    if (dry)
        return dryRun(path, *sheet, axis);

    int code = host_.connectUnit();
    if (code != ExitDone)
        return code;
    SheetOperations operations(host_.unitSession(), host_.unitDescription());
    const int total = operations.valueCount(*sheet);
    operations.setProgress(progressOnTerminal(total));
    const SheetOperations::LoadResult result = operations.load(*sheet);
    json_ = host_.unitJson();
    json_[QStringLiteral("file")] = path;
    json_[QStringLiteral("written")] = result.written;
    json_[QStringLiteral("total")] = total;
    switch (result.outcome) {
    case SheetOperations::Outcome::Refused:
        for (const SheetRefusal &refusal : result.refusals)
            host_.tell(refusalLine(refusal), code::SheetRefused);
        return ExitUsage;
    case SheetOperations::Outcome::Cancelled:
        // Interrupted between two values: say how far it came.
        host_.tell(valuesWrittenText(result.written, total));
        return ExitInterrupted;
    case SheetOperations::Outcome::Failed:
        host_.tell(result.problem, code::Error);
        host_.tell(valuesWrittenText(result.written, total), code::Notice);
        return ExitNoUnit;
    case SheetOperations::Outcome::Done:
        break;
    }
    text_ = host_.unitLine() +
            QStringLiteral("Wrote %1 values from %2\n").arg(result.written).arg(path);
    code = showComparison(result.readBack);
    if (!result.fixedWaits.isEmpty()) {
        text_ += fixedWaitsText(result.fixedWaits) + QStringLiteral(": ") +
                 result.fixedWaits.join(QStringLiteral(", ")) + QLatin1Char('\n');
        json_[QStringLiteral("fixedWaits")] = QJsonArray::fromStringList(result.fixedWaits);
    }
    if (!result.notKept.isEmpty()) {
        text_ += notKeptText(result.notKept) + QStringLiteral(": ") +
                 result.notKept.join(QStringLiteral(", ")) + QLatin1Char('\n');
        json_[QStringLiteral("notKept")] = QJsonArray::fromStringList(result.notKept);
    }
    for (const SheetComparisonRow &row : result.readBack)
        if (row.differs)
            host_.tell(QStringLiteral("The unit holds %1 for %2, not %3")
                           .arg(row.unitValue, row.caption, row.sheetValue),
                       code::ValueNotHeld);
    return code;
}

int SheetCommands::dryRun(const QString &path, const ParameterSheet &sheet, const QString &axis)
{
    QList<QStringList> rows;
    QJsonArray lines;
    for (const LoadStep &step : loadPlan(sheet, sheet.unitModel, axis)) {
        rows << QStringList{QStringLiteral("  ") + step.caption, lineDisplayText(step.line)};
        lines.append(QJsonObject{{QStringLiteral("value"), step.caption},
                                 {QStringLiteral("line"), QString::fromLatin1(step.line)}});
    }
    json_ = {{QStringLiteral("file"), path},
             {QStringLiteral("model"), sheet.unitModel},
             {QStringLiteral("axis"), axis.toInt()},
             {QStringLiteral("dryRun"), true},
             {QStringLiteral("lines"), lines}};
    text_ = QStringLiteral("%1: a %2 sheet within its limits; a load writes these %3 lines to "
                           "axis %4:\n")
                .arg(path, sheet.unitModel)
                .arg(lines.size())
                .arg(axis) +
            table(rows) + QStringLiteral("Nothing was sent.\n");
    return ExitDone;
}

int SheetCommands::diff(const QString &path)
{
    const std::optional<ParameterSheet> sheet = readSheet(path);
    if (!sheet)
        return ExitUsage;
    // A value no unit holds is compared with nothing.
    const std::vector<SheetRefusal> refusals = sheetValueRefusals(*sheet);
    for (const SheetRefusal &refusal : refusals)
        host_.tell(refusalLine(refusal), code::SheetRefused);
    if (!refusals.empty())
        return ExitUsage;
    int code = host_.connectUnit();
    if (code != ExitDone)
        return code;
    const UnitDescription unit = host_.unitDescription();
    if (panelOfUnitModel(sheet->unitModel) != panelOfUnitModel(unit.unitModel)) {
        host_.tell(QStringLiteral("This sheet is for a %1; the unit is a %2.")
                       .arg(sheet->unitModel, unit.unitModel),
                   code::SheetRefused);
        return ExitUsage;
    }
    SheetOperations operations(host_.unitSession(), unit);
    operations.setProgress(progressOnTerminal());
    const SheetOperations::CompareResult result = operations.compare(*sheet);
    if (result.outcome == SheetOperations::Outcome::Cancelled)
        return ExitInterrupted;
    if (result.outcome != SheetOperations::Outcome::Done) {
        if (!alreadySaid(result.problem))
            host_.tell(result.problem, code::NoAnswer);
        return ExitNoUnit;
    }
    text_ = host_.unitLine();
    json_ = host_.unitJson();
    json_[QStringLiteral("file")] = path;
    return showComparison(result.rows);
}

int SheetCommands::showComparison(const std::vector<SheetComparisonRow> &rows)
{
    QList<QStringList> shown{{QStringLiteral(" "), QStringLiteral("VALUE"), QStringLiteral("SHEET"),
                              QStringLiteral("UNIT")}};
    QJsonArray values;
    int differences = 0;
    QStringList unverifiable;
    for (const SheetComparisonRow &row : rows) {
        differences += row.differs ? 1 : 0;
        if (!row.verifiable)
            unverifiable << row.caption;
        shown << QStringList{row.differs      ? QStringLiteral("*")
                             : row.verifiable ? QStringLiteral(" ")
                                              : QStringLiteral("?"),
                             row.caption, row.sheetValue,
                             row.verifiable ? row.unitValue : QStringLiteral("(not verifiable)")};
        values.append(QJsonObject{
            {QStringLiteral("profile"), row.profile > 0 ? QJsonValue(row.profile) : QJsonValue()},
            {QStringLiteral("key"), row.key},
            {QStringLiteral("caption"), row.caption},
            {QStringLiteral("sheet"), row.sheetValue},
            {QStringLiteral("unit"),
             row.verifiable ? QJsonValue(row.unitValue) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("differs"), row.differs},
            {QStringLiteral("verifiable"), row.verifiable}});
    }
    json_[QStringLiteral("differences")] = differences;
    json_[QStringLiteral("unverifiable")] = int(unverifiable.size());
    json_[QStringLiteral("values")] = values;
    // A value that cannot be read back is never counted as held.
    text_ +=
        table(shown) +
        (differences == 0 && unverifiable.isEmpty()
             ? QStringLiteral("The unit holds every value of the sheet.\n")
             : QStringLiteral("%1 of %2 values differ (*).\n").arg(differences).arg(rows.size()));
    if (!unverifiable.isEmpty())
        host_.tell(notVerifiableText(unverifiable, host_.unitDescription().unitModel));
    return differences > 0 || !unverifiable.isEmpty() ? ExitNotHeld : ExitDone;
}

int SheetCommands::history(const QString &journalPath, const QString &unitModel)
{
    const JournalHistory history = readJournal(journalPath, unitModel);
    if (!history.problem.isEmpty()) {
        host_.tell(history.problem, code::JournalWarning);
        return ExitUsage;
    }
    QList<QStringList> rows{
        {QStringLiteral("TIME"), QStringLiteral("MODEL"), QStringLiteral("AXIS"),
         QStringLiteral("FIELD"), QStringLiteral("PROFILE"), QStringLiteral("VALUE"),
         QStringLiteral("BEFORE"), QStringLiteral("AFTER"), QStringLiteral("VERDICT")}};
    QJsonArray changes;
    for (const JournalRow &row : history.rows) {
        const bool asked = !row.unitModel.isEmpty();
        rows << QStringList{row.time,
                            asked ? row.unitModel : notAskedText(),
                            row.axis,
                            row.field,
                            row.profile.isEmpty() ? QStringLiteral("-") : row.profile,
                            row.value,
                            row.before.value_or(QStringLiteral("-")),
                            row.after.value_or(QStringLiteral("-")),
                            row.verdict};
        changes.append(QJsonObject{
            {QStringLiteral("time"), row.time},
            {QStringLiteral("model"), asked ? QJsonValue(row.unitModel) : QJsonValue()},
            {QStringLiteral("revision"), asked ? QJsonValue(row.revision) : QJsonValue()},
            {QStringLiteral("axis"), numberJson(row.axis)},
            {QStringLiteral("field"), row.field},
            {QStringLiteral("profile"), numberJson(row.profile)},
            {QStringLiteral("value"), row.value},
            {QStringLiteral("line"), row.line},
            {QStringLiteral("before"), optionalJson(row.before)},
            {QStringLiteral("after"), optionalJson(row.after)},
            {QStringLiteral("verdict"), row.verdict}});
    }
    json_ = {{QStringLiteral("journal"), journalPath}, {QStringLiteral("changes"), changes}};
    text_ = history.rows.empty()
                ? QStringLiteral("The change journal %1 holds no changes%2.\n")
                      .arg(journalPath, unitModel.isEmpty()
                                            ? QString()
                                            : QStringLiteral(" of a ") + unitModel.toUpper())
                : table(rows);
    return ExitDone;
}

} // namespace ktv::cli
