#pragma once
// A drive option as its button sends it (the option line, then 0.5 s for the
// unit to take it), without the read-back the button runs after it: a batch
// of changes is confirmed by one read-back at its end.

#include "protocol/Models.h"

namespace ktv {

class UnitSession;

// False when the line could not be written (port closed, program ending).
bool writeOption(UnitSession &session, Option option);

} // namespace ktv
