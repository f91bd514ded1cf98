#pragma once
// The main window's parameter sheet and change history actions: File > Save,
// Load and Compare with Unit Settings, Tools > Change History and its Write
// Back. Each needs a connected unit, shows its progress in a window-modal
// dialog whose Cancel stops after the value in hand, and ends with what the
// operator asked for: a file, the unit loaded, or the comparison table.

#include "ui/ReportPrinter.h"

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace ktv {

class ChangeTracker;
class MainWindow;
class UnitSession;
struct ChosenSheet;
struct JournalRow;
struct SheetComparisonRow;
struct UnitDescription;

// What a file is chosen for: a parameter sheet, or a report (Export, Print).
enum class SheetFileUse { Save, Load, Compare, Export, Print };

class SheetActions
{
  public:
    SheetActions(MainWindow &window, UnitSession &session);

    void saveUnitSettings();
    void loadUnitSettings();
    void compareWithUnitSettings();
    void openChangeHistory();

    // The file dialog; a test puts its own chooser in its place. An empty
    // name: the operator chose none.
    using FileChooser = std::function<QString(SheetFileUse)>;
    void setFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }
    // The tracker that knows the unit on the line and journals its changes,
    // and the journal Change History shows.
    void setChangeTracking(ChangeTracker *tracker, const QString &journalPath);
    const QString &journalPath() const { return journalPath_; }
    // Where the reports of Compare, Change History and the production
    // station go: the file chooser above, a failure said in a message.
    ReportFiles reportFiles();
    // The file dialog for a use, or the test's chooser in its place.
    QString chooseFile(SheetFileUse use);

  private:
    // The connected unit as it named itself; none (and the not-connected
    // message) without one.
    std::optional<UnitDescription> connectedUnit();
    // The connected unit and a sheet file the operator chose and that reads;
    // none when any of them is missing (the reason already shown).
    std::optional<ChosenSheet> chooseSheet(SheetFileUse use);
    bool confirm(const QString &question);
    void showComparison(const std::vector<SheetComparisonRow> &rows, const QString &title,
                        const ChosenSheet &chosen);
    bool canWriteBack(const JournalRow &row) const;
    void writeBack(const JournalRow &row);

    MainWindow &window_;
    UnitSession &session_;
    FileChooser fileChooser_;
    ChangeTracker *tracker_ = nullptr;
    QString journalPath_;
};

} // namespace ktv
