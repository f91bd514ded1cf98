#pragma once
// The state every action reads: one instance, created in main() and handed to
// the windows and the serial link by reference.

#include <QString>

namespace ktv {

struct SharedState
{
    bool UnitConnected = false;
    QString AxisAddress;     // decimal digits as typed: "0", "7", "07"
    int ComPortNumber = 0;   // 0 until the store is read; 0 also means "no port configured"
    QString SelectedProfile; // "1" to "4", one value for every panel
    QString MessageText;
    QString ConnectErrorText;
    bool SettingsUnchanged = false;
    bool IdentifiedVELD50 = false;
};

} // namespace ktv
