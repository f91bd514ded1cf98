#include "session/UnitSession.h"

#include "link/PortProbe.h"
#include "protocol/SettingsText.h"
#include "session/SessionTexts.h"
#include "store/ConfigStore.h"

#include <QMap>
#include <QTimer>

namespace ktv {

UnitSession::UnitSession(const QString &store, QObject *parent)
    : QObject(parent), storePath(store), nullView_(std::make_unique<SilentView>()),
      view_(nullView_.get()) // until a view is set the session shows nothing
{
    connect(&link, &SerialLink::lineLost, this, &UnitSession::onLineLost);
}

UnitSession::~UnitSession() = default;

void UnitSession::setView(SessionView *view)
{
    view_ = view ? view : nullView_.get();
}

void UnitSession::message(MessageIcon icon, const QString &text)
{
    if (isEnding())
        return;
    view_->showMessage(icon, text);
}

void UnitSession::openFailureMessage(const QString &text)
{
    if (isEnding())
        return;
    const auto &failure = link.lastOpenFailure();
    if (!failure) {
        view_->showMessage(MessageIcon::Critical, text);
        return;
    }
    view_->showOpenFailure(MessageIcon::Critical, text,
                           diagnoseOpenFailure(failure->device, failure->systemError));
}

void UnitSession::showWaitCursor()
{
    view_->showWaitCursor();
}

void UnitSession::showNormalCursor()
{
    view_->showNormalCursor();
}

void UnitSession::ShowNotConnected()
{
    state.MessageText = notConnectedText();
    message(MessageIcon::None, state.MessageText);
}

void UnitSession::setEnding()
{
    link.setEnding();
    view_->showNormalCursor();
}

bool UnitSession::writeCommand(const QString &command, const QByteArray &line)
{
    if (link.write(line))
        return true;
    // Said plainly, so the operator never believes a stop went out when it did not.
    message(MessageIcon::Critical, commandNotSentText(command, line));
    return false;
}

void UnitSession::load()
{
    state.SelectedProfile = QStringLiteral("1");
    view_->showSelectedProfile(state.SelectedProfile);
    state.AxisAddress = QStringLiteral("0");
    LoadConfiguration();
    if (ScanBaudRates()) {
        view_->showConnectionStatus(state.UnitConnected);
        return;
    }
    if (link.PortOpen())
        link.closePort();
    view_->showConnectionStatus(state.UnitConnected);
    state.MessageText = didNotConnectText();
    openFailureMessage(state.MessageText);
}

void UnitSession::LoadConfiguration()
{
    const StoredConfiguration stored = readConfiguration(storePath);
    link.setPortMap(stored.portMap);
    if (!stored.comPort) {
        // No port configured: the scan fails as with a wrong port and the
        // operator is told why first.
        state.ComPortNumber = 0;
        message(MessageIcon::Critical, stored.problem);
        return;
    }
    state.ComPortNumber = *stored.comPort;
}

void UnitSession::Connect()
{
    connectWith([this] { return ScanBaudRates(); });
}

void UnitSession::ConnectTo(const QString &address, int baud)
{
    connectWith([this, address, baud] {
        // A port the search left open is opened afresh at the unit's rate.
        link.closePort();
        scanning_ = true;
        view_->showScanProgress(
            scanProgressText(state.ComPortNumber, link.deviceForPort(state.ComPortNumber), baud));
        bool found = false;
        if (link.OpenComPort(state.ComPortNumber, baud)) {
            const QString panelAxis = axisAfterIdentify;
            axisAfterIdentify = address;
            found = IdentifyUnit(address);
            axisAfterIdentify = panelAxis;
        }
        scanning_ = false;
        view_->showScanProgress(QString());
        return found;
    });
}

void UnitSession::connectWith(const std::function<bool()> &attempt)
{
    // Connect from a menu or shortcut while a scan runs would scan inside the scan.
    if (scanning_)
        return;
    view_->connectionChanged();
    view_->setConnectEnabled(false);
    showWaitCursor();
    if (state.UnitConnected) {
        link.closePort();
        state.UnitConnected = false;
        view_->showConnectionStatus(false);
        view_->setAllPanelsAvailable();
    }
    state.ConnectErrorText.clear();
    if (attempt()) {
        view_->showConnectionStatus(state.UnitConnected);
        ProfileUpdate = true;
    } else {
        state.UnitConnected = false;
        view_->showConnectionStatus(false);
        if (!state.ConnectErrorText.isEmpty()) {
            openFailureMessage(state.ConnectErrorText);
        } else {
            state.MessageText = didNotConnectText();
            message(MessageIcon::Critical, state.MessageText);
        }
    }
    view_->setConnectEnabled(true);
    showNormalCursor();
}

void UnitSession::Disconnect()
{
    if (!state.UnitConnected)
        return;
    link.closePort();
    state.UnitConnected = false;
    view_->showConnectionStatus(false);
    view_->setAllPanelsAvailable();
    view_->connectionChanged();
}

void UnitSession::useProfile(int profile)
{
    state.SelectedProfile = QString::number(profile);
}

bool UnitSession::prepareToolLine(const QString &axis, std::optional<int> comPort,
                                  const QString &device, int baud, QString *reason)
{
    state.SelectedProfile = QStringLiteral("1");
    state.AxisAddress = axis;
    LoadConfiguration();
    if (comPort)
        state.ComPortNumber = *comPort;
    if (!device.isEmpty()) {
        if (state.ComPortNumber < 1)
            state.ComPortNumber = 1;
        QMap<int, QString> map = readConfiguration(storePath).portMap;
        map[state.ComPortNumber] = device;
        link.setPortMap(map);
    }
    link.setCommPort(state.ComPortNumber);
    link.setSettings(settingsTextForBaud(baud));
    if (!link.openPort(reason))
        return false;
    link.closePort();
    return true;
}

void UnitSession::useToolExchange(Pace pace)
{
    exchange.setPolicy(ReplyPolicy::Tool);
    exchange.setPace(pace);
}

void UnitSession::handOverLine()
{
    link.closePort();
    state.UnitConnected = false;
    view_->showConnectionStatus(false);
}

void UnitSession::beginCommSettings()
{
    state.SettingsUnchanged = false;
}

void UnitSession::chooseComPort(std::optional<int> selected, bool unchanged)
{
    if (selected)
        state.ComPortNumber = *selected;
    if (unchanged) {
        state.SettingsUnchanged = true;
        return;
    }
    QString problem;
    if (writeComPort(storePath, state.ComPortNumber, &problem))
        message(MessageIcon::Information, settingsChangedText());
    else
        message(MessageIcon::Critical,
                storeWriteFailedText(storePath, problem, state.ComPortNumber));
}

bool UnitSession::assignPortDevice(int comPort, const QString &device)
{
    QString problem;
    if (!writePortMapEntry(storePath, comPort, device, &problem)) {
        message(MessageIcon::Critical, portMapWriteFailedText(storePath, problem, comPort, device));
        return false;
    }
    QMap<int, QString> map = link.portMap();
    map.insert(comPort, device);
    link.setPortMap(map);
    return true;
}

bool UnitSession::restorePortDevice(int comPort, const std::optional<QString> &device)
{
    if (device)
        return assignPortDevice(comPort, *device);
    QString problem;
    if (!removePortMapEntry(storePath, comPort, &problem)) {
        message(MessageIcon::Critical,
                portMapWriteFailedText(storePath, problem, comPort, link.deviceForPort(comPort)));
        return false;
    }
    QMap<int, QString> map = link.portMap();
    map.remove(comPort);
    link.setPortMap(map);
    return true;
}

void UnitSession::keepCommSettings()
{
    state.SettingsUnchanged = true;
}

void UnitSession::endCommSettings()
{
    if (!state.SettingsUnchanged && link.PortOpen()) {
        link.closePort();
        state.UnitConnected = false;
        view_->showConnectionStatus(false);
        view_->connectionChanged();
    }
}

void UnitSession::onLineLost(const QString &reason)
{
    // Identification reports its own failures; this is for a line that dies
    // under a connected unit.
    if (!state.UnitConnected)
        return;
    state.UnitConnected = false;
    view_->showConnectionStatus(false);
    view_->setAllPanelsAvailable();
    view_->connectionChanged();
    // Shown from the event loop, not inside the serial port's own error call.
    QTimer::singleShot(0, this,
                       [this, reason] { message(MessageIcon::Critical, lineLostText(reason)); });
}

} // namespace ktv
