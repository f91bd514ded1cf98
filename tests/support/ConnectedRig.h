#pragma once
// A simulated unit of one model on the line at 9600 baud (the first rate the
// scan tries), and the program connected to it. After connect() the unit's
// record holds only what follows the connection.

#include "UnitSimProcess.h"
#include "Workbench.h"

#include <QLineEdit>
#include <memory>

namespace ktv::test {

// A unit of the model at 9600 baud.
UnitSimOptions optionsFor(Model model, const QStringList &extraArgs = {});

struct Rig
{
    explicit Rig(Model model = Model::VELD30, const QStringList &extraArgs = {});
    bool connect();
    QLineEdit *box(Model model, ParamKey key) const { return bench->panel(model).boxes.at(key); }

    UnitSimProcess unit;
    std::unique_ptr<Workbench> bench;
};

// The queries of one read-back run at an address and profile, in the order
// the model asks them; a VELD30 is also asked for its resolution.
QList<QByteArray> verifyQueries(Model model, const QByteArray &axis = "0",
                                const QByteArray &profile = "1");

} // namespace ktv::test
