#pragma once
// Small helpers the command handlers of ktraveld-cli share: number and axis
// address words, a model named on the command line, and one NAME=VALUE of
// "set".

#include "protocol/Models.h"

#include <QJsonValue>
#include <QString>
#include <optional>

namespace ktv::cli {

std::optional<int> positiveNumber(const QString &text);

bool isAxisAddress(const QString &text);

// An address as the documents give it: a number, or null for a reply that is none.
QJsonValue addressJson(const QString &text);

// The panel of a model as scan reports it, in any case: a VELD40 or VELD50
// is worked from the VELD30 panel.
std::optional<Model> modelNamed(const QString &name);

// One NAME=VALUE of "set".
struct Assignment
{
    QString name;
    QString value;
    std::optional<ParamKey> key; // a parameter
    Field field = Field::Accel;  // a parameter's or an option's read-back field
    std::optional<Option> option;
};

// The commands that change the unit; their lines go to the change journal.
bool writesToUnit(const QString &command);

} // namespace ktv::cli
