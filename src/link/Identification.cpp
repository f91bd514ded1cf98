#include "link/Identification.h"

#include "app/MainWindow.h"
#include "app/Toolkit.h"
#include "link/IdentityReply.h"
#include "link/SerialLink.h"
#include "protocol/CommandFrame.h"

#include <QLabel>
#include <QTabWidget>

namespace ktv {

namespace {

// A line that could not be written, or a port that died under the exchange,
// is a run-time failure of the attempt.
struct ExchangeFailed
{
};

void writeOrFail(SerialLink &link, const QByteArray &line)
{
    if (!link.write(line))
        throw ExchangeFailed{};
}

} // namespace

bool ScanBaudRates(MainWindow &window)
{
    for (int rate : ScanRates) {
        if (window.link.isEnding())
            return false;
        if (!window.link.OpenComPort(window.state.ComPortNumber, rate))
            continue;
        if (IdentifyUnit(window, window.state.AxisAddress))
            return true;
    }
    return false;
}

bool IdentifyUnit(MainWindow &window, const QString &address)
{
    SharedState &state = window.state;
    SerialLink &link = window.link;
    try {
        if (link.ReplyWaiting())
            link.ReadReply();
        writeOrFail(link, frame::loneCarriageReturn());
        link.WaitSeconds(0.5);
        writeOrFail(link, frame::errorCodeQuery(address));
        link.WaitSeconds(0.5);
        if (link.ReplyWaiting())
            link.ReadReply();
        writeOrFail(link, frame::modelQuery(address));
        link.WaitSeconds(0.5);
        const QString reply = link.ReplyWaiting() ? link.ReadReply() : QStringLiteral(" ");
        if (!link.PortOpen())
            throw ExchangeFailed{};

        window.ProfileUpdate = true;
        const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
        if (!identity) {
            link.closePort();
            state.UnitConnected = false;
            window.setAllTabsAvailable();
            return false;
        }
        state.IdentifiedVELD50 = identity->isVeld50;
        window.lblVersionNumber()->setText(identity->versionText);
        state.UnitConnected = true;
        const int tab = tabIndex(identity->panel);
        window.SSTab1()->setCurrentIndex(tab);
        for (Model model : AllModels) {
            const bool chosen = tabIndex(model) == tab;
            window.SSTab1()->setTabEnabled(tabIndex(model), chosen);
            if (chosen)
                window.TabStopsOn(model);
            else
                window.TabStopsOff(model);
        }
        window.pressVerify(identity->panel);
        if (identity->panel == Model::VELD30 && state.IdentifiedVELD50)
            window.hideMicrostepGroupVELD30();
        return true;
    } catch (const ExchangeFailed &) {
        ShowMessage(MessageIcon::Critical,
                    QStringLiteral("An Error occurred while trying to connect"));
        state.UnitConnected = false;
        window.setAllTabsAvailable();
        // Left open, every later attempt would only report "is already open"
        // until a restart; a port that failed is closed here.
        link.closePort();
        return false;
    }
}

} // namespace ktv
