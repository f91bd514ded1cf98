#pragma once
// What a read-back run shows on its panel: labels with their prefixes, the
// option buttons that follow the unit's settings, and the entry boxes while
// the run copies values into them.

#include "protocol/Models.h"

#include <QString>
#include <optional>

namespace ktv {

struct Panel;

void resetReadback(Panel &panel, const QString &profile);
// reply: the text as the run hands it over (CR removed except for ramp down);
// none when the unit did not answer: the label shows its bare prefix and the
// option buttons stay as they are.
void showField(Panel &panel, Field field, const std::optional<QString> &reply, bool copyIntoBox);
void showSelectedAxis(Panel &panel, const QString &address);

} // namespace ktv
