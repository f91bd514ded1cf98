#include "session/UnitSession.h"

#include "link/DeviceAddress.h"
#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ReplyDecoding.h"
#include "protocol/UnitCatalogue.h"
#include "session/SessionTexts.h"

#include <algorithm>

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

std::optional<UnitSession::AxisUnit> UnitSession::unitAt(const QString &address) const
{
    bool ok = false;
    const int number = address.toInt(&ok);
    const auto it = axisUnits_.find(number);
    if (!ok || it == axisUnits_.end())
        return std::nullopt;
    return it->second;
}

void UnitSession::noteModelAnswer(int address, const QString &rawReply)
{
    const QStringList answers = answersIn(rawReply);
    // Two units give two whole identities; a stray byte beside one is noise.
    const auto identities = std::count_if(answers.begin(), answers.end(), [](const QString &a) {
        return parseIdentityReply(a).has_value();
    });
    if (identities > 1) {
        axisUnits_[address] = AxisUnit{QString(), QString(), true};
        return;
    }
    // Only a whole answer, up to its CR, names a model.
    if (answers.size() == 1 && rawReply.endsWith(QLatin1Char('\r')) &&
        parseIdentityReply(answers.first())) {
        axisUnits_[address] =
            AxisUnit{answers.first().left(6), answers.first().mid(8, 4).trimmed()};
        return;
    }
    axisUnits_.erase(address);
}

void UnitSession::noteIdentifiedModel(const QString &unitModel)
{
    identifiedModel_ = unitModel;
}

bool UnitSession::unitKeeps(Model panel, Field field) const
{
    if (panelOfUnitModel(identifiedModel_) != panel)
        return true;
    return unitModelHolds(identifiedModel_, field);
}

std::optional<UnitSession::AxisUnit> UnitSession::unitAtAxis()
{
    const QString address = state.AxisAddress;
    if (const auto known = unitAt(address))
        return known;
    if (!state.UnitConnected)
        return std::nullopt;
    return askUnitAt(address);
}

std::optional<UnitSession::AxisUnit> UnitSession::askUnitAt(const QString &address,
                                                            UnitExchange::Tries tries)
{
    if (!link.PortOpen() || isEnding())
        return std::nullopt;
    const Outcome<QString> answer = exchange.askModel(address, tries);
    noteModelAnswer(address.toInt(), answer ? *answer + QLatin1Char('\r') : exchange.lastRaw());
    if (exchange.collided())
        axisUnits_[address.toInt()] = AxisUnit{QString(), QString(), true};
    return unitAt(address);
}

bool UnitSession::ScanBaudRates()
{
    scanning_ = true;
    identifyFault_ = false;
    bool found = false;
    const QString device = link.deviceForPort(state.ComPortNumber);
    // Over a raw network line the server's rate is the only one there is:
    // one try.
    const bool serversRate = rateIsTheServers(device);
    for (int rate : ScanRates) {
        if (isEnding())
            break;
        view_->showScanProgress(serversRate ? scanAtServersRateText(state.ComPortNumber, device)
                                            : scanProgressText(state.ComPortNumber, device, rate));
        if (!link.OpenComPort(state.ComPortNumber, rate)) {
            // A server that cannot be reached at one rate cannot at the next.
            if (looksLikeNetworkAddress(device))
                break;
            continue;
        }
        found = IdentifyUnit(state.AxisAddress);
        // A line that fails under the exchange fails at every rate: it has
        // been reported once, the scan ends here.
        if (found || identifyFault_ || serversRate)
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
        // At reply pace each wait ends with the reply's CR, never later than
        // the fixed wait: the same lines, and no rate tried longer.
        const bool replyPace = exchange.pace() == Pace::Reply;
        writeOrFail(link, frame::loneCarriageReturn());
        exchange.settleAfterWrite();
        writeOrFail(link, frame::errorCodeQuery(address));
        if (replyPace)
            exchange.listen(0.5);
        else
            link.WaitSeconds(0.5);
        if (link.ReplyWaiting())
            link.ReadReply();
        writeOrFail(link, frame::modelQuery(address));
        QString reply;
        if (replyPace) {
            reply = exchange.listen(0.5);
        } else {
            link.WaitSeconds(0.5);
            if (link.ReplyWaiting())
                reply = link.ReadReply();
        }
        if (reply.isEmpty())
            reply = QStringLiteral(" ");
        if (!link.PortOpen())
            throw ExchangeFailed{};
        // A new connection: what answered before may have gone or changed.
        axisUnits_.clear();
        noteModelAnswer(address.toInt(), reply);
        exchange.settle(frame::modelQuery(address), reply.trimmed().isEmpty() ? QString() : reply);

        ProfileUpdate = true;
        const std::optional<UnitIdentity> identity = parseIdentityReply(reply);
        if (!identity) {
            link.closePort();
            state.UnitConnected = false;
            view_->setAllPanelsAvailable();
            return false;
        }
        noteIdentifiedModel(identity->unitModel);
        view_->showVersion(identity->versionText);
        state.UnitConnected = true;
        view_->selectPanel(identity->panel);
        // The chosen panel starts at its axis ("0" in the window).
        state.AxisAddress = axisAfterIdentify;
        VerifyParameters(identity->panel);
        if (identity->panel == Model::VELD30 && !unitKeeps(Model::VELD30, Field::Resolution))
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
