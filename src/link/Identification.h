#pragma once
// Finding the unit: the baud scan and the identification exchange.

#include <QString>
#include <array>

namespace ktv {

class MainWindow;

inline constexpr std::array<int, 4> ScanRates = {9600, 28800, 38400, 115200};

// Tries each rate in turn; true when a unit was identified, the port then
// left open at the unit's rate.
bool ScanBaudRates(MainWindow &window);

// Asks the unit on the open port who it is and sets the window up for it.
bool IdentifyUnit(MainWindow &window, const QString &address);

} // namespace ktv
