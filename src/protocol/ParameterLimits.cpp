#include "protocol/ParameterLimits.h"

#include "protocol/Vocabulary.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace ktv {

namespace {

// The name a key goes by in the warnings.
QString rangeName(ParamKey key)
{
    return QString::fromLatin1(termOf(key).rangeName);
}

QString limitMessage(ParamKey key, const char *which, const char *limitText)
{
    return QStringLiteral("Waring: The ") + rangeName(key) + QLatin1Char(' ') +
           QLatin1String(which) + QStringLiteral(" limit is ") + QLatin1String(limitText);
}

// One row; the limit texts are the numbers as the warnings write them.
ParameterLimit row(Model model, ParamKey key, double lower, const char *lowerText, double upper,
                   const char *upperText, const char *defaultText, int maxLength)
{
    const QString upperMessage = limitMessage(key, "upper", upperText);
    return ParameterLimit{model,        key,
                          lower,        upper,
                          upper,        QLatin1String(defaultText),
                          maxLength,    limitMessage(key, "lower", lowerText),
                          upperMessage, upperMessage};
}

std::vector<ParameterLimit> buildLimits()
{
    using K = ParamKey;
    using M = Model;
    std::vector<ParameterLimit> rows = {
        row(M::KTRA10, K::Accel, 1, "1", 255, "255", "10", 0),
        row(M::KTRA10, K::Base, 77, "77", 5000, "5,000", "500", 0),
        row(M::KTRA10, K::Max, 77, "77", 15000, "15,000", "5000", 0),
        row(M::KTRA20, K::Accel, 1, "1", 255, "255", "10", 3),
        row(M::KTRA20, K::Base, 154, "154", 5000, "5,000", "500", 4),
        row(M::KTRA20, K::Max, 154, "154", 50000, "50,000", "5000", 5),
        row(M::KTRA20, K::Lower, 154, "154", 50000, "50,000", "1000", 5),
        row(M::KTRA20, K::Upper, 154, "154", 50000, "50,000", "20000", 5),
        row(M::KTRA30, K::Accel, 100, "100", 9999999, "9,999,999", "10000", 0),
        row(M::KTRA30, K::Base, 1, "1", 5000, "5,000", "500", 0),
        row(M::KTRA30, K::Max, 1, "1", 50000, "50,000", "5000", 0),
        row(M::VELD10, K::Accel, 100, "100", 9999999, "9,999,999", "10000", 7),
        row(M::VELD10, K::Base, 1, "1", 5000, "5,000", "500", 4),
        row(M::VELD10, K::Max, 1, "1", 50000, "50,000", "5000", 5),
        row(M::VELD10, K::Index, 0, "0", 8388607, "8,388,607", "0", 7),
        row(M::VELD20, K::Accel, 100, "100", 9999999, "9,999,999", "10000", 7),
        row(M::VELD20, K::Base, 1, "1", 5000, "5,000", "500", 4),
        row(M::VELD20, K::Max, 1, "1", 50000, "50,000", "5000", 5),
        row(M::VELD20, K::Index, 0, "0", 8388607, "8,388,607", "0", 7),
        row(M::VELD20, K::Complete, 1, "1", 1000, "1,000", "50", 7),
        row(M::VELD30, K::Accel, 100, "100", 9999999, "9,999,999", "10000", 7),
        row(M::VELD30, K::Base, 1, "1", 5000, "5,000", "500", 4),
        row(M::VELD30, K::Max, 1, "1", 50000, "50,000", "5000", 5),
        row(M::VELD30, K::Index, 0, "0", 8388607, "8,388,607", "0", 7),
        row(M::VELD30, K::Complete, 1, "1", 1000, "1,000", "50", 7),
    };
    // Leaving the VELD10 Accel box allows one step more than its Send button.
    for (ParameterLimit &limit : rows) {
        if (limit.model == M::VELD10 && limit.key == K::Accel) {
            limit.upperLeave = 10000000;
            limit.upperLeaveMessage = limitMessage(K::Accel, "upper", "10,000,000");
        }
    }
    return rows;
}

bool isIgnoredInNumber(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool isDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// More significant digits than any double needs to round correctly; the
// digits after them only count as "something nonzero was there".
constexpr std::size_t KeptDigits = 800;
// Far beyond the range of a double, however many digits are kept.
constexpr std::int64_t ExponentCap = 100000;

// Walks a text skipping blanks, tabs and line feeds wherever they stand.
class NumberScanner
{
  public:
    explicit NumberScanner(const QString &text) : m_text(text) { skipIgnored(); }

    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar current() const { return atEnd() ? QChar() : m_text.at(m_pos); }
    void advance()
    {
        ++m_pos;
        skipIgnored();
    }

  private:
    void skipIgnored()
    {
        while (m_pos < m_text.size() && isIgnoredInNumber(m_text.at(m_pos)))
            ++m_pos;
    }

    const QString &m_text;
    qsizetype m_pos = 0;
};

bool isSign(QChar c)
{
    return c == QLatin1Char('+') || c == QLatin1Char('-');
}

bool isExponentLetter(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'E' || u == u'e' || u == u'D' || u == u'd';
}

// Reads an exponent after its letter: optional sign, then digits. Without
// digits there is no exponent, and the number ends before the letter.
std::optional<std::int64_t> readExponent(NumberScanner &scan)
{
    scan.advance(); // the letter
    bool negative = false;
    if (isSign(scan.current())) {
        negative = scan.current() == QLatin1Char('-');
        scan.advance();
    }
    if (!isDigit(scan.current()))
        return std::nullopt;
    std::int64_t value = 0;
    for (; isDigit(scan.current()); scan.advance()) {
        if (value < ExponentCap)
            value = value * 10 + (scan.current().unicode() - u'0');
    }
    return negative ? -value : value;
}

double signedZero(bool negative)
{
    return negative ? -0.0 : 0.0;
}

} // namespace

const std::vector<ParameterLimit> &ParameterLimits()
{
    static const std::vector<ParameterLimit> limits = buildLimits();
    return limits;
}

const ParameterLimit *findParameterLimit(Model model, ParamKey key)
{
    for (const ParameterLimit &limit : ParameterLimits()) {
        if (limit.model == model && limit.key == key)
            return &limit;
    }
    return nullptr;
}

std::vector<ParamKey> parameterKeys(Model model)
{
    std::vector<ParamKey> keys;
    for (const ParameterLimit &limit : ParameterLimits()) {
        if (limit.model == model)
            keys.push_back(limit.key);
    }
    return keys;
}

double ParseLeadingNumber(const QString &text)
{
    NumberScanner scan(text);
    bool negative = false;
    if (isSign(scan.current())) {
        negative = scan.current() == QLatin1Char('-');
        scan.advance();
    }

    // The mantissa is kept as significant digits times a power of ten. Leading
    // zeros are dropped; digits beyond KeptDigits only move the power.
    std::string digits;
    std::int64_t exponent = 0;
    bool anyDigit = false;
    bool seenPoint = false;
    bool droppedNonZero = false;
    for (;; scan.advance()) {
        const QChar c = scan.current();
        if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            continue;
        }
        if (!isDigit(c))
            break;
        anyDigit = true;
        if (digits.empty() && c == QLatin1Char('0')) {
            if (seenPoint)
                --exponent;
        } else if (digits.size() < KeptDigits) {
            digits.push_back(static_cast<char>(c.unicode()));
            if (seenPoint)
                --exponent;
        } else {
            droppedNonZero = droppedNonZero || c != QLatin1Char('0');
            if (!seenPoint)
                ++exponent;
        }
    }
    if (!anyDigit)
        return 0.0;

