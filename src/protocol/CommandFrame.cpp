#include "protocol/CommandFrame.h"

#include "protocol/Vocabulary.h"

namespace ktv::frame {

namespace {

// Every text the operator can type has been checked for plain characters before
// it gets here, so Latin-1 is a one-to-one conversion of what is on screen.
QByteArray bytes(const QString &text)
{
    return text.toLatin1();
}

// "@", the address, the command with its value, CR.
QByteArray addressed(const QString &address, const QByteArray &commandAndValue)
{
    QByteArray line;
    line.reserve(commandAndValue.size() + address.size() + 2);
    line.append('@');
    line.append(bytes(address));
    line.append(commandAndValue);
    line.append(CR);
    return line;
}

const char *optionCommand(Option option)
{
    switch (option) {
    case Option::CW:
        return "+";
    case Option::CCW:
        return "-";
    case Option::RCYes:
        return "C1";
    case Option::RCNo:
        return "C0";
    case Option::Res1:
        return "R1";
    case Option::Res2:
        return "R2";
    case Option::Res4:
        return "R4";
    case Option::Res8:
        return "R8";
    case Option::RampDownYes:
        return "D1";
    case Option::RampDownNo:
        return "D0";
    case Option::AnalogOn:
        return "E1";
    case Option::AnalogOff:
        return "E0";
    }
    return "";
}

} // namespace

QByteArray optionLine(const QString &address, Option option)
{
    return addressed(address, QByteArray(optionCommand(option)));
}

QByteArray parameterLine(const QString &address, ParamKey key, const QString &profile,
                         const QString &valueText)
{
    QByteArray command(1, paramLetter(key));
    command.append(bytes(profile));
    command.append('_');
    command.append(bytes(valueText));
    return addressed(address, command);
}

QByteArray motionLine(const QString &address, Motion motion, const QString &profile)
{
    switch (motion) {
    case Motion::Go:
        return addressed(address, 'G' + bytes(profile));
    case Motion::StopSoft:
        return addressed(address, QByteArray("S"));
    case Motion::StopAll:
        return addressed(address, QByteArray("H"));
    }
    return {};
}

QByteArray queryLine(const QString &address, Field field, const QString &profile)
{
    // The error code is asked for without "V".
    if (field == Field::ErrorCode)
        return errorCodeQuery(address);
    QByteArray query("V");
    query.append(termOf(field).queryItem);
    // Only the parameters are stored per profile; the settings are not.
    if (isNumericField(field))
        query.append(bytes(profile));
    return addressed(address, query);
}

QByteArray loneCarriageReturn()
{
    return QByteArray(1, CR);
}

QByteArray errorCodeQuery(const QString &address)
{
    return addressed(address, QByteArray("!"));
}

QByteArray modelQuery(const QString &address)
{
    return addressed(address, QByteArray("$"));
}

QByteArray addressQueryLine()
{
    return QByteArray("@%") + CR;
}

QByteArray addressChangeLine(const QString &newAddress)
{
    return QByteArray("@~") + bytes(newAddress) + CR;
}

} // namespace ktv::frame
