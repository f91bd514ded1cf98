#include "protocol/ParameterSheet.h"

#include "protocol/CommandFrame.h"
#include "protocol/ParameterLimits.h"
#include "protocol/ReplyDecoding.h"
#include "protocol/SheetComparison.h"
#include "protocol/UnitCatalogue.h"
#include "protocol/Vocabulary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <cmath>

namespace ktv {

namespace {

constexpr SettingGroup AllGroups[] = {SettingGroup::Direction, SettingGroup::ReducedCurrent,
                                      SettingGroup::Resolution, SettingGroup::RampDown,
                                      SettingGroup::AnalogSpeed};

constexpr ParamKey AllKeys[] = {ParamKey::Accel, ParamKey::Base,     ParamKey::Max,
                                ParamKey::Index, ParamKey::Complete, ParamKey::Lower,
                                ParamKey::Upper};

std::optional<ParamKey> paramKeyOfSheetKey(const QString &name)
{
    for (ParamKey key : AllKeys) {
        if (parameterSheetKey(key) == name)
            return key;
    }
    return std::nullopt;
}

std::optional<SettingGroup> groupOfSheetKey(const QString &name)
{
    for (SettingGroup group : AllGroups) {
        if (settingSheetKey(group) == name)
            return group;
    }
    return std::nullopt;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The time as saved: whole seconds unless the sheet had milliseconds.
QString isoText(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    return utc.toString(utc.time().msec() != 0 ? Qt::ISODateWithMs : Qt::ISODate);
}

// A key an object of the document names twice, and where: the names of
// the objects and the places in lists above it ("profiles", "1",
// "parameters"). JSON readers keep one of the two without a word; a sheet
// must not leave it to chance which value a unit gets. The bytes are a
// document that parsed.
struct TwiceNamed
{
    QString key;
    QStringList path;
};

std::optional<TwiceNamed> keyNamedTwice(const QByteArray &bytes)
{
    struct Level
    {
        bool object = false;
        QString name; // its place in the level above
        QStringList keys;
        QString lastKey;
        int index = 0;
        bool expectKey = false;
    };
    std::vector<Level> levels;
    auto path = [&levels] {
        QStringList names;
        for (std::size_t i = 1; i < levels.size(); ++i)
            names << levels[i].name;
        return names;
    };
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"') {
            const qsizetype start = i;
            for (++i; i < bytes.size() && bytes[i] != '"'; ++i)
                if (bytes[i] == '\\')
                    ++i;
            if (levels.empty() || !levels.back().object || !levels.back().expectKey)
                continue;
            // The key as the reader sees it, escapes and all.
            const QByteArray literal = '[' + bytes.mid(start, i - start + 1) + ']';
            const QString key = QJsonDocument::fromJson(literal).array().at(0).toString();
            Level &level = levels.back();
            if (level.keys.contains(key))
                return TwiceNamed{key, path()};
            level.keys << key;
            level.lastKey = key;
            level.expectKey = false;
        } else if (c == '{' || c == '[') {
            QString name;
            if (!levels.empty())
                name = levels.back().object ? levels.back().lastKey
                                            : QString::number(levels.back().index + 1);
            levels.push_back({c == '{', name, {}, {}, 0, c == '{'});
        } else if ((c == '}' || c == ']') && !levels.empty()) {
            levels.pop_back();
        } else if (c == ',' && !levels.empty()) {
            if (levels.back().object)
                levels.back().expectKey = true;
            else
                ++levels.back().index;
        }
    }
    return std::nullopt;
}

class SheetReader
{
  public:
    explicit SheetReader(const QString &fileName) : fileName_(fileName) {}