    if (isExponentLetter(scan.current()))
        exponent += readExponent(scan).value_or(0);
    if (digits.empty())
        return signedZero(negative);
    if (droppedNonZero) {
        // Keeps the rounding right when the dropped tail was not all zeros.
        digits.push_back('1');
        --exponent;
    }
    exponent = std::clamp(exponent, -ExponentCap, ExponentCap);

    const std::string number = digits + 'e' + std::to_string(exponent);
    double value = 0.0;
    const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    Q_UNUSED(stop);
    if (error == std::errc::result_out_of_range) {
        // Too large, or too close to zero, for a double. The power of ten of the
        // leading digit tells which.
        const std::int64_t magnitude = static_cast<std::int64_t>(digits.size()) + exponent - 1;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -value : value;
}

std::optional<QString> CheckParameterRange(Model model, ParamKey key, EntryPath path,
                                           const QString &text)
{
    const ParameterLimit *limit = findParameterLimit(model, key);
    if (!limit)
        return std::nullopt; // the panel has no such box
    const double value = ParseLeadingNumber(text);
    if (value < limit->lower)
        return limit->lowerMessage;
    if (path == EntryPath::Leave) {
        if (value > limit->upperLeave)
            return limit->upperLeaveMessage;
    } else if (value > limit->upper) {
        return limit->upperMessage;
    }
    return std::nullopt;
}

std::optional<QString> CheckParameterOrder(Model model, ParamKey key,
                                           const std::function<QString(ParamKey)> &boxText)
{
    const auto value = [&boxText](ParamKey of) { return ParseLeadingNumber(boxText(of)); };
    const bool analogPanel = model == Model::KTRA20;
    switch (key) {
    case ParamKey::Base:
        if (value(ParamKey::Base) > value(ParamKey::Max))
            return QStringLiteral("Waring: The Base Speed value must be lower") +
                   QStringLiteral(" than the Max Speed value");
        break;
    case ParamKey::Max:
        if (value(ParamKey::Base) > value(ParamKey::Max))
            return QStringLiteral("Waring: The Max Speed value must be higher") +
                   QStringLiteral(" than the Base Speed value");
        break;
    case ParamKey::Lower:
        if (!analogPanel)
            break;
        if (value(ParamKey::Lower) > value(ParamKey::Upper))
            return QStringLiteral("Waring: The Lower Analog Speed value must be lower") +
                   QStringLiteral(" than the Upper Analog Speed value");
        if (value(ParamKey::Base) > value(ParamKey::Lower))
            return QStringLiteral("Waring: The Lower Analog Speed value must be higher") +
                   QStringLiteral(" than the Base Speed value");
        break;
    case ParamKey::Upper:
        if (analogPanel && value(ParamKey::Lower) > value(ParamKey::Upper))
            return QStringLiteral("Waring: The Upper Analog Speed value must be higher") +
                   QStringLiteral(" than the Lower Analog Speed value");
        break;
    case ParamKey::Accel:
    case ParamKey::Index:
    case ParamKey::Complete:
        break;
    }
    return std::nullopt;
}

std::optional<QString> CheckParameterText(Model model, ParamKey key, const QString &text)
{
    Q_UNUSED(model); // the same characters are refused on every panel
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E || u == u'@')
            return QStringLiteral("Waring: The ") + rangeName(key) +
                   QStringLiteral(" value may hold only plain characters: no \"@\", no line "
                                  "breaks or control characters, nothing outside ASCII");
    }
    return std::nullopt;
}

EntryVerdict CheckParameterEntry(Model model, ParamKey key, EntryPath path,
                                 const std::function<QString(ParamKey)> &boxText,
                                 bool unitConnected, const ValueRule &ownRule)
{
    using Kind = EntryVerdict::Kind;
    const QString text = boxText(key);
    std::optional<QString> warning = CheckParameterText(model, key, text);
    if (!warning && ownRule)
        warning = ownRule(model, key, text);
    if (!warning)
        warning = CheckParameterRange(model, key, path, text);
    if (warning)
        return {Kind::Refused, *warning};
    if (!unitConnected)
        return {Kind::NotConnected, {}};
    if (const std::optional<QString> order = CheckParameterOrder(model, key, boxText))
        return {Kind::Refused, *order};
    return {};
}

} // namespace ktv
