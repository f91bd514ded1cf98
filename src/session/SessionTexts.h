#pragma once
// The texts the session shows the operator, kept as the units' operators know them.

#include <QString>

namespace ktv {

QString didNotConnectText();
QString notConnectedText();
QString settingsChangedText();
QString connectErrorText();
QString lineLostText(const QString &reason);
QString storeWriteFailedText(const QString &storePath, const QString &problem, int comPort);

} // namespace ktv
