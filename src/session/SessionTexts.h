#pragma once
// The texts the session shows the operator, kept as the units' operators know them.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ktv {

QString didNotConnectText();
QString notConnectedText();
QString settingsChangedText();
QString connectErrorText();
QString lineLostText(const QString &reason);
QString storeWriteFailedText(const QString &storePath, const QString &problem, int comPort);
// "Use for COM n" could not write its row of "Port Map".
QString portMapWriteFailedText(const QString &storePath, const QString &problem, int comPort,
                               const QString &device);
// A command line the serial line did not take: what it was and its bytes.
QString commandNotSentText(const QString &command, const QByteArray &line);
// The fields of a read-back that got no answer within the limit.
QString noAnswerText(const QString &address, const QStringList &fields);
// The line a scan shows while it tries one rate: "Trying COM 1 (/dev/pts/3) at 28800 baud".
QString scanProgressText(int comPort, const QString &device, int baud);
// Axis Define heard more than one unit answer its address question.
QString axisDefineRefusedText();

} // namespace ktv