    SheetReadResult read(const QByteArray &bytes)
    {
        QJsonParseError parseError{};
        const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
        if (parseError.error != QJsonParseError::NoError)
            return failed(QStringLiteral("%1 is damaged or incomplete: %2 at character %3.")
                              .arg(fileName_, parseError.errorString())
                              .arg(parseError.offset));
        if (!document.isObject())
            return failed(QStringLiteral("%1 is not a parameter sheet: it holds no JSON object.")
                              .arg(fileName_));
        const QJsonObject root = document.object();
        const QJsonValue format = root.value(QLatin1String("format"));
        if (format.toString() != sheetFormatName())
            return failed(QStringLiteral("%1 is not a parameter sheet of this program: its format "
                                         "is %2, not \"ktraveld-sheet\".")
                              .arg(fileName_, format.isString() ? quoted(format.toString())
                                                                : QStringLiteral("not named")));
        const QJsonValue version = root.value(QLatin1String("version"));
        const double number = version.toDouble(-1);
        if (!version.isDouble() || number < 1 || number != std::floor(number))
            return damaged(QStringLiteral("\"version\" is missing or not a whole number from 1"));
        if (number > SheetVersion)
            return failed(QStringLiteral("%1 was saved by a newer program (sheet version %2); "
                                         "this program reads sheet version %3.")
                              .arg(fileName_)
                              .arg(number, 0, 'f', 0)
                              .arg(SheetVersion));
        if (const std::optional<TwiceNamed> twice = keyNamedTwice(bytes))
            return damaged(twiceNamedText(*twice));

        ParameterSheet sheet;
        if (!text(root, QStringLiteral("model"), &sheet.unitModel) ||
            !text(root, QStringLiteral("revision"), &sheet.revision) ||
            !text(root, QStringLiteral("axis"), &sheet.axis))
            return damaged(problem_);
        const std::optional<Model> panel = panelOfUnitModel(sheet.unitModel);
        if (!panel)
            return damaged(QStringLiteral("the unit model %1 is not one this program knows")
                               .arg(quoted(sheet.unitModel)));
        QString saved;
        if (!text(root, QStringLiteral("saved"), &saved))
            return damaged(problem_);
        sheet.saved = QDateTime::fromString(saved, Qt::ISODateWithMs);
        if (!sheet.saved.isValid())
            return damaged(QStringLiteral("\"saved\" is not a date and time in ISO 8601"));
        sheet.saved = sheet.saved.toUTC();

        if (!readProfiles(root, *panel, sheet) || !readSettings(root, sheet))
            return damaged(problem_);
        return {std::move(sheet), QString()};
    }

  private:
    SheetReadResult failed(const QString &error) { return {std::nullopt, error}; }
    static QString twiceNamedText(const TwiceNamed &twice)
    {
        const QStringList &path = twice.path;
        if (path.size() == 3 && path[0] == QLatin1String("profiles") &&
            path[2] == QLatin1String("parameters"))
            return QStringLiteral("profile %1 names %2 twice").arg(path[1], quoted(twice.key));
        if (path == QStringList{QStringLiteral("options")})
            return QStringLiteral("the options name %1 twice").arg(quoted(twice.key));
        if (path.isEmpty())
            return QStringLiteral("it names %1 twice").arg(quoted(twice.key));
        return QStringLiteral("%1 names %2 twice")
            .arg(quoted(path.join(QLatin1Char('/'))), quoted(twice.key));
    }
    SheetReadResult damaged(const QString &what)
    {
        return failed(QStringLiteral("%1 is damaged: %2.").arg(fileName_, what));
    }
    bool problem(const QString &what)
    {
        problem_ = what;
        return false;
    }

    bool text(const QJsonObject &object, const QString &name, QString *out)
    {
        const QJsonValue value = object.value(name);
        if (!value.isString())
            return problem(QStringLiteral("%1 is missing or not a text").arg(quoted(name)));
        *out = value.toString();
        return true;
    }

