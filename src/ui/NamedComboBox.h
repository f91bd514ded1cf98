#pragma once
// A drop-down list is read out by its name ("Day", "Baud"), its choice as
// its value. Qt's own reading on this platform gives the choice as the
// name, so a screen reader says "2026-12-08" where the operator needs
// "Day: 2026-12-08". Installed once, for every list that cannot be typed
// into; one without a name of its own keeps the choice as its name.

namespace ktv {

void readComboBoxesByName();

} // namespace ktv
