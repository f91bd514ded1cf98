#pragma once
// Line settings as the operator's tools write them: "9600,N,8,1".

#include <QSerialPort>
#include <QString>
#include <optional>

namespace ktv {

struct LineSettings
{
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Baud rate, parity (N, E, O, M, S), data bits (5-8), stop bits (1, 1.5, 2).
std::optional<LineSettings> parseSettingsText(const QString &text);

// The settings text for a baud rate: the rate as a whole number, then ",N,8,1".
QString settingsTextForBaud(double baudRate);

} // namespace ktv
