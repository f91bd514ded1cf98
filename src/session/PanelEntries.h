#pragma once
// What the operator gave with an action: the texts of a panel's entry boxes,
// with the profile and axis address in force, captured when the operator
// clicked Send or left a box. The session decides on these values alone, so
// a value typed or a profile clicked after the action does not change what
// the action sends.

#include "protocol/Models.h"

#include <QMap>
#include <QString>

namespace ktv {

struct PanelEntries
{
    QMap<ParamKey, QString> texts; // by key; a panel's boxes, or the tool's values
    QString profile;
    QString address;

    // Empty for a key the panel has no box for.
    QString text(ParamKey key) const { return texts.value(key); }
};

} // namespace ktv
