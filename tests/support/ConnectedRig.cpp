#include "ConnectedRig.h"

#include <QMap>

namespace ktv::test {

UnitSimOptions optionsFor(Model model, const QStringList &extraArgs)
{
    UnitSimOptions options;
    options.model = modelId(model);
    options.baud = 9600;
    options.extraArgs = extraArgs;
    return options;
}

Rig::Rig(Model model, const QStringList &extraArgs) : unit(optionsFor(model, extraArgs)) {}

bool Rig::connect()
{
    if (!unit.start())
        return false;
    bench = std::make_unique<Workbench>(unit.devicePath());
    bench->load();
    unit.clearRecord();
    return bench->state.UnitConnected && bench->recorder.messages.isEmpty();
}

QList<QByteArray> verifyQueries(Model model, const QByteArray &axis, const QByteArray &profile)
{
    // Written out by letter rather than taken from the catalogue, so a wrong
    // plan there shows up here.
    static const QMap<Model, QByteArray> plans = {
        {Model::KTRA10, "ABM+CRD!"}, {Model::KTRA20, "ABMLUECRD!"}, {Model::KTRA30, "ABM+CD!"},
        {Model::VELD10, "ABMN+CR!"}, {Model::VELD20, "ABMNT+C!"},   {Model::VELD30, "ABMNT+R!"}};
    QList<QByteArray> lines;
    for (char item : plans.value(model)) {
        if (item == '!')
            lines << "@" + axis + "!\r";
        else if (QByteArray("ABMNTLU").contains(item))
            lines << "@" + axis + "V" + item + profile + "\r";
        else
            lines << "@" + axis + "V" + item + "\r";
    }
    return lines;
}

} // namespace ktv::test
