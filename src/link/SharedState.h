#pragma once
// The state every action reads and writes: whether a unit is connected, the
// axis address and profile in force, the COM port, and the texts of the last
// failure. There is one, a member of UnitSession (made in main(), in the
// command-line tool and in each test's rig); the session hands it by
// reference to its SerialLink, which records why a port did not open in it,
// and that is why it lives with the link. The window and the command-line
// tool read it through the session.

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
};

} // namespace ktv
