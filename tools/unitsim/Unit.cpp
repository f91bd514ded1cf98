#include "Unit.h"

namespace unitsim {

namespace {

constexpr char kCr = '\r';
constexpr std::array<char, 7> kParameterLetters = {'A', 'B', 'M', 'N', 'T', 'L', 'U'};

int parameterIndex(char letter)
{
    for (int i = 0; i < int(kParameterLetters.size()); ++i) {
        if (kParameterLetters[i] == letter)
            return i;
    }
    return -1;
}

bool isDigits(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// "1" to "4" -> 0 to 3; anything else -> -1.
int profileIndex(const QByteArray &text)
{
    if (text.size() != 1 || text[0] < '1' || text[0] > '4')
        return -1;
    return text[0] - '1';
}

// A decimal address of at most a few digits; longer runs cannot name a unit.
std::optional<int> parseAddress(const QByteArray &digits)
{
    if (!isDigits(digits))
        return std::nullopt;
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 1000000)
            return std::nullopt;
    }
    return value;
}

QByteArray flag(bool on)
{
    return on ? "1" : "0";
}

} // namespace

const QList<QByteArray> &knownModels()
{
    static const QList<QByteArray> models = {"KTRA10", "KTRA20", "KTRA30", "VELD10",
                                             "VELD20", "VELD30", "VELD40", "VELD50"};
    return models;
}

Unit::Unit(const UnitConfig &config) : m_config(config), m_address(config.address)
{
    setFactory();
}

void Unit::setFactory()
{
    m_clockwise = true;
    m_reducedCurrent = false;
    m_resolution = "8";
    m_rampDown = false;
    m_analogSpeed = false;
    m_setAt.clear();
    // Factory settings of profile 1; each further profile adds 100 to every value.
    // The small pulse generators leave the factory with a short acceleration.
    const bool shortAccel = m_config.model == "KTRA10" || m_config.model == "KTRA20";
    const std::array<int, kParameterCount> base = {
        shortAccel ? 10 : 10000, 500, 5000, 0, 50, 1000, 20000};
    for (int p = 0; p < kProfileCount; ++p) {
        for (int i = 0; i < kParameterCount; ++i)
            m_profiles[p][i] = QByteArray::number(base[i] + 100 * p);
    }
}

std::optional<QByteArray> Unit::handleLine(const QByteArray &line, double now)
{
    if (!line.startsWith('@'))
        return std::nullopt;
    m_now = now;
    forgetOldValues();

    m_fixedNow = m_config.fixedReply && modeApplies(commandOf(line));
    // The two addressing lines carry no address: every unit on the line hears them.
    if (line == "@%")
        return queryReply(QByteArray::number(m_address));
    if (line.startsWith("@~")) {
        const auto address = parseAddress(line.mid(2));
        if (address && *address <= 99) {
            m_address = *address;
            return setReply();
        }
        return std::nullopt;
    }

    qsizetype end = 1;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9')
        ++end;
    const auto address = parseAddress(line.mid(1, end - 1));
    if (!address || *address != m_address)
        return std::nullopt;
    return handleCommand(line.mid(end));
}

std::optional<QByteArray> Unit::handleCommand(const QByteArray &command)
{
    if (command.isEmpty())
        return std::nullopt;
    if (command == "$") {
        if (m_config.modelReply)
            return *m_config.modelReply + kCr;
        // The id is padded to eight characters so that the revision starts at
        // position 9, where the program reads it.
        return m_config.model + "  " + m_config.revision + kCr;
    }
    if (command == "!")
        return queryReply(m_errorCode);
    if (command[0] == 'V')
        return handleQuery(command.mid(1));
    return handleSet(command);
}

std::optional<QByteArray> Unit::handleQuery(const QByteArray &item)
{
    if (item == "+")
        return queryReply(flag(m_clockwise));
    if (item == "C")
        return queryReply(flag(m_reducedCurrent));
    if (item == "R")
        return queryReply(m_resolution);
    if (item == "D")
        return queryReply(flag(m_rampDown));
    if (item == "E")
        return queryReply(flag(m_analogSpeed));
    if (item.size() == 2) {
        const int parameter = parameterIndex(item[0]);
        const int profile = profileIndex(item.mid(1));
        if (parameter >= 0 && profile >= 0)
            return queryReply(m_profiles[profile][parameter]);
    }
    return std::nullopt;
}

