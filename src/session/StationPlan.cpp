#include "session/StationPlan.h"

#include "link/PortProbe.h"

#include <QSysInfo>

namespace ktv {

Outcome<void> StationPlan::patternValid() const
{
    if (!askSerial)
        return {};
    const QString problem = serialPatternProblem(serialPattern);
    if (!problem.isEmpty())
        return Outcome<void>::failure(problem);
    return {};
}

Outcome<CheckRequest> StationPlan::request() const
{
    QString problem;
    std::optional<CheckRequest> request = checkRequestFromFile(sheetPath, &problem);
    if (!request)
        return Outcome<CheckRequest>::failure(problem);
    request->load = true;
    request->operatorName = operatorName.trimmed();
    request->station = station.trimmed();
    if (request->station.isEmpty())
        request->station = QSysInfo::machineHostName();
    return std::move(*request);
}

Outcome<void> StationPlan::sheetAccepted(const CheckRequest &request)
{
    QStringList lines;
    for (const SheetRefusal &refusal :
         validateParameterSheet(request.sheet, request.sheet.unitModel))
        lines << refusalLine(refusal);
    if (!lines.isEmpty())
        return Outcome<void>::failure(lines.join(QLatin1Char('\n')));
    return {};
}

Outcome<void> StationPlan::portsOpen() const
{
    // A port that does not open now is a mistake in the set-up more often
    // than an adapter not yet plugged in: said before anything runs.
    for (const Line &line : lines) {
        if (heldDevices.contains(line.device))
            continue;
        const Outcome<void> opens = portOpens(line.device);
        if (!opens)
            return Outcome<void>::failure(
                QStringLiteral("%1 does not open: %2\n%3")
                    .arg(stationLineName(line.comPort, line.device), opens.problem(),
                         diagnoseOpenFailure(line.device, opens.problem())));
    }
    return {};
}

Outcome<std::vector<StationLineSetup>> StationPlan::check() const
{
    using Setups = Outcome<std::vector<StationLineSetup>>;
    if (const Outcome<void> pattern = patternValid(); !pattern)
        return Setups::failure(pattern.problem());
    const Outcome<CheckRequest> read = request();
    if (!read)
        return Setups::failure(read.problem());
    if (const Outcome<void> accepted = sheetAccepted(*read); !accepted)
        return Setups::failure(accepted.problem());
    if (const Outcome<void> open = portsOpen(); !open)
        return Setups::failure(open.problem());
    return setups(*read);
}

std::vector<StationLineSetup> StationPlan::setups(const CheckRequest &request) const
{
    std::vector<StationLineSetup> made;
    for (const Line &line : lines) {
        StationLineSetup setup;
        setup.comPort = line.comPort;
        setup.device = line.device;
        setup.baud = baud;
        setup.address = address;
        setup.pace = pace;
        setup.request = request;
        setup.unitsLeft = unitsLeft;
        if (askSerial)
            setup.serialPattern = serialPattern;
        made.push_back(std::move(setup));
    }
    return made;
}

} // namespace ktv
