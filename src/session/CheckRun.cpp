#include "session/CheckRun.h"

#include "session/SessionTexts.h"
#include "session/UnitSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QSysInfo>
#include <algorithm>

namespace ktv {

std::optional<CheckRequest> checkRequestFromFile(const QString &path, QString *problem)
{
    QByteArray bytes;
    SheetReadResult read = readSheetFile(path, &bytes);
    if (!read.sheet) {
        if (problem)
            *problem = read.error;
        return std::nullopt;
    }
    CheckRequest request;
    request.sheet = std::move(*read.sheet);
    request.sheetName = QFileInfo(path).fileName();
    request.sheetSha256 =
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return request;
}

CheckedUnit checkedUnitOf(const UnitSession &session, const UnitDescription &unit)
{
    CheckedUnit checked;
    checked.unitModel = unit.unitModel;
    checked.revision = unit.revision;
    checked.axis = session.state.AxisAddress.toInt();
    checked.baud = session.link.settings().section(QLatin1Char(','), 0, 0).toInt();
    checked.device = session.link.deviceForPort(session.state.ComPortNumber);
    // A USB adapter is known by its stable name and serial number; the
    // device name it got at plugging may be another one tomorrow.
    const QString real = QFileInfo(checked.device).canonicalFilePath();
    if (real.isEmpty())
        return checked;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &entry :
         byId.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.canonicalFilePath() == real) {
            checked.byId = entry.absoluteFilePath();
            break;
        }
    }
    if (!checked.byId.isEmpty()) {
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            if (QFileInfo(port.systemLocation()).canonicalFilePath() == real) {
                checked.serialNumber = port.serialNumber();
                break;
            }
        }
    }
    return checked;
}

QString lineLostAfterText(int done, int total)
{
    return QStringLiteral("line lost after %1 of %2 values").arg(done).arg(total);
}

QString stoppedAnsweringText(int done, int total)
{
    return QStringLiteral("the unit stopped answering after %1 of %2 values").arg(done).arg(total);
}

CheckRun::CheckRun(UnitSession &session, CheckedUnit unit)
    : session_(session), unit_(std::move(unit)),
      operations_(session, {unit_.unitModel, unit_.revision})
{
    operations_.setReadOnThrough(true);
}

namespace {

int valuesIn(const std::optional<ParameterSheet> &sheet)
{
    if (!sheet)
        return 0;
    int count = int(sheet->settings.size());
    for (const SheetProfile &profile : sheet->profiles)
        count += int(profile.values.size());
    return count;
}

} // namespace

CheckReport CheckRun::run(const CheckRequest &request)
{
    CheckReport report;
    report.id = QUuid::createUuid();
    report.unit = unit_;
    report.station = request.station.isEmpty() ? QSysInfo::machineHostName() : request.station;
    report.operatorName = request.operatorName;
    report.serial = request.serial;
    report.sheetName = request.sheetName;
    report.sheetSha256 = request.sheetSha256;
    report.started = QDateTime::currentDateTime();
    auto finish = [&report](CheckVerdict verdict, const QString &problem) {
        report.verdict = verdict;
        report.problem = problem;
        report.ended = QDateTime::currentDateTime();
        return report;
    };

    const ParameterSheet &sheet = request.sheet;
    // A sheet for another model is refused as a load refuses it. Without a
    // load, a value is only compared, so it needs only be one a unit holds.
    std::vector<SheetRefusal> refusals = validateParameterSheet(sheet, unit_.unitModel);
    const bool otherModel = panelOfUnitModel(sheet.unitModel) != panelOfUnitModel(unit_.unitModel);
    if (!request.load && !otherModel)
        refusals = sheetValueRefusals(sheet);
    if (!refusals.empty()) {
        QStringList lines;
        for (const SheetRefusal &refusal : refusals) {
            lines << refusalLine(refusal);
            if (refusal.key.isEmpty())
                continue;
            CheckedValue value;
            value.profile = refusal.profile;
            value.key = refusal.key;
            value.verdict = ValueVerdict::Refused;
            value.problem = refusal.text;
            if (const std::optional<Model> panel = panelOfUnitModel(sheet.unitModel)) {
                for (ParamKey key : parameterKeys(*panel)) {
                    if (parameterSheetKey(key) != refusal.key)
                        continue;
                    value.caption = parameterCaption(key);
                    if (const QString *text = sheet.value(refusal.profile, key))
                        value.sheetValue = *text;
                }
            }
            report.values.push_back(std::move(value));
        }
        return finish(CheckVerdict::Refused, lines.join(QLatin1Char('\n')));
    }
    if (!session_.state.UnitConnected)
        return finish(CheckVerdict::Error, notConnectedText());

    // Two units at one address: neither is checked, nothing is written.
    if (const QString problem = operations_.unitProblem(); !problem.isEmpty())
        return finish(CheckVerdict::Error, problem);

    const int total = operations_.valueCount(sheet);
    // A line that failed under the check: lost (FAIL, as a pulled unit), a
    // unit that stopped answering (FAIL), or noise that no reply can be told
    // from (an error: nothing after the last valid reply is trusted).
    auto troubleWord = [](SheetOperations::LineTrouble trouble) {
        switch (trouble) {
        case SheetOperations::LineTrouble::Noisy:
            return QStringLiteral("line noisy");
        case SheetOperations::LineTrouble::Silent:
            return QStringLiteral("no answer");
        case SheetOperations::LineTrouble::Lost:
        case SheetOperations::LineTrouble::None:
            break;
        }
        return QStringLiteral("line lost");
    };
    auto troubleEnd = [&](SheetOperations::LineTrouble trouble, const QString &problem,
                          const std::optional<ParameterSheet> &read, int done, int total) {
        switch (trouble) {
        case SheetOperations::LineTrouble::Noisy:
            return finish(CheckVerdict::Error, problem);
        case SheetOperations::LineTrouble::Silent:
            return finish(CheckVerdict::Fail,
                          stoppedAnsweringText(std::min(valuesIn(read), total), total));
        case SheetOperations::LineTrouble::Lost:
        case SheetOperations::LineTrouble::None:
            break;
        }
        return finish(CheckVerdict::Fail, lineLostAfterText(done, total));
    };
    if (request.load) {
        report.loaded = true;
        const SheetOperations::LoadResult result = operations_.load(sheet);
        report.fixedWaits = result.fixedWaits;
        report.notKept = result.notKept;
        switch (result.outcome) {
        case SheetOperations::Outcome::Done:
            fillValues(report, sheet, result.unit, result.unread, result.written, {});
            break;
        case SheetOperations::Outcome::Cancelled:
            fillValues(report, sheet, result.unit, result.unread, result.written,
                       QStringLiteral("cancelled"));
            return finish(CheckVerdict::Error, valuesWrittenText(result.written, total));
        case SheetOperations::Outcome::Refused:
        case SheetOperations::Outcome::Failed:
            // Validated above and connected: what fails now is the line.
            fillValues(report, sheet, result.unit, result.unread, result.written,
                       troubleWord(result.trouble));
            return troubleEnd(result.trouble, result.problem, result.unit, result.written, total);
        }
    } else {
        const SheetOperations::ReadResult result = operations_.readUnit();
        switch (result.outcome) {
        case SheetOperations::Outcome::Done:
            fillValues(report, sheet, result.sheet, result.unread, 0, {});
            break;
        case SheetOperations::Outcome::Cancelled:
            fillValues(report, sheet, result.sheet, result.unread, 0, QStringLiteral("cancelled"));
            return finish(CheckVerdict::Error, QStringLiteral("cancelled"));
        case SheetOperations::Outcome::Refused:
        case SheetOperations::Outcome::Failed:
            fillValues(report, sheet, result.sheet, result.unread, 0, troubleWord(result.trouble));
            return troubleEnd(result.trouble, result.problem, result.sheet,
                              std::min(valuesIn(result.sheet), total), total);
        }
    }
    const bool pass =
        std::all_of(report.values.begin(), report.values.end(),
                    [](const CheckedValue &v) { return v.verdict == ValueVerdict::Match; });
    return finish(pass ? CheckVerdict::Pass : CheckVerdict::Fail, {});
}

