#pragma once
// The drive option buttons (set and verify) and the profile buttons.

#include "protocol/Models.h"

namespace ktv {

class MainWindow;

void SetOption(MainWindow &window, Model model, Option option);
void ChooseProfile(MainWindow &window, Model model, int profile);

} // namespace ktv