    bool readProfiles(const QJsonObject &root, Model panel, ParameterSheet &sheet)
    {
        const QJsonValue list = root.value(QLatin1String("profiles"));
        if (!list.isArray())
            return problem(QStringLiteral("\"profiles\" is missing or not a list"));
        const QJsonArray profiles = list.toArray();
        const int count = unitFacts(panel).profileCount;
        if (profiles.size() != count)
            return problem(QStringLiteral("it holds %1 profiles; a %2 keeps %3")
                               .arg(profiles.size())
                               .arg(sheet.unitModel)
                               .arg(count));
        const std::vector<ParamKey> keys = parameterKeys(panel);
        for (int i = 0; i < count; ++i) {
            const QJsonObject entry = profiles.at(i).toObject();
            const int number = i + 1;
            if (entry.value(QLatin1String("profile")).toDouble(-1) != number)
                return problem(
                    QStringLiteral("entry %1 of \"profiles\" is not profile %1").arg(number));
            const QJsonValue parameters = entry.value(QLatin1String("parameters"));
            if (!parameters.isObject())
                return problem(
                    QStringLiteral("profile %1 has no \"parameters\" object").arg(number));
            const QJsonObject values = parameters.toObject();
            SheetProfile profile;
            profile.number = number;
            for (auto it = values.begin(); it != values.end(); ++it) {
                const std::optional<ParamKey> key = paramKeyOfSheetKey(it.key());
                if (!key || std::find(keys.begin(), keys.end(), *key) == keys.end())
                    return problem(QStringLiteral("profile %1 holds %2, which a %3 has not")
                                       .arg(number)
                                       .arg(quoted(it.key()), sheet.unitModel));
            }
            for (ParamKey key : keys) {
                QString value;
                if (!text(values, parameterSheetKey(key), &value))
                    return problem(QStringLiteral("in profile %1, %2").arg(number).arg(problem_));
                profile.values.emplace(key, value);
            }
            sheet.profiles.push_back(std::move(profile));
        }
        return true;
    }

    bool readSettings(const QJsonObject &root, ParameterSheet &sheet)
    {
        const QJsonValue options = root.value(QLatin1String("options"));
        if (!options.isObject())
            return problem(QStringLiteral("\"options\" is missing or not an object"));
        const QJsonObject object = options.toObject();
        const std::vector<SettingGroup> groups = settingGroups(sheet.unitModel);
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::optional<SettingGroup> group = groupOfSheetKey(it.key());
            if (!group || std::find(groups.begin(), groups.end(), *group) == groups.end())
                return problem(QStringLiteral("the options hold %1, which a %2 has not")
                                   .arg(quoted(it.key()), sheet.unitModel));
        }
        for (SettingGroup group : groups) {
            QString word;
            if (!text(object, settingSheetKey(group), &word))
                return problem(QStringLiteral("in the options, %1").arg(problem_));
            const QStringList words = settingWords(group);
            if (!words.contains(word))
                return problem(QStringLiteral("option %1 is %2; it takes %3")
                                   .arg(quoted(settingSheetKey(group)), quoted(word),
                                        words.join(QStringLiteral(", "))));
            sheet.settings.emplace(group, word);
        }
        return true;
    }

    QString fileName_;
    QString problem_;
};

} // namespace

QString sheetFormatName()
{
    return QStringLiteral("ktraveld-sheet");
}

QString parameterSheetKey(ParamKey key)
{
    return QString::fromLatin1(termOf(key).sheetKey);
}

QString settingSheetKey(SettingGroup group)
{
    return QString::fromLatin1(termOf(settingField(group)).sheetKey);
}

QString parameterCaption(ParamKey key)
{
    return QString::fromLatin1(termOf(key).caption);
}

QString settingCaption(SettingGroup group)
{
    return QString::fromLatin1(termOf(settingField(group)).caption);
}

QStringList settingWords(SettingGroup group)
{
    return optionWords(settingField(group));
}

Field settingField(SettingGroup group)
{
    switch (group) {
    case SettingGroup::Direction:
        return Field::Direction;
    case SettingGroup::ReducedCurrent:
        return Field::ReducedCurrent;
    case SettingGroup::Resolution:
        return Field::Resolution;
    case SettingGroup::RampDown:
        return Field::RampDown;
    case SettingGroup::AnalogSpeed:
        return Field::AnalogSpeed;
    }
    return Field::ErrorCode;
}

