#include "session/UnitSession.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"

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

bool UnitSession::ScanBaudRates()
{
    scanning_ = true;
    identifyFault_ = false;
    bool found = false;
    for (int rate : ScanRates) {
        if (isEnding())
            break;
        view_->showScanProgress(
            scanProgressText(state.ComPortNumber, link.deviceForPort(state.ComPortNumber), rate));
        if (!link.OpenComPort(state.ComPortNumber, rate))
            continue;
        found = IdentifyUnit(state.AxisAddress);
        // A line that fails under the exchange fails at every rate: it has
        // been reported once, the scan ends here.
        if (found || identifyFault_)
            break;
    }
    scanning_ = false;
    view_->showScanProgress(QString());
    return found;
}

bool UnitSession::IdentifyUnit(const QString &address)
{
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

        ProfileUpdate = true;
        const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
        if (!identity) {
            link.closePort();
            state.UnitConnected = false;
            view_->setAllPanelsAvailable();
            return false;
        }
        state.IdentifiedVELD50 = identity->isVeld50;
        view_->showVersion(identity->versionText);
        state.UnitConnected = true;
        view_->selectPanel(identity->panel);
        // The chosen panel starts at axis 0.
        state.AxisAddress = QStringLiteral("0");
        VerifyParameters(identity->panel);
        if (identity->panel == Model::VELD30 && state.IdentifiedVELD50)
            view_->hideMicrostepGroupVELD30();
        return true;
    } catch (const ExchangeFailed &) {
        identifyFault_ = true;
        message(MessageIcon::Critical, connectErrorText());
        state.UnitConnected = false;
        view_->setAllPanelsAvailable();
        // Left open, every later attempt would only report "is already open"
        // until a restart; a port that failed is closed here.
        link.closePort();
        return false;
    }
}

} // namespace ktv