void CheckRun::fillValues(CheckReport &report, const ParameterSheet &sheet,
                          const std::optional<ParameterSheet> &unit,
                          const std::vector<UnreadValue> &unread, int written,
                          const QString &notReadProblem) const
{
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    int index = 0; // the value's place among the lines a load writes
    auto unreadProblem = [&unread](int profile, const QString &key) -> const QString * {
        for (const UnreadValue &value : unread)
            if (value.profile == profile && value.key == key)
                return &value.problem;
        return nullptr;
    };
    auto judge = [&](CheckedValue &value, const std::optional<QString> &held) {
        const bool wasWritten = index++ < written;
        value.unitValue = held;
        if (held) {
            value.verdict = *held == value.sheetValue
                                ? ValueVerdict::Match
                                : (report.loaded ? ValueVerdict::NotKept : ValueVerdict::Differs);
        } else if (const QString *problem = unreadProblem(value.profile, value.key)) {
            value.verdict = ValueVerdict::NoAnswer;
            value.problem = *problem;
        } else {
            value.verdict =
                report.loaded && !wasWritten ? ValueVerdict::NotWritten : ValueVerdict::NoAnswer;
            value.problem = notReadProblem;
        }
        report.values.push_back(std::move(value));
    };

    for (const SheetProfile &profile : sheet.profiles) {
        for (ParamKey key : parameterKeys(panel)) {
            const QString *text = sheet.value(profile.number, key);
            if (!text)
                continue;
            CheckedValue value{profile.number, parameterSheetKey(key), parameterCaption(key),
                               *text,          std::nullopt,           ValueVerdict::NoAnswer,
                               QString()};
            const QString *held = unit ? unit->value(profile.number, key) : nullptr;
            judge(value, held ? std::optional<QString>(*held) : std::nullopt);
        }
    }
    const std::vector<SettingGroup> groups = settingGroups(unit_.unitModel);
    for (SettingGroup group : groups) {
        const auto it = sheet.settings.find(group);
        if (it == sheet.settings.end())
            continue;
        CheckedValue value{0,          settingSheetKey(group), settingCaption(group),
                           it->second, std::nullopt,           ValueVerdict::NoAnswer,
                           QString()};
        std::optional<QString> held;
        if (unit)
            if (const auto found = unit->settings.find(group); found != unit->settings.end())
                held = found->second;
        judge(value, held);
    }
    // A setting this model cannot be asked for (a resolution for a VELD50).
    for (const auto &[group, word] : sheet.settings) {
        if (std::find(groups.begin(), groups.end(), group) != groups.end())
            continue;
        report.values.push_back({0, settingSheetKey(group), settingCaption(group), word,
                                 std::nullopt, ValueVerdict::NotVerifiable, QString()});
    }
}

} // namespace ktv