std::optional<SettingGroup> settingGroupOf(Option option)
{
    // The group whose read-back field the option sets.
    const Field field = optionField(option);
    for (const SettingGroup group : AllGroups)
        if (settingField(group) == field)
            return group;
    return std::nullopt;
}

QString settingWordOf(Option option)
{
    return QString::fromLatin1(termOf(option).word);
}

std::optional<Option> settingOption(SettingGroup group, const QString &word)
{
    return optionOfWord(settingField(group), word);
}

QString settingWordFromReply(Model panel, SettingGroup group, const QString &reply)
{
    switch (group) {
    case SettingGroup::Direction:
        return decode::direction(reply).toLower();
    case SettingGroup::ReducedCurrent:
    case SettingGroup::AnalogSpeed:
        return decode::onOff(reply).toLower();
    case SettingGroup::Resolution:
        return QString::number(decode::resolutionSetting(reply));
    case SettingGroup::RampDown:
        return decode::rampDown(panel, reply).toLower();
    }
    return {};
}

std::vector<SettingGroup> settingGroups(const QString &unitModel)
{
    std::vector<SettingGroup> groups;
    const std::optional<Model> panel = panelOfUnitModel(unitModel);
    if (!panel)
        return groups;
    for (Option option : unitFacts(*panel).options) {
        const SettingGroup group = *settingGroupOf(option);
        if (!unitModelHolds(unitModel, settingField(group)))
            continue;
        if (std::find(groups.begin(), groups.end(), group) == groups.end())
            groups.push_back(group);
    }
    return groups;
}

const QString *ParameterSheet::value(int profile, ParamKey key) const
{
    for (const SheetProfile &entry : profiles) {
        if (entry.number != profile)
            continue;
        const auto it = entry.values.find(key);
        return it == entry.values.end() ? nullptr : &it->second;
    }
    return nullptr;
}

