#include "session/SheetOperations.h"

#include "protocol/ReplyDecoding.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"
#include "session/UnitSession.h"

namespace ktv {

int SheetOperations::CompareResult::differences() const
{
    int count = 0;
    for (const SheetComparisonRow &row : rows)
        count += row.differs ? 1 : 0;
    return count;
}

int SheetOperations::CompareResult::unverifiable() const
{
    int count = 0;
    for (const SheetComparisonRow &row : rows)
        count += row.verifiable ? 0 : 1;
    return count;
}

SheetOperations::SheetOperations(UnitSession &session, UnitDescription unit)
    : session_(session), unit_(std::move(unit))
{
}

bool SheetOperations::report(const QString &value)
{
    if (cancelled_ || session_.isEnding())
        return false;
    if (progress_)
        progress_(value, done_, total_);
    ++done_;
    return !cancelled_ && !session_.isEnding();
}

std::optional<QString> SheetOperations::askUnit(Field field, const QString &profile)
{
    UnitExchange &exchange = session_.exchange;
    const ktv::Outcome<QString> answer =
        exchange.askField(session_.state.AxisAddress, field, profile);
    lastReply_ = answer ? QString() : exchange.lastRaw();
    lastCollided_ = exchange.collided();
    if (!answer)
        return std::nullopt;
    return *answer;
}

QString SheetOperations::unitProblem()
{
    const auto unit = session_.unitAtAxis();
    if (unit && unit->collision)
        return twoUnitsAtAxisText(session_.state.AxisAddress) +
               QStringLiteral(": nothing was written.");
    return {};
}

SheetOperations::LineTrouble SheetOperations::lineTrouble() const
{
    if (!session_.link.PortOpen())
        return LineTrouble::Lost;
    if (session_.exchange.noisy())
        return LineTrouble::Noisy;
    if (session_.exchange.stoppedAnswering())
        return LineTrouble::Silent;
    return LineTrouble::None;
}

QString SheetOperations::lastProblem(const QString &what) const
{
    if (!session_.link.PortOpen())
        return QStringLiteral("The line to the unit was lost at: %1").arg(what);
    if (session_.exchange.noisy())
        return session_.exchange.noiseText();
    if (lastCollided_)
        return twoUnitsAtAxisText(session_.state.AxisAddress);
    if (lastReply_.isEmpty())
        return noAnswerText(session_.state.AxisAddress, {what});
    return unreadableReplyText(what, lastReply_);
}

int SheetOperations::valueCount(const ParameterSheet &sheet) const
{
    int count = 0;
    for (const SheetProfile &profile : sheet.profiles)
        count += int(profile.values.size());
    for (SettingGroup group : settingGroups(unit_.unitModel))
        count += sheet.settings.count(group) ? 1 : 0;
    return count;
}

SheetOperations::ReadResult SheetOperations::readUnit()
{
    const std::optional<Model> panel = panelOfUnitModel(unit_.unitModel);
    if (!panel)
        return {Outcome::Failed, std::nullopt, QStringLiteral("The unit model is not known."), {}};
    const int profiles = unitFacts(*panel).profileCount;
    const int total =
        profiles * int(parameterKeys(*panel).size()) + int(settingGroups(unit_.unitModel).size());
    cancelled_ = false;
    done_ = 0;
    return readValues(total, 0);
}

SheetOperations::ReadResult SheetOperations::readValues(int total, int startAt)
{
    SharedState &state = session_.state;
    if (!state.UnitConnected)
        return {Outcome::Failed, std::nullopt, notConnectedText(), {}};
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    total_ = total;
    done_ = startAt;

    ParameterSheet sheet;
    sheet.unitModel = unit_.unitModel;
    sheet.revision = unit_.revision;
    sheet.axis = state.AxisAddress;
    sheet.saved = QDateTime::currentDateTimeUtc();

    ProfileKeeper keeper(state.SelectedProfile);
    session_.beginQuietRun(); // option buttons send nothing meanwhile
    struct QuietRunEnd
    {
        UnitSession &session;
        ~QuietRunEnd() { session.endQuietRun(); }
    } quietRunEnd{session_};

    // One query, its wait and its reply, as the read-back asks; the reply
    // counts only when it is whole and valid for its query.
    QString problem;
    std::vector<UnreadValue> unread;
    bool lost = false;
    LineTrouble trouble = LineTrouble::None;
    auto ask = [&](Field field, const QString &profile, int number, const QString &key,
                   const QString &what) -> std::optional<QString> {
        std::optional<QString> value = askUnit(field, profile);
        if (!value) {
            problem = lastProblem(what);
            trouble = lineTrouble();
            lost = trouble != LineTrouble::None;
            if (readOnThrough_ && !lost)
                unread.push_back({number, key,
                                  lastCollided_          ? UnitExchange::twoUnitsText()
                                  : lastReply_.isEmpty() ? QStringLiteral("no answer")
                                                         : replyProblemText(lastReply_)});
        }
        return value;
    };
    // Reading on through, only a lost line (or a noisy or silent one) ends
    // the read; what was read stands.
    auto stops = [&] { return !readOnThrough_ || lost; };
    auto failed = [&] {
        ReadResult result{Outcome::Failed, std::nullopt, problem, std::move(unread)};
        result.trouble = trouble;
        if (readOnThrough_)
            result.sheet = std::move(sheet);
        return result;
    };
    auto cancelled = [] { return ReadResult{Outcome::Cancelled, std::nullopt, QString(), {}}; };

    const int profiles = unitFacts(panel).profileCount;
    for (int number = 1; number <= profiles; ++number) {
        const QString profile = QString::number(number);
        state.SelectedProfile = profile;
        sheet.profiles.push_back({number, {}});
        for (ParamKey key : parameterKeys(panel)) {
            const QString what = sheetValueCaption(number, key);
            if (!report(what))
                return cancelled();
            const std::optional<QString> reply =
                ask(fieldOf(key), profile, number, parameterSheetKey(key), what);
            if (reply)
                sheet.profiles.back().values.emplace(key, *reply);
            else if (stops())
                return failed();
        }
    }
    for (SettingGroup group : settingGroups(unit_.unitModel)) {
        if (!report(settingCaption(group)))
            return cancelled();
        const std::optional<QString> reply = ask(settingField(group), state.SelectedProfile, 0,
                                                 settingSheetKey(group), settingCaption(group));
        if (reply)
            sheet.settings.emplace(group, settingWordFromReply(panel, group, *reply));
        else if (stops())
            return failed();
    }
    return {Outcome::Done, std::move(sheet), QString(), std::move(unread)};
}

SheetOperations::CompareResult SheetOperations::compare(const ParameterSheet &sheet)
{
    const ReadResult unit = readUnit();
    CompareResult result;
    result.outcome = unit.outcome;
    result.problem = unit.problem;
    if (unit.sheet)
        result.rows = compareSheets(sheet, *unit.sheet);
    return result;
}

} // namespace ktv
