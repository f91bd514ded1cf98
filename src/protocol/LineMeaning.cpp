#include "protocol/LineMeaning.h"

#include "protocol/CommandFrame.h"
#include "protocol/Vocabulary.h"

#include <algorithm>

namespace ktv {

namespace {

constexpr Option AllOptions[] = {Option::CW,         Option::CCW,      Option::RCYes,
                                 Option::RCNo,       Option::Res1,     Option::Res2,
                                 Option::Res4,       Option::Res8,     Option::RampDownYes,
                                 Option::RampDownNo, Option::AnalogOn, Option::AnalogOff};

constexpr Field AllFields[] = {
    Field::Accel,      Field::Base,     Field::Max,       Field::Index,       Field::Complete,
    Field::Lower,      Field::Upper,    Field::Direction, Field::AnalogSpeed, Field::ReducedCurrent,
    Field::Resolution, Field::RampDown, Field::ErrorCode};

QString withProfile(const QString &text, char profile)
{
    return text + QStringLiteral(", profile ") + QLatin1Char(profile);
}

// The meaning of an addressed line with the address taken out ("@VA1\r").
std::optional<QString> addressedMeaning(const QByteArray &probe)
{
    const QString none;
    // A profile is one digit: the last one of a query or Begin Motion, the
    // one after the letter of a parameter send.
    const char last = probe.size() >= 3 ? probe[probe.size() - 2] : '\0';
    const bool lastIsProfile = last >= '1' && last <= '9';
    const QString profileText = QString(QLatin1Char(last));

    for (Option option : AllOptions)
        if (probe == frame::optionLine(none, option))
            return QStringLiteral("set %1 %2")
                .arg(fieldName(optionField(option)), optionCaption(option));
    for (Field field : AllFields) {
        if (isNumericField(field)) {
            if (lastIsProfile && probe == frame::queryLine(none, field, profileText))
                return withProfile(QStringLiteral("read ") + fieldName(field), last);
        } else if (probe == frame::queryLine(none, field, none)) {
            return QStringLiteral("read ") + fieldName(field);
        }
    }
    // A parameter send carries the entry text as the operator typed it.
    if (probe.size() >= 5 && probe[2] >= '1' && probe[2] <= '9' && probe[3] == '_') {
        if (const std::optional<ParamKey> key = paramKeyOfLetter(probe[1]))
            return withProfile(QStringLiteral("set ") + fieldName(fieldOf(*key)), probe[2]);
    }
    if (lastIsProfile && probe == frame::motionLine(none, frame::Motion::Go, profileText))
        return withProfile(QStringLiteral("Begin Motion"), last);
    if (probe == frame::motionLine(none, frame::Motion::StopSoft, none))
        return QStringLiteral("Soft Limit stop");
    if (probe == frame::motionLine(none, frame::Motion::StopAll, none))
        return QStringLiteral("Hard Limit stop");
    if (probe == frame::modelQuery(none))
        return QStringLiteral("read Model and Revision");
    return std::nullopt;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

QString lineDisplayText(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == frame::CR)
            text += QChar(0x23CE);
        else if (u >= 0x20 && u < 0x7F)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x") +
                    QString::number(u, 16).rightJustified(2, QLatin1Char('0')).toUpper();
    }
    return text;
}

std::optional<QString> lineMeaning(const QByteArray &line)
{
    if (line == frame::loneCarriageReturn())
        return QStringLiteral("wake up (lone CR)");
    if (line == frame::addressQueryLine())
        return QStringLiteral("read Axis Address");
    if (!line.startsWith('@') || !line.endsWith(frame::CR))
        return std::nullopt;
    const QByteArray body = line.mid(1, line.size() - 2);
    if (body.startsWith('~')) {
        const QByteArray address = body.mid(1);
        if (address.isEmpty() || !std::all_of(address.begin(), address.end(), isDigit))
            return std::nullopt;
        return QStringLiteral("set Axis Address ") + QString::fromLatin1(address);
    }
    qsizetype digits = 0;
    while (digits < body.size() && isDigit(body[digits]))
        ++digits;
    if (digits == 0 || digits == body.size())
        return std::nullopt;
    return addressedMeaning('@' + body.mid(digits) + frame::CR);
}

} // namespace ktv
