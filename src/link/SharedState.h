#pragma once
// The state every action reads. One instance, a member of the UnitSession,
// which hands it to its serial link by reference; the window and the
// command-line tool read it through the session.

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