std::optional<QByteArray> Unit::handleSet(const QByteArray &command)
{
    const char letter = command[0];
    const QByteArray value = command.mid(1);

    if ((letter == '+' || letter == '-') && value.isEmpty()) {
        if (takeWrite("+"))
            m_clockwise = letter == '+';
        return setReply();
    }
    if ((letter == 'S' || letter == 'H') && value.isEmpty())
        return setReply();
    if (letter == 'G' && profileIndex(value) >= 0)
        return setReply();

    if (letter == 'C' || letter == 'D' || letter == 'E') {
        if (value != "1" && value != "0")
            return std::nullopt;
        bool &setting = letter == 'C'   ? m_reducedCurrent
                        : letter == 'D' ? m_rampDown
                                        : m_analogSpeed;
        if (takeWrite(QByteArray(1, letter)))
            setting = value == "1";
        return setReply();
    }
    if (letter == 'R') {
        if (!isDigits(value))
            return std::nullopt;
        if (takeWrite("R"))
            m_resolution = value;
        return setReply();
    }

    // Parameter send: letter, profile, "_", the text stored as it came.
    const int parameter = parameterIndex(letter);
    if (parameter < 0 || value.size() < 2 || value[1] != '_')
        return std::nullopt;
    const int profile = profileIndex(value.left(1));
    if (profile < 0)
        return std::nullopt;
    if (takeWrite(QByteArray(1, letter) + value.left(1)))
        m_profiles[profile][parameter] = value.mid(2);
    return setReply();
}

std::optional<QByteArray> Unit::queryReply(QByteArray text) const
{
    if (m_fixedNow)
        text = *m_config.fixedReply;
    if (!m_config.afterReply.isEmpty())
        return text + kCr + m_config.afterReply + kCr;
    return text + kCr;
}

bool Unit::takeWrite(const QByteArray &item)
{
    if (m_config.resetAfter > 0 && ++m_writes == m_config.resetAfter) {
        setFactory();
        return false;
    }
    if (m_config.keepNothing)
        return false;
    m_setAt[item] = m_now;
    return true;
}

void Unit::forgetOldValues()
{
    if (m_config.keepMs <= 0)
        return;
    const Unit factory(m_config);
    for (auto it = m_setAt.begin(); it != m_setAt.end();) {
        if (m_now - it.value() < m_config.keepMs / 1000.0) {
            ++it;
            continue;
        }
        const QByteArray &item = it.key();
        if (item == "+")
            m_clockwise = factory.m_clockwise;
        else if (item == "C")
            m_reducedCurrent = factory.m_reducedCurrent;
        else if (item == "D")
            m_rampDown = factory.m_rampDown;
        else if (item == "E")
            m_analogSpeed = factory.m_analogSpeed;
        else if (item == "R")
            m_resolution = factory.m_resolution;
        else if (item.size() == 2)
            m_profiles[profileIndex(item.mid(1))][parameterIndex(item[0])] =
                factory.m_profiles[profileIndex(item.mid(1))][parameterIndex(item[0])];
        it = m_setAt.erase(it);
    }
}

bool Unit::modeApplies(const QByteArray &command) const
{
    return m_config.only.isEmpty() || m_config.only.contains(command);
}

bool Unit::isWrite(const QByteArray &line)
{
    if (line.startsWith("@~"))
        return true;
    const QByteArray command = commandOf(line);
    return !command.isEmpty() && command != "$" && command != "!" && command != "%" &&
           !command.startsWith('V');
}

QByteArray Unit::commandOf(const QByteArray &line)
{
    qsizetype at = line.startsWith('@') ? 1 : 0;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9')
        ++at;
    return line.mid(at);
}

std::optional<QByteArray> Unit::setReply() const
{
    if (!m_config.acknowledge)
        return std::nullopt;
    return m_config.ackText + kCr;
}

} // namespace unitsim
