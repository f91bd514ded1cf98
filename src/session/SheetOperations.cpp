#include "session/SheetOperations.h"

#include "link/PortProbe.h"
#include "protocol/CheckReport.h"
#include "protocol/CommandFrame.h"
#include "protocol/ParameterLimits.h"
#include "protocol/ReplyDecoding.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"
#include "session/UnitSession.h"
#include "store/WholeFile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ktv {

namespace {

// Puts the operator's profile back however the run ends.
class ProfileKeeper
{
  public:
    explicit ProfileKeeper(QString &selected) : selected_(selected), kept_(selected) {}
    ~ProfileKeeper() { selected_ = kept_; }
    ProfileKeeper(const ProfileKeeper &) = delete;
    ProfileKeeper &operator=(const ProfileKeeper &) = delete;

  private:
    QString &selected_;
    QString kept_;
};

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

namespace {

std::optional<ParamKey> keyOfField(Model panel, const QString &field)
{
    for (ParamKey key : parameterKeys(panel)) {
        if (parameterSheetKey(key) == field)
            return key;
    }
    return std::nullopt;
}

std::optional<SettingGroup> groupOfField(const QString &unitModel, const QString &field)
{
    for (SettingGroup group : settingGroups(unitModel)) {
        if (settingSheetKey(group) == field)
            return group;
    }
    return std::nullopt;
}

} // namespace

QString SheetOperations::valueName(const QString &field, int profile) const
{
    const std::optional<Model> panel = panelOfUnitModel(unit_.unitModel);
    if (!panel)
        return {};
    if (const std::optional<ParamKey> key = keyOfField(*panel, field);
        key && profile >= 1 && profile <= unitFacts(*panel).profileCount)
        return sheetValueCaption(profile, *key);
    if (const std::optional<SettingGroup> group = groupOfField(unit_.unitModel, field);
        group && profile == 0)
        return settingCaption(*group);
    return {};
}

SheetOperations::LoadResult SheetOperations::checkValue(const QString &field, int profile,
                                                        const QString &value)
{
    LoadResult result;
    const QString name = valueName(field, profile);
    if (name.isEmpty()) {
        result.problem =
            QStringLiteral("A %1 has no value %2 to write back.").arg(unit_.unitModel, field);
        return result;
    }
    const ReadResult unit = readUnit();
    if (unit.outcome != Outcome::Done) {
        result.outcome = unit.outcome;
        result.problem = unit.problem;
        return result;
    }
    ParameterSheet sheet = *unit.sheet;
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    if (const std::optional<ParamKey> key = keyOfField(panel, field)) {
        sheet.profiles[profile - 1].values[*key] = value;
    } else {
        const SettingGroup group = *groupOfField(unit_.unitModel, field);
        if (!settingOption(group, value)) {
            result.outcome = Outcome::Refused;
            result.refusals.push_back(
                {0, field,
                 QStringLiteral("%1 cannot be set to %2.").arg(settingCaption(group), value)});
            return result;
        }
    }
    // What the unit holds elsewhere is not this write's business.
    for (const SheetRefusal &refusal : validateParameterSheet(sheet, unit_.unitModel)) {
        if (refusal.profile == profile)
            result.refusals.push_back(refusal);
    }
    result.outcome = result.refusals.empty() ? Outcome::Done : Outcome::Refused;
    return result;
}

SheetOperations::LoadResult SheetOperations::writeValue(const QString &field, int profile,
                                                        const QString &value)
{
    LoadResult result;
    SharedState &state = session_.state;
    const QString name = valueName(field, profile);
    if (!state.UnitConnected || name.isEmpty()) {
        result.problem =
            state.UnitConnected
                ? QStringLiteral("A %1 has no value %2 to write back.").arg(unit_.unitModel, field)
                : notConnectedText();
        return result;
    }
    const Model panel = *panelOfUnitModel(unit_.unitModel);
    SerialLink &link = session_.link;
    const std::optional<ParamKey> key = keyOfField(panel, field);
    // A drive setting when it is no parameter (valueName knows it is one of the two).
    const SettingGroup group =
        key ? SettingGroup::Direction : *groupOfField(unit_.unitModel, field);
    const QString number = QString::number(profile);
    QByteArray line;
    if (key) {
        line = frame::parameterLine(state.AxisAddress, *key, number, value);
    } else if (const std::optional<Option> option = settingOption(group, value)) {
        line = frame::optionLine(state.AxisAddress, *option);
    } else {
        result.outcome = Outcome::Refused;
        return result;
    }
    if (const QString problem = unitProblem(); !problem.isEmpty()) {
        result.problem = problem;
        return result;
    }
    if (!link.write(line)) {
        result.problem = QStringLiteral("The line to the unit took nothing; nothing was written.");
        return result;
    }
    link.WaitSeconds(0.5);
    result.written = 1;
    // The read-back of the one value, as a load reads back what it wrote.
    const std::optional<QString> reply =
        key ? askUnit(fieldOf(*key), number) : askUnit(settingField(group), state.SelectedProfile);
    if (!reply) {
        result.problem = lastProblem(name);
        return result;
    }
    const QString shown = key ? *reply : settingWordFromReply(panel, group, *reply);
    result.readBack.push_back({profile, field, name, value, shown, shown != value});
    result.outcome = Outcome::Done;
    return result;
}

namespace {

// No sheet comes near this; a larger file is not one.
constexpr qint64 LargestSheet = 1 << 20;

#ifdef Q_OS_UNIX
// What a path is when it is no regular file, for the messages; empty for a
// regular file.
QString kindOfNonFile(mode_t mode)
{
    return S_ISREG(mode) ? QString() : fileKindText(mode);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
#endif

} // namespace

SheetReadResult readSheetFile(const QString &path, QByteArray *bytesRead)
{
#ifdef Q_OS_UNIX
    // A named pipe or a device would block the read or never end it, so the
    // kind is asked before anything is opened, and again of what was opened
    // (without blocking), in case the path changed in between.
    auto notAFile = [&path](const QString &kind) {
        return SheetReadResult{
            std::nullopt,
            QStringLiteral("%1 is not a parameter sheet: it is %2, not a file.").arg(path, kind)};
    };
    const QByteArray name = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(name.constData(), &info) != 0)
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, systemText(errno))};
    if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty())
        return notAFile(kind);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, systemText(errno))};
    QByteArray bytes;
    QString problem;
    if (::fstat(fd, &info) != 0) {
        problem = QStringLiteral("%1 cannot be read: %2.").arg(path, systemText(errno));
    } else if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty()) {
        ::close(fd);
        return notAFile(kind);
    } else {
        // One byte past the bound tells a file that is too large.
        bytes.resize(LargestSheet + 1);
        qint64 got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, std::size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                problem = QStringLiteral("%1 cannot be read: %2.").arg(path, systemText(errno));
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        bytes.truncate(got);
    }
    ::close(fd);
    if (!problem.isEmpty())
        return {std::nullopt, problem};
