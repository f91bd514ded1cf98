#pragma once
// The read-back run behind every panel's Verify Parameters button.

#include "protocol/Models.h"

namespace ktv {

class MainWindow;

void VerifyParameters(MainWindow &window, Model model);

} // namespace ktv
