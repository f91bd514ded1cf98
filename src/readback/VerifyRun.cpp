#include "readback/VerifyRun.h"

#include "app/MainWindow.h"
#include "app/Toolkit.h"
#include "link/Connection.h"
#include "link/SerialLink.h"
#include "protocol/CommandFrame.h"
#include "readback/VerifyDisplay.h"

#include <QPushButton>

namespace ktv {

void VerifyParameters(MainWindow &window, Model model)
{
    SharedState &state = window.state;
    SerialLink &link = window.link;
    if (!state.UnitConnected) {
        ShowNotConnected(state);
        return;
    }
    Panel &panel = window.panel(model);
    const ModelSpec &entry = modelSpec(model);

    ++window.Times;
    panel.verify->setEnabled(false);
    panel.go()->setEnabled(false);
    ShowWaitCursor();
    resetReadback(panel, state.SelectedProfile);
    link.ReadReply(); // whatever the unit said before is not an answer to us

    bool completed = true;
    for (Field field : entry.plan) {
        if (field == Field::Resolution && model == Model::VELD30 && state.IdentifiedVELD50)
            continue; // a VELD50 has no resolution setting
        link.write(frame::queryLine(state.AxisAddress, field, state.SelectedProfile));
        link.WaitSeconds(0.05);
        QString reply = link.ReadReply();
        if (field != Field::RampDown)
            reply = StripCarriageReturns(reply);
        // A newer run has ended meanwhile: this one stops without showing
        // what it read.
        if (window.Times == 0 || link.isEnding()) {
            completed = false;
            break;
        }
        showField(panel, field, reply, window.ProfileUpdate);
    }
    if (completed && model == Model::VELD30)
        showSelectedAxis(panel, state.AxisAddress);

    window.ProfileUpdate = false;
    panel.verify->setEnabled(true);
    panel.go()->setEnabled(true);
    ShowNormalCursor();
    window.Times = 0;
}

} // namespace ktv