#else
    QFile file(path);
    if (!QFileInfo(path).isFile())
        return {std::nullopt,
                QStringLiteral("%1 is not a parameter sheet: it is not a file.").arg(path)};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("%1 cannot be opened: %2.").arg(path, file.errorString())};
    const QByteArray bytes = file.read(LargestSheet + 1);
#endif
    if (bytes.size() > LargestSheet)
        return {std::nullopt,
                QStringLiteral("%1 is not a parameter sheet: it is larger than 1 MB.").arg(path)};
    if (bytesRead)
        *bytesRead = bytes;
    return readParameterSheet(bytes, path);
}

QString sheetTargetProblem(const QString &path)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    auto cannot = [&path](const QString &why) {
        return QStringLiteral("%1 cannot be written: %2.").arg(path, why);
    };
#ifdef Q_OS_UNIX
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return cannot(QStringLiteral("the folder %1 does not exist").arg(folder));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return cannot(
            QStringLiteral("the folder %1 is not writable (%2)").arg(folder, systemText(errno)));
    // A link is followed: the sheet replaces the file it names.
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &info) == 0) {
        if (const QString kind = kindOfNonFile(info.st_mode); !kind.isEmpty())
            return cannot(QStringLiteral("it is %1, not a file").arg(kind));
        if (::access(name.constData(), W_OK) != 0)
            return cannot(QStringLiteral("the file is not writable (%1)").arg(systemText(errno)));
    }
#else
    if (!QFileInfo(folder).isDir())
        return cannot(QStringLiteral("the folder %1 does not exist").arg(folder));
    if (target.exists() && !target.isFile())
        return cannot(QStringLiteral("it is not a file"));
#endif
    return {};
}

bool writeSheetFile(const QString &path, const ParameterSheet &sheet, QString *problem)
{
    // QSaveFile writes a pipe or a device in place, and would wait on a pipe.
    if (const QString refused = sheetTargetProblem(path); !refused.isEmpty()) {
        if (problem)
            *problem = refused;
        return false;
    }
    // A sheet that a load or a check would refuse is not written: the unit
    // holds a value outside its limits, and the file would pass it on.
    if (const std::vector<SheetRefusal> refusals = validateParameterSheet(sheet, sheet.unitModel);
        !refusals.empty()) {
        if (problem) {
            QStringList lines;
            for (const SheetRefusal &refusal : refusals)
                lines << refusalLine(refusal);
            *problem = heldValuesRefusedText(lines) + QLatin1Char('\n') + nothingSavedText(path);
        }
        return false;
    }
    if (const Outcome<void> written = writeWholeFile(path, writeParameterSheet(sheet)); !written) {
        if (problem)
            *problem = QStringLiteral("%1 cannot be written: %2.").arg(path, written.problem());
        return false;
    }
    return true;
}

} // namespace ktv
