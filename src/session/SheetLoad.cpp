// A sheet loaded into the unit: the plan's lines written at the exchange's
// pace, each value proven, and everything read back after the last write.
#include "session/SheetOperations.h"

#include "protocol/CheckReport.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"
#include "session/UnitSession.h"

namespace ktv {

namespace {

// Puts a value read back into a sheet of values read.
void holdValue(ParameterSheet &sheet, int profile, ParamKey key, const QString &value)
{
    for (SheetProfile &held : sheet.profiles) {
        if (held.number == profile) {
            held.values[key] = value;
            return;
        }
    }
    sheet.profiles.push_back({profile, {{key, value}}});
}

} // namespace

SheetOperations::LoadResult SheetOperations::load(const ParameterSheet &sheet)
{
    LoadResult result;
    result.refusals = validateParameterSheet(sheet, unit_.unitModel);
    if (!result.refusals.empty()) {
        result.outcome = Outcome::Refused;
        return result;
    }
    SharedState &state = session_.state;
    if (!state.UnitConnected) {
        result.problem = notConnectedText();
        return result;
    }
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    SerialLink &link = session_.link;
    // Two units at the address would both take every line: nothing is written.
    if (const QString problem = unitProblem(); !problem.isEmpty()) {
        result.problem = problem;
        return result;
    }
    cancelled_ = false;
    done_ = 0;
    const int readCount = unitFacts(panel).profileCount * int(parameterKeys(panel).size()) +
                          int(settingGroups(unit_.unitModel).size());
    UnitExchange &exchange = session_.exchange;
    const bool replyPace = exchange.pace() == Pace::Reply;
    // Whatever the pace, every value is read once more after the last write.
    total_ = valueCount(sheet) + readCount;
    const int straysBefore = exchange.strays();
    deafAfterWrite_ = false;
    struct PaceRestore
    {
        UnitExchange &exchange;
        Pace pace;
        ~PaceRestore() { exchange.setPace(pace); }
    } paceRestore{exchange, exchange.pace()};
    // At reply pace: the values as read back right after their writes.
    ParameterSheet known;
    known.unitModel = unit_.unitModel;
    // Values in a row that the reply pace did not prove (no answer, or not
    // held until written again with the fixed waits): at two, the rest of
    // the load goes at the fixed pace, so a unit that needs them never costs
    // much more than the fixed pace would.
    int fixedInARow = 0;
    bool paced = replyPace;

    auto lineTookNothing = [&] {
        result.problem = QStringLiteral("The line to the unit took nothing; the load "
                                        "stopped after %1 values.")
                             .arg(result.written);
        return false;
    };
    auto send = [&](const QByteArray &line) {
        if (!link.write(line))
            return lineTookNothing();
        link.WaitSeconds(0.5);
        ++result.written;
        return true;
    };
    // At reply pace, a value written and read back; what was read goes to known.
    auto sendAndRead = [&](const QByteArray &line, Field field, const QString &profile,
                           const QString &name, const std::function<bool(const QString &)> &kept,
                           const std::function<void(const QString &)> &hold) {
        const std::optional<WrittenValue> written =
            writeAtReplyPace(line, field, profile, kept, name);
        if (!written)
            return lineTookNothing();
        ++result.written;
        if (written->reply)
            hold(*written->reply);
        if (written->fixedWaits)
            result.fixedWaits << name;
        if (const LineTrouble trouble = lineTrouble(); trouble != LineTrouble::None) {
            result.trouble = trouble;
            result.problem = lastProblem(name);
            return false;
        }
        fixedInARow = written->unproven ? fixedInARow + 1 : 0;
        if (fixedInARow == 2) {
            link.note(QStringLiteral("two values in a row needed the fixed waits: the rest of "
                                     "the check goes at the fixed pace"));
            exchange.setPace(Pace::Fixed);
            paced = false;
        }
        return link.PortOpen() || lineTookNothing();
    };
    // The line went under the load; at reply pace what was read back stands.
    auto lineLost = [&] {
        if (replyPace)
            result.unit = known;
        return result;
    };
    const std::vector<LoadStep> plan = loadPlan(sheet, unit_.unitModel, state.AxisAddress);
    {
        ProfileKeeper keeper(state.SelectedProfile);
        for (const LoadStep &step : plan) {
            if (!report(step.caption)) {
                result.outcome = Outcome::Cancelled;
                return result;
            }
            if (step.key)
                state.SelectedProfile = QString::number(step.profile);
            bool sent = false;
            if (!paced) {
                sent = send(step.line);
            } else if (const std::optional<ParamKey> key = step.key) {
                sent = sendAndRead(
                    step.line, fieldOf(*key), state.SelectedProfile, step.caption,
                    [&](const QString &reply) { return reply == step.value; },
                    [&](const QString &reply) { holdValue(known, step.profile, *key, reply); });
            } else {
                const SettingGroup group = *step.group;
                sent = sendAndRead(
                    step.line, settingField(group), state.SelectedProfile, step.caption,
                    [&](const QString &reply) {
                        return settingWordFromReply(panel, group, reply) == step.value;
                    },
                    [&](const QString &reply) {
                        known.settings.emplace(group, settingWordFromReply(panel, group, reply));
                    });
            }
            if (!sent)
                return lineLost();
        }
    }
    // A unit that answered out of turn at reply pace (an acknowledgement
    // taken for a value, a reply behind another) has the final reading made
    // by the fixed rules, the first question a late window after the last
    // write.
    const bool proven =
        !paced ||
        (exchange.quietFor(std::min(UnitExchange::LateSeconds, 2 * exchange.slowestReplySeconds() +
                                                                   exchange.settleSeconds())) &&
         exchange.strays() == straysBefore);
    if (!proven) {
        link.note(QStringLiteral("the unit answered out of turn: every value is read again "
                                 "with the fixed waits"));
        exchange.setPace(Pace::Fixed);
    }
    if (!result.fixedWaits.isEmpty())
        link.note(fixedWaitsText(result.fixedWaits) + QStringLiteral(": ") +
                  result.fixedWaits.join(QStringLiteral(", ")));
    // The verdict is what the unit holds at the end: a unit that restarts at
    // a later write, or holds a value only for a while, has lost what its
    // read-back right after the write showed.
    ReadResult after = readValues(total_, done_);
    result.unit = after.sheet;
    result.unread = std::move(after.unread);
    result.trouble = after.trouble;
    if (replyPace && after.sheet) {
        for (const LoadStep &step : plan) {
            const QString *then = nullptr;
            const QString *now = nullptr;
            if (step.key) {
                then = known.value(step.profile, *step.key);
                now = after.sheet->value(step.profile, *step.key);
            } else if (const auto held = known.settings.find(*step.group);
                       held != known.settings.end()) {
                then = &held->second;
                if (const auto found = after.sheet->settings.find(*step.group);
                    found != after.sheet->settings.end())
                    now = &found->second;
            }
            if (then && now && *then == step.value && *now != *then)
                result.notKept << step.caption;
        }
        if (!result.notKept.isEmpty())
            link.note(notKeptText(result.notKept) + QStringLiteral(": ") +
                      result.notKept.join(QStringLiteral(", ")));
    }
    if (after.outcome != Outcome::Done) {
        result.outcome = after.outcome;
        result.problem = after.problem;
        return result;
    }
    result.readBack = compareSheets(sheet, *after.sheet);
    result.outcome = Outcome::Done;
    return result;
}

std::optional<SheetOperations::WrittenValue>
SheetOperations::writeAtReplyPace(const QByteArray &line, Field field, const QString &profile,
                                  const std::function<bool(const QString &)> &kept,
                                  const QString &name)
{
    SerialLink &link = session_.link;
    UnitExchange &exchange = session_.exchange;
    if (!link.write(line))
        return std::nullopt;
    if (deafAfterWrite_)
        link.WaitSeconds(0.5);
    else
        exchange.settleAfterWrite();
    WrittenValue written;
    const int misses = exchange.misses();
    written.reply = askUnit(field, profile);
    if (exchange.misses() > misses && !deafAfterWrite_) {
        deafAfterWrite_ = true;
        link.note(QStringLiteral("the unit missed the question right after a write: the next "
                                 "writes wait 0.5 s"));
    }
    if ((written.reply && kept(*written.reply)) || !link.PortOpen() || session_.isEnding() ||
        lineTrouble() != LineTrouble::None)
        return written;
    // No answer at all: writing it again would only be asked the same way.
    // The reading after the last write says whether the unit holds it.
    if (!written.reply) {
        written.unproven = true;
        return written;
    }
    // Not held at reply pace: once more with the fixed waits, 0.5 s after
    // the write and a late window before the question.
    link.note(QStringLiteral("written again with the fixed waits: ") + name);
    written.unproven = true;
    exchange.setPace(Pace::Fixed);
    const bool again = link.write(line);
    if (again) {
        link.WaitSeconds(0.5);
        written.reply = askUnit(field, profile);
        written.fixedWaits = written.reply && kept(*written.reply);
    }
    exchange.setPace(Pace::Reply);
    if (!again)
        return std::nullopt;
    return written;
}

SheetOperations::LoadResult SheetOperations::loadFile(const QString &path)
{
    const SheetReadResult read = readSheetFile(path);
    if (!read.sheet) {
        LoadResult result;
        result.problem = read.error;
        return result;
    }
    return load(*read.sheet);
}

} // namespace ktv
