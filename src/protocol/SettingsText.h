#pragma once
// Line settings as the operator's tools write them: "9600,N,8,1".

#include <QString>
#include <optional>

namespace ktv {

enum class StopBits { One, OneAndHalf, Two };

struct LineSettings
{
    int baudRate = 9600;
    char parity = 'N'; // N, E, O, M or S
    int dataBits = 8;  // 5 to 8
    StopBits stopBits = StopBits::One;
};

// Baud rate, parity (N, E, O, M, S), data bits (5-8), stop bits (1, 1.5, 2).
std::optional<LineSettings> parseSettingsText(const QString &text);

// The settings text for a baud rate: the rate as a whole number, then ",N,8,1".
QString settingsTextForBaud(double baudRate);

} // namespace ktv
