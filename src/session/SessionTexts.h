#pragma once
// The texts the session shows the operator, kept as the units' operators know them.

// The sheet files' texts (nothing saved, held values refused) are beside
// the files' reading and writing.
#include "store/SheetFiles.h"

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
// A run whose replies came later than it could place them.
QString tooSlowText(const QString &address, const QStringList &fields);
// A reply that is no answer, with what came ("Reduced Current: unreadable
// reply "77"", "Accel/Decel: incomplete reply "100"").
QString unreadableReplyText(const QString &what, const QString &raw);
// "Two units answer at axis 7"
QString twoUnitsAtAxisText(const QString &address);
// What a read-back of the command-line tool, a set, a save or a load did not
// do, for the operator and a bench script.
QString valuesNotReadText(const QString &what, const QStringList &fields);
QString nothingWrittenText();
QString lineLostWritingText(const QStringList &written, const QStringList &notWritten);
QString valuesWrittenText(int written, int total); // "5 of 14 values written"
QString notVerifiableText(const QStringList &values, const QString &unitModel);
// The line a scan shows while it tries one rate: "Trying COM 1 (/dev/pts/3) at 28800 baud".
QString scanProgressText(int comPort, const QString &device, int baud);
QString scanAtServersRateText(int comPort, const QString &device);
// Axis Define heard more than one unit answer its address question.
QString axisDefineRefusedText();

} // namespace ktv
