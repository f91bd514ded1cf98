#include "session/ChangeTracker.h"

#include "protocol/IdentityReply.h"
#include "protocol/ParameterSheet.h"
#include "protocol/ReplyDecoding.h"
#include "protocol/Vocabulary.h"
#include "session/UnitSession.h"

#include <algorithm>

namespace ktv {

namespace {

const QString AxisField = QStringLiteral("axis");

bool isDigits(QByteArrayView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<SettingGroup> groupOfQueryItem(char item)
{
    const std::optional<Field> field = fieldOfQueryItem(item);
    if (!field || isNumericField(*field))
        return std::nullopt;
    for (SettingGroup group :
         {SettingGroup::Direction, SettingGroup::ReducedCurrent, SettingGroup::Resolution,
          SettingGroup::RampDown, SettingGroup::AnalogSpeed})
        if (settingField(group) == *field)
            return group;
    return std::nullopt;
}

// A drive option line's command: "+", "-", "C1", "R8", ...
std::optional<Option> optionOfCommand(QByteArrayView command)
{
    for (int at = 0; at < OptionCount; ++at) {
        const Option option = optionVocabulary()[at].option;
        const QByteArray line = frame::optionLine(QString(), option); // "@" command CR
        if (QByteArrayView(line).sliced(1, line.size() - 2) == command)
            return option;
    }
    return std::nullopt;
}

QString stripped(const QByteArray &bytes)
{
    return StripCarriageReturns(QString::fromLatin1(bytes));
}

} // namespace

ChangeTracker::ChangeTracker(UnitSession &session, Journal *journal, QObject *parent)
    : QObject(parent), session_(session), journal_(journal)
{
    connect(&session.link, &SerialLink::lineWritten, this, &ChangeTracker::onLineWritten);
    // Values come from the exchange's proven answers only: a late reply
    // never settles another change.
    connect(&session.exchange, &UnitExchange::answered, this, &ChangeTracker::onAnswered);
    connect(&session.link, &SerialLink::lineLost, this, [this] { flush(); });
}

ChangeTracker::~ChangeTracker()
{
    flush();
}

QString ChangeTracker::unitModel() const
{
    const auto unit = session_.unitAtAxis();
    return unit ? unit->model : QString();
}

QString ChangeTracker::revision() const
{
    const auto unit = session_.unitAtAxis();
    return unit ? unit->revision : QString();
}

std::optional<ChangeTracker::Query> ChangeTracker::queryOf(const QByteArray &bytes)
{
    if (bytes.size() < 3 || bytes.front() != '@' || bytes.back() != '\r')
        return std::nullopt;
    const QByteArrayView body = QByteArrayView(bytes).sliced(1, bytes.size() - 2);
    if (body == "%")
        return Query{{QString(), AxisField, QString()}, false, {}};
    qsizetype at = 0;
    while (at < body.size() && body[at] >= '0' && body[at] <= '9')
        ++at;
    if (at == 0 || at == body.size())
        return std::nullopt;
    const QString axis = QString::fromLatin1(body.first(at));
    const QByteArrayView command = body.sliced(at);
    if (command == "$")
        return Query{{axis, QString(), QString()}, true, {}};
    if (!command.startsWith('V') || command.size() < 2)
        return std::nullopt;
    const char item = command[1];
    const QByteArrayView profile = command.sliced(2);
    if (const std::optional<ParamKey> key = paramKeyOfLetter(item); key && isDigits(profile))
        return Query{{axis, parameterSheetKey(*key), QString::fromLatin1(profile)},
                     false,
                     {},
                     fieldOf(*key)};
    if (const std::optional<SettingGroup> group = groupOfQueryItem(item);
        group && profile.isEmpty())
        return Query{{axis, settingSheetKey(*group), QString()}, false, {}, settingField(*group)};
    return std::nullopt;
}

void ChangeTracker::onAnswered(const QByteArray &question, const QString &reply)
{
    std::optional<Query> query = queryOf(question);
    if (!query)
        return;
    query->reply = reply.toLatin1();
    finishQuery(*query);
}

void ChangeTracker::onLineWritten(const QByteArray &bytes)
{
    if (bytes.size() < 3 || bytes.front() != '@' || bytes.back() != '\r')
        return;
    const QByteArrayView body = QByteArrayView(bytes).sliced(1, bytes.size() - 2);

    // The axis lines carry no address; the questions are settled by their answers.
    if (body == "%")
        return;
    if (body.startsWith('~') && isDigits(body.sliced(1))) {
        const QString address = QString::fromLatin1(body.sliced(1));
        Pending change{{QString(), AxisField, QString()}, QStringLiteral("Axis"), {}};
        change.entry.field = AxisField;
        change.entry.value = address;
        change.entry.line = bytes;
        change.entry.axis = session_.state.AxisAddress;
        begin(std::move(change));
        return;
    }

    qsizetype at = 0;
    while (at < body.size() && body[at] >= '0' && body[at] <= '9')
        ++at;
    if (at == 0 || at == body.size())
        return;
    const QString axis = QString::fromLatin1(body.first(at));
    const QByteArrayView command = body.sliced(at);

    if (command == "$" || command.startsWith('V'))
        return;

    Pending change;
    change.entry.axis = axis;
    change.entry.line = bytes;
    const qsizetype underscore = command.indexOf('_');
    if (const std::optional<ParamKey> key = paramKeyOfLetter(command[0]);
        key && underscore > 1 && isDigits(command.sliced(1, underscore - 1))) {
        change.key = {axis, parameterSheetKey(*key),
                      QString::fromLatin1(command.sliced(1, underscore - 1))};
        change.caption = parameterCaption(*key);
        change.entry.value = QString::fromLatin1(command.sliced(underscore + 1));
        change.entry.profile = change.key.profile;
    } else if (const std::optional<Option> option = optionOfCommand(command)) {
        const SettingGroup group = *settingGroupOf(*option);
        change.key = {axis, settingSheetKey(group), QString()};
        change.caption = settingCaption(group);
        change.entry.value = settingWordOf(*option);
    } else {
        return; // motion, stops, identification: nothing the unit keeps
    }
    change.entry.field = change.key.field;
    begin(std::move(change));
}

void ChangeTracker::begin(Pending change)
{
    // An earlier change of the same value still waits: the next read-back
    // settles both (leaving a box by a click on its Send button sends twice).
    if (shown_.contains(change.key))
        change.entry.before = shown_.value(change.key);
    pending_.push_back(std::move(change));
}

void ChangeTracker::finishQuery(const Query &query)
{
    // Two answers to one question come from two units: neither is a reading.
    if (answersIn(QString::fromLatin1(query.reply)).size() > 1) {
        if (!query.identity)
            resolve(query.key, std::nullopt);
        return;
    }
    const QString answer = stripped(query.reply);
    if (query.identity) {
        if (parseIdentityReply(answer))
            settleAxisDefine(query.key.axis, answer.left(6), answer.mid(8, 4).trimmed());
        return;
    }
    if (!query.key.axis.isEmpty() && !answer.trimmed().isEmpty())
        settleAxisDefine(query.key.axis, QString(), QString());
    // Only a whole reply valid for its query settles a change; anything else
    // (nothing, half a reply, "77" for an option) is no reading.
    const std::optional<QString> valid =
        query.key.field == AxisField
            ? std::optional<QString>(answer)
            : decode::validReply(query.field, QString::fromLatin1(query.reply));
    if (query.reply.isEmpty() || !valid) {
        resolve(query.key, std::nullopt);
        return;
    }
    QString shown = *valid;
    for (SettingGroup group :
         {SettingGroup::Direction, SettingGroup::ReducedCurrent, SettingGroup::Resolution,
          SettingGroup::RampDown, SettingGroup::AnalogSpeed}) {
        if (settingSheetKey(group) != query.key.field)
            continue;
        // The read-back decodes for the panel of the unit connected; a unit
        // at another axis nothing has asked is read the same way.
        const auto unit = session_.unitAt(query.key.axis);
        const Model panel = panelOfUnitModel(unit ? unit->model : session_.identifiedModel())
                                .value_or(Model::KTRA10);
        shown = settingWordFromReply(panel, group, shown);
    }
    shown_.insert(query.key, shown);
    resolve(query.key, shown);
}

bool ChangeTracker::sameValue(const ValueKey &key, const QString &written,
                              const QString &shown) const
{
    if (key.field == AxisField)
        return written.toInt() == shown.trimmed().toInt();
    return written == shown;
}

void ChangeTracker::resolve(const ValueKey &key, const std::optional<QString> &shown)
{
    std::vector<Pending> settled;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->key == key) {
            settled.push_back(std::move(*it));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (std::size_t i = 0; i < settled.size(); ++i) {
        // A write that a later one of the same value overwrote before any
        // read-back is confirmed when it wrote what the unit holds; otherwise
        // nothing tells whether the unit ever took it.
        const bool overwritten = i + 1 < settled.size();
        const bool held = shown && sameValue(key, settled[i].entry.value, *shown);
        record(std::move(settled[i]), overwritten && !held ? std::nullopt : shown);
    }
}

void ChangeTracker::settleAxisDefine(const QString &address, const QString &model,
                                     const QString &revision)
{
    const int at = address.toInt();
    for (auto it = pending_.begin(); it != pending_.end();) {
        const JournalEntry &entry = it->entry;
        const bool atNew = entry.value.toInt() == at;
        const bool atOld = entry.before && entry.before->trimmed().toInt() == at;
        if (it->key.field != AxisField || (!atNew && !atOld)) {
            ++it;
            continue;
        }
        // The unit answers at the new address (it took it) or still at its
        // old one (it did not).
        Pending done = std::move(*it);
        it = pending_.erase(it);
        const auto known = session_.unitAt(address);
        done.entry.unitModel = model.isEmpty() && known ? known->model : model;
        done.entry.revision = model.isEmpty() && known ? known->revision : revision;
        record(std::move(done), QString::number(at));
    }
}

void ChangeTracker::flush()
{
    std::vector<Pending> left;
    left.swap(pending_);
    for (Pending &pending : left)
        record(std::move(pending), std::nullopt);
}

void ChangeTracker::record(Pending pending, const std::optional<QString> &after)
{
    JournalEntry &entry = pending.entry;
    entry.time = QDateTime::currentDateTimeUtc();
    // The model belongs to the axis the line went to, as far as a question
    // there has told; the journal never asks one of its own.
    if (entry.unitModel.isEmpty()) {
        if (const auto unit = session_.unitAt(entry.axis)) {
            entry.unitModel = unit->model;
            entry.revision = unit->revision;
        }
    }
    entry.after = after;
    if (!after) {
        entry.verdict = JournalVerdict::NotReadBack;
    } else if (sameValue(pending.key, entry.value, *after)) {
        entry.verdict = JournalVerdict::Confirmed;
    } else {
        entry.verdict = JournalVerdict::NotHeld;
        // A profile's value names its profile (as Compare does): the panels
        // may show another by now.
        const QString what = profileValueName(entry.profile.toInt(), pending.caption);
        emit notHeld(
            QStringLiteral("%1: sent %2, the unit holds %3").arg(what, entry.value, *after));
    }
    if (!journal_)
        return;
    QString problem;
    if (writer_)
        writer_->append(entry);
    else if (!journal_->append(entry, &problem))
        warnOnce(problem);
}

void ChangeTracker::writeOnThread(JournalWriter *writer)
{
    writer_ = writer;
    connect(writer, &JournalWriter::failed, this, &ChangeTracker::warnOnce);
}

void ChangeTracker::warnOnce(const QString &problem)
{
    if (warned_)
        return;
    warned_ = true;
    emit journalWarning(problem);
}

} // namespace ktv
