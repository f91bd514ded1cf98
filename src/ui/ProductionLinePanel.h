#pragma once
// One line's panel of Production Run, and the view its StationLine reports
// to: its big verdict (and the same below the panels), what the line does,
// the fields that differ, what is wrong with its port, where its last result
// went, and its Stop.

#include "session/StationLine.h"
#include "ui/ProductionRunDialog.h"

#include <QString>
#include <memory>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace ktv {

class ProductionRunDialog::LinePanel : public StationView
{
  public:
    LinePanel(ProductionRunDialog &dialog, QWidget *parent, int comPort, const QString &device);
    ~LinePanel() override;

    void showState(const QString &text, const QString &colour = QString());
    // The verdict on the panel and below the panels; empty: none.
    void showVerdict(const QString &word);
    // The panel stands out while its line waits for a number.
    void highlight(bool on);

    void showStationState(const QString &text) override;
    void showCheckProgress(const QString &text) override;
    void showLineProblem(const QString &text) override;
    void showResult(const CheckReport &report, const QString &keptProblem) override;
    void askSerialNumber(const QString &refusal) override;
    void showUnitGone() override;
    void showRunEnded() override {}

    static inline const QString AdapterPulled = QStringLiteral("Adapter pulled, put it back");

    ProductionRunDialog &dialog_;
    const int comPort;
    const QString device;
    QGroupBox *box = nullptr;
    QLabel *verdict = nullptr;
    QLabel *summary = nullptr; // the verdict below the panels
    QLabel *state = nullptr;
    QListWidget *differences = nullptr;
    QLabel *serialProblem = nullptr;
    QLabel *port = nullptr;
    QLabel *kept = nullptr; // where this line's last result went, when it did not simply go
    QPushButton *stop = nullptr;
    QString lastGiven;   // the last number given to the line
    bool pulled = false; // the adapter went with the unit of the verdict shown
    std::shared_ptr<GivenSerialNumbers> serials;
    std::unique_ptr<StationLine> line;
};

} // namespace ktv
