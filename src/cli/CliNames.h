#pragma once
// The names the command line uses: each read-back field by the caption of its
// panel label and by a short key (the key is also the JSON member name and
// the NAME of "set NAME=VALUE"), and the values a drive option takes.

#include "protocol/Models.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace ktv::cli {

QString fieldCaption(Field field); // "Accel/Decel", "Ramp Down", ...
QString fieldKey(Field field);     // "accel", "ramp-down", ...

// "accel" ... "upper-analog".
std::optional<ParamKey> paramKeyNamed(const QString &name);
QStringList parameterNames();

// "direction=cw" -> Option::CW, "resolution=4" -> Option::Res4, ...
std::optional<Field> optionFieldNamed(const QString &name);
QStringList optionNames();
QStringList optionValues(Field field);
std::optional<Option> optionFor(Field field, const QString &value);
// What the read-back shows once the option is in force: "CW", "ON", "4", "YES".
QString shownFor(Option option);

// A field's value as its panel label shows it, from the reply as the view got it.
QString shownValue(Model model, Field field, const QString &reply);

} // namespace ktv::cli
