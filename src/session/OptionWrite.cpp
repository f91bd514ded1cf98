#include "session/OptionWrite.h"

#include "protocol/CommandFrame.h"
#include "session/UnitSession.h"

namespace ktv {

bool writeOption(UnitSession &session, Option option)
{
    if (!session.link.write(frame::optionLine(session.state.AxisAddress, option)))
        return false;
    session.link.WaitSeconds(0.5);
    return true;
}

} // namespace ktv