QByteArray writeParameterSheet(const ParameterSheet &sheet)
{
    QJsonObject root;
    root.insert(QLatin1String("format"), sheetFormatName());
    root.insert(QLatin1String("version"), SheetVersion);
    root.insert(QLatin1String("model"), sheet.unitModel);
    root.insert(QLatin1String("revision"), sheet.revision);
    root.insert(QLatin1String("axis"), sheet.axis);
    root.insert(QLatin1String("saved"), isoText(sheet.saved));
    QJsonArray profiles;
    for (const SheetProfile &profile : sheet.profiles) {
        QJsonObject parameters;
        for (const auto &[key, value] : profile.values)
            parameters.insert(parameterSheetKey(key), value);
        profiles.append(QJsonObject{{QLatin1String("profile"), profile.number},
                                    {QLatin1String("parameters"), parameters}});
    }
    root.insert(QLatin1String("profiles"), profiles);
    QJsonObject options;
    for (const auto &[group, word] : sheet.settings)
        options.insert(settingSheetKey(group), word);
    root.insert(QLatin1String("options"), options);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

SheetReadResult readParameterSheet(const QByteArray &bytes, const QString &fileName)
{
    return SheetReader(fileName).read(bytes);
}

QString refusalLine(const SheetRefusal &refusal)
{
    if (refusal.profile == 0)
        return refusal.text;
    // Named as the panels name it; the sheet key is the file's word.
    const std::optional<Field> field = fieldOfSheetKey(refusal.key);
    const QString name = field ? fieldName(*field) : refusal.key;
    return profileValueName(refusal.profile, name) + QStringLiteral(": ") + refusal.text;
}

std::vector<LoadStep> loadPlan(const ParameterSheet &sheet, const QString &unitModel,
                               const QString &axis)
{
    std::vector<LoadStep> plan;
    const std::optional<Model> panel = panelOfUnitModel(unitModel);
    if (!panel)
        return plan;
    for (const SheetProfile &profile : sheet.profiles) {
        const QString number = QString::number(profile.number);
        for (ParamKey key : parameterKeys(*panel)) {
            if (const QString *value = sheet.value(profile.number, key))
                plan.push_back({sheetValueCaption(profile.number, key),
                                frame::parameterLine(axis, key, number, *value), profile.number,
                                key, std::nullopt, *value});
        }
    }
    for (SettingGroup group : settingGroups(unitModel)) {
        const auto it = sheet.settings.find(group);
        if (it == sheet.settings.end())
            continue; // a VELD50 sheet holds no resolution for a VELD30
        plan.push_back({settingCaption(group),
                        frame::optionLine(axis, *settingOption(group, it->second)), 0, std::nullopt,
                        group, it->second});
    }
    return plan;
}

QString profileValueName(int profile, const QString &caption)
{
    return profile > 0 ? QStringLiteral("Profile %1, %2").arg(profile).arg(caption) : caption;
}

namespace {

// The most digits a value of the box may have.
int unitValueLength(Model panel, ParamKey key)
{
    const ParameterLimit *limit = findParameterLimit(panel, key);
    if (!limit)
        return 0;
    if (limit->maxLength > 0)
        return limit->maxLength;
    return int(QString::number(qint64(std::max(limit->upper, limit->upperLeave))).size());
}

std::optional<QString> unitValueRefusal(Model panel, ParamKey key, const QString &value)
{
    const int length = unitValueLength(panel, key);
    const bool digits = !value.isEmpty() && value.size() <= length &&
                        std::all_of(value.begin(), value.end(), [](QChar c) {
                            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                        });
    if (digits)
        return std::nullopt;
    return QStringLiteral("%1 is not a value a unit holds: 1 to %2 digits.")
        .arg(quoted(value))
        .arg(length);
}

// The text check first: its message names a control character without
// printing it.
std::optional<QString> plainValueRefusal(Model panel, ParamKey key, const QString &value)
{
    if (std::optional<QString> warning = CheckParameterText(panel, key, value))
        return warning;
    return unitValueRefusal(panel, key, value);
}

QString valueOf(const SheetProfile &profile, ParamKey key)
{
    const auto it = profile.values.find(key);
    return it == profile.values.end() ? QString() : it->second;
}

} // namespace

std::vector<SheetRefusal> sheetValueRefusals(const ParameterSheet &sheet)
{
    std::vector<SheetRefusal> refusals;
    const std::optional<Model> panel = panelOfUnitModel(sheet.unitModel);
    if (!panel)
        return refusals;
    for (const SheetProfile &profile : sheet.profiles)
        for (ParamKey key : parameterKeys(*panel))
            if (const auto refusal = plainValueRefusal(*panel, key, valueOf(profile, key)))
                refusals.push_back({profile.number, parameterSheetKey(key), *refusal});
    return refusals;
}

std::vector<SheetRefusal> validateParameterSheet(const ParameterSheet &sheet,
                                                 const QString &unitModel)
{
    const std::optional<Model> panel = panelOfUnitModel(unitModel);
    const std::optional<Model> sheetPanel = panelOfUnitModel(sheet.unitModel);
    if (!panel || panel != sheetPanel)
        return {{0, QString(),
                 QStringLiteral("This sheet is for a %1 and cannot be loaded into a %2.")
                     .arg(sheet.unitModel, unitModel)}};

    std::vector<SheetRefusal> refusals;
    const std::vector<ParamKey> keys = parameterKeys(*panel);
    for (const SheetProfile &profile : sheet.profiles) {
        const auto boxText = [&profile](ParamKey key) { return valueOf(profile, key); };
        // A value that is no number would only make the order checks of the
        // others read it as 0.
        const bool plain = std::none_of(keys.begin(), keys.end(), [&](ParamKey key) {
            return plainValueRefusal(*panel, key, boxText(key)).has_value();
        });
        // The order checks are those of a connected unit; a profile with a
        // value no unit holds is not compared.
        for (ParamKey key : keys) {
            const EntryVerdict verdict =
                CheckParameterEntry(*panel, key, EntryPath::Send, boxText, plain, unitValueRefusal);
            if (verdict.kind == EntryVerdict::Kind::Refused)
                refusals.push_back({profile.number, parameterSheetKey(key), verdict.message});
        }
    }
    return refusals;
}

} // namespace ktv
