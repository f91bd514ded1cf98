#include "link/Connection.h"

#include "app/MainWindow.h"
#include "app/Toolkit.h"
#include "link/ConfigStore.h"
#include "link/Identification.h"
#include "link/SerialLink.h"

#include <QPushButton>

namespace ktv {

QString didNotConnectText()
{
    return QStringLiteral("The unit DID NOT CONNECT.  \r\rPlease check Com Port Setting, Cables "
                          "and Power.");
}

QString notConnectedText()
{
    return QStringLiteral("There in no unit connected!  \r\n\r\nA unit must be ONLINE before you "
                          "can send any information. \r\nGo to the Setup Menu to configure the Com "
                          "Port and CONNECT to the unit.");
}

void ShowNotConnected(SharedState &state)
{
    state.MessageText = notConnectedText();
    ShowMessage(MessageIcon::None, state.MessageText);
}

void Connect(MainWindow &window)
{
    SharedState &state = window.state;
    window.cmdConnect()->setEnabled(false);
    ShowWaitCursor();
    if (state.UnitConnected) {
        window.link.closePort();
        state.UnitConnected = false;
        window.ShowConnectionStatus();
        window.setAllTabsAvailable();
    }
    state.ConnectErrorText.clear();
    if (ScanBaudRates(window)) {
        window.ShowConnectionStatus();
        window.ProfileUpdate = true;
    } else {
        state.UnitConnected = false;
        window.ShowConnectionStatus();
        if (!state.ConnectErrorText.isEmpty()) {
            ShowMessage(MessageIcon::Critical, state.ConnectErrorText);
        } else {
            state.MessageText = didNotConnectText();
            ShowMessage(MessageIcon::Critical, state.MessageText);
        }
    }
    window.cmdConnect()->setEnabled(true);
    ShowNormalCursor();
}

void Disconnect(MainWindow &window)
{
    if (!window.state.UnitConnected)
        return;
    window.link.closePort();
    window.state.UnitConnected = false;
    window.ShowConnectionStatus();
    window.setAllTabsAvailable();
}

void LoadConfiguration(SharedState &state, SerialLink &link, const QString &storePath)
{
    const StoredConfiguration stored = readConfiguration(storePath);
    link.setPortMap(stored.portMap);
    if (!stored.comPort) {
        // No port configured: the scan fails as with a wrong port and the
        // operator is told why first.
        state.ComPortNumber = 0;
        ShowMessage(MessageIcon::Critical, stored.problem);
        return;
    }
    state.ComPortNumber = *stored.comPort;
}

} // namespace ktv
