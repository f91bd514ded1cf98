#pragma once
// The two ways a parameter reaches the unit: its Send button, and leaving its
// entry box with a valid value.

#include "params/ParameterLimits.h"

namespace ktv {

class MainWindow;

void SendButtonClicked(MainWindow &window, Model model, ParamKey key);
void EntryBoxLeft(MainWindow &window, Model model, ParamKey key);

// Writes the parameter line, waits 0.5 s and, on the Send path, runs the
// panel's read-back.
void SendParameter(MainWindow &window, Model model, ParamKey key, EntryPath path);

} // namespace ktv
