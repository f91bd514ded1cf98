#include "session/SessionTexts.h"

#include "protocol/ReplyDecoding.h"

namespace ktv {

QString didNotConnectText()
{
    return QStringLiteral("The unit DID NOT CONNECT.  \r\rPlease check Com Port Setting, Cables "
                          "and Power.");
}

QString notConnectedText()
{
    return QStringLiteral("There in no unit connected!  \r\n\r\nA unit must be ONLINE before you "
                          "can send any information. \r\nGo to the Setup Menu to configure the Com "
                          "Port and CONNECT to the unit.");
}

QString settingsChangedText()
{
    return QStringLiteral("Changes will take effect the next time you connect.  To reconnect, ") +
           QStringLiteral("click the Connect button or choose Connect from the Setup menu.  This "
                          "will ") +
           QStringLiteral("disconnect the unit and the program will ") +
           QStringLiteral("attempt to reconnect with the new settings.");
}

QString connectErrorText()
{
    return QStringLiteral("An Error occurred while trying to connect");
}

QString lineLostText(const QString &reason)
{
    return QStringLiteral("The connection to the unit was lost (%1).").arg(reason);
}

QString storeWriteFailedText(const QString &storePath, const QString &problem, int comPort)
{
    return QStringLiteral("The COM port could not be stored in %1: %2\r\nCOM %3 is "
                          "used until the program ends.")
        .arg(storePath, problem)
        .arg(comPort);
}

QString portMapWriteFailedText(const QString &storePath, const QString &problem, int comPort,
                               const QString &device)
{
    return QStringLiteral("COM %1 could not be given %2 in %3: %4")
        .arg(QString::number(comPort), device, storePath, problem);
}

QString commandNotSentText(const QString &command, const QByteArray &line)
{
    return QStringLiteral("The %1 command did not go out: the serial line did not take \"%2\". "
                          "The unit has not received it.")
        .arg(command, QString::fromLatin1(line).remove(QLatin1Char('\r')));
}

QString noAnswerText(const QString &address, const QStringList &fields)
{
    return QStringLiteral("No answer from the unit at address %1 to: %2")
        .arg(address, fields.join(QStringLiteral(", ")));
}

QString tooSlowText(const QString &address, const QStringList &fields)
{
    return QStringLiteral("The unit at address %1 answers too slowly; no value shown for: %2")
        .arg(address, fields.join(QStringLiteral(", ")));
}

QString twoUnitsAtAxisText(const QString &address)
{
    return QStringLiteral("Two units answer at axis %1").arg(address);
}

QString unreadableReplyText(const QString &what, const QString &raw)
{
    return what + QStringLiteral(": ") + replyProblemText(raw);
}

QString valuesNotReadText(const QString &what, const QStringList &fields)
{
    return QStringLiteral("%1: no value read for %2").arg(what, fields.join(QStringLiteral(", ")));
}

QString nothingWrittenText()
{
    return QStringLiteral("Nothing was written: the unit's values could not be read first.");
}

QString lineLostWritingText(const QStringList &written, const QStringList &notWritten)
{
    return QStringLiteral("The line to the unit was lost. Written: %1. Not written: %2.")
        .arg(written.isEmpty() ? QStringLiteral("nothing") : written.join(QStringLiteral(", ")),
             notWritten.isEmpty() ? QStringLiteral("nothing")
                                  : notWritten.join(QStringLiteral(", ")));
}

QString valuesWrittenText(int written, int total)
{
    return QStringLiteral("%1 of %2 values written").arg(written).arg(total);
}

QString notVerifiableText(const QStringList &values, const QString &unitModel)
{
    return QStringLiteral("Not verifiable: a %1 cannot be asked for %2")
        .arg(unitModel, values.join(QStringLiteral(", ")));
}

QString scanProgressText(int comPort, const QString &device, int baud)
{
    return QStringLiteral("Trying COM %1 (%2) at %3 baud").arg(comPort).arg(device).arg(baud);
}

QString scanAtServersRateText(int comPort, const QString &device)
{
    return QStringLiteral("Trying COM %1 (%2) at the server's rate").arg(comPort).arg(device);
}

QString axisDefineRefusedText()
{
    return QStringLiteral("More than one unit answers on the line, so the axis was not defined: "
                          "a new address would go to every one of them. Connect only the unit "
                          "whose address you want to change.");
}

} // namespace ktv
