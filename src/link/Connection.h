#pragma once
// Connect, Disconnect, the not-connected notice and reading the store at
// start-up.

#include <QString>

namespace ktv {

class MainWindow;
class SerialLink;
struct SharedState;

QString didNotConnectText();
QString notConnectedText();

// Shown by every action that needs a unit when none is connected.
void ShowNotConnected(SharedState &state);

void Connect(MainWindow &window);
void Disconnect(MainWindow &window);

// Reads the COM port and the port map from the store. A store that cannot be
// read is reported once; start-up then goes on with no port configured.
void LoadConfiguration(SharedState &state, SerialLink &link, const QString &storePath);

} // namespace ktv
