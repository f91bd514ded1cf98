#pragma once
// Begin Motion and the two stops: written and forgotten.

#include "protocol/CommandFrame.h"

namespace ktv {

class MainWindow;

void BeginMotion(MainWindow &window, Model model);
// Works with or without a unit: a closed port is opened with the panel's
// fixed settings for this button, the line written, and the port closed again.
void StopMotion(MainWindow &window, Model model, frame::Motion stop);

} // namespace ktv
