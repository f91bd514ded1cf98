#pragma once
// One model panel as built from the catalogue: the widgets the actions read
// and write, reachable by role.

#include "ui/PanelCatalogue.h"

#include <QHash>
#include <array>
#include <map>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace ktv {

struct Panel
{
    Model model = Model::KTRA10;
    QWidget *page = nullptr;
    std::map<ParamKey, QLineEdit *> boxes;
    std::map<ParamKey, QPushButton *> sendButtons;
    std::map<Option, QRadioButton *> options;
    std::array<QRadioButton *, 5> profiles{}; // [1] to [4]; nullptr where the panel has none
    std::array<QPushButton *, 3> motion{};    // Go, StopSoft, StopAll
    QPushButton *verify = nullptr;
    std::map<int, QLabel *> info;            // lblVerifyInfo<Model>_<index>
    std::map<ReadbackRole, QLabel *> labels; // lblVerify..., lblError, lblProfile, lblSelectedAxis
    QHash<QString, QWidget *> byName;        // every control and frame by object name

    const ModelSpec &entry() const { return modelSpec(model); }
    // cppcheck-suppress CastIntegerToAddressAtReturn ; motion holds pointers, not integers
    QPushButton *go() const { return motion[0]; }
    QLabel *label(ReadbackRole role) const
    {
        auto it = labels.find(role);
        return it == labels.end() ? nullptr : it->second;
    }
    QWidget *control(const QString &name) const { return byName.value(name); }
};

// The most characters an entry box takes from the keyboard (0: no limit of
// its own). Text a read-back writes into the box is not cut to it.
int typingLimit(const QLineEdit *box);

// Builds the panel's widgets in creation order on a fresh page and lays them
// out; profile 1 starts selected, no other option button does.
Panel buildPanel(const ModelSpec &model);

} // namespace ktv
