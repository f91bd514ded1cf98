#include "protocol/ReplyDecoding.h"

#include "protocol/LineMeaning.h"

#include <QByteArray>
#include <charconv>
#include <system_error>

namespace ktv::decode {

namespace {

bool startsWith(const QString &reply, char digit)
{
    return !reply.isEmpty() && reply.front() == QLatin1Char(digit);
}

bool isWhiteSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') ||
           c == QLatin1Char('\n');
}

// The whole reply, white space and CR around it ignored, read as one decimal
// number ("1", "+1", "1.0", "0.1e1"). Anything else, an empty reply included,
// is not a number.
bool readsAsOne(const QString &rawReply)
{
    qsizetype first = 0;
    qsizetype end = rawReply.size();
    while (first < end && isWhiteSpace(rawReply.at(first)))
        ++first;
    while (end > first && isWhiteSpace(rawReply.at(end - 1)))
        --end;
    if (first == end)
        return false;
    for (qsizetype i = first; i < end; ++i) {
        const char16_t c = rawReply.at(i).unicode();
        const bool fits = (c >= u'0' && c <= u'9') || c == u'.' || c == u'+' || c == u'-' ||
                          c == u'e' || c == u'E';
        if (!fits)
            return false; // also keeps "inf", "nan" and hexadecimal out
    }
    QByteArray text = rawReply.mid(first, end - first).toLatin1();
    if (text.startsWith('+')) {
        text.remove(0, 1);
        if (text.startsWith('-') || text.startsWith('+'))
            return false;
    }
    double value = 0.0;
    const char *const last = text.constData() + text.size();
    const auto [stop, error] = std::from_chars(text.constData(), last, value);
    if (stop != last)
        return false;
    if (error == std::errc::result_out_of_range)
        return false; // far too large or too small to be 1
    return error == std::errc() && value == 1.0;
}

} // namespace

namespace {

bool allDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

} // namespace

std::optional<QString> wholeReply(const QString &raw)
{
    if (!raw.endsWith(QLatin1Char('\r')))
        return std::nullopt;
    const QString text = raw.chopped(1);
    // A second CR is a second reply (a late one, or another unit's); an LF
    // is no part of a unit's answer.
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        return std::nullopt;
    return text;
}

std::optional<QString> validReply(Field field, const QString &raw)
{
    const std::optional<QString> text = wholeReply(raw);
    if (!text)
        return std::nullopt;
    bool valid = false;
    switch (field) {
    case Field::Accel:
    case Field::Base:
    case Field::Max:
    case Field::Index:
    case Field::Complete:
    case Field::Lower:
    case Field::Upper:
    case Field::ErrorCode:
        valid = allDigits(*text);
        break;
    case Field::Direction:
    case Field::AnalogSpeed:
    case Field::ReducedCurrent:
    case Field::RampDown:
        valid = *text == QLatin1String("1") || *text == QLatin1String("0");
        break;
    case Field::Resolution:
        valid = *text == QLatin1String("1") || *text == QLatin1String("2") ||
                *text == QLatin1String("4") || *text == QLatin1String("8");
        break;
    }
    return valid ? text : std::nullopt;
}

std::optional<QString> validAddressReply(const QString &raw)
{
    const std::optional<QString> text = wholeReply(raw);
    if (!text || text->size() > 2 || !allDigits(*text))
        return std::nullopt;
    return text;
}

QString direction(const QString &reply)
{
    return optionCaption(startsWith(reply, '1') ? Option::CW : Option::CCW);
}

QString onOff(const QString &reply)
{
    return optionCaption(startsWith(reply, '1') ? Option::RCYes : Option::RCNo);
}

int resolutionSetting(const QString &reply)
{
    // A unit at 16 microsteps answers "16" and is shown as setting 1.
    if (startsWith(reply, '1'))
        return 1;
    if (startsWith(reply, '2'))
        return 2;
    if (startsWith(reply, '4'))
        return 4;
    return 8;
}

Option resolutionOption(int setting)
{
    switch (setting) {
    case 1:
        return Option::Res1;
    case 2:
        return Option::Res2;
    case 4:
        return Option::Res4;
    default:
        return Option::Res8;
    }
}

QString rampDown(Model model, const QString &rawReply)
{
    bool yes = false;
    if (model == Model::KTRA10 || model == Model::KTRA20)
        yes = readsAsOne(rawReply);
    else
        yes = startsWith(rawReply, '1');
    return optionCaption(yes ? Option::RampDownYes : Option::RampDownNo);
}

} // namespace ktv::decode

namespace ktv {

QStringList answersIn(const QString &raw)
{
    return raw.split(QLatin1Char('\r'), Qt::SkipEmptyParts);
}

QString replyProblemText(const QString &raw)
{
    const bool whole = raw.endsWith(QLatin1Char('\r'));
    const QByteArray bytes = (whole ? raw.chopped(1) : raw).toLatin1();
    return QStringLiteral("%1 reply \"%2\"")
        .arg(whole ? QStringLiteral("unreadable") : QStringLiteral("incomplete"),
             lineDisplayText(bytes));
}

} // namespace ktv
