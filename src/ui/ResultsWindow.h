#pragma once
// Tools > Results: the checks, newest first, with the filters of
// `ktraveld-cli results` (station, unit model, since, failed only), and the
// yield per station and day, and the charts (ResultsCharts), which the same
// filters and a serial number drive. They come from the results server when one is
// set and answers, else from this bench's journal; the line above the table
// says which, and how many of this bench's results wait to be sent. Those
// head the list, "waiting" in their Sent column; the others show when the
// server took them. The newest 500 come first, then 500 more with each
// More. The yield table counts units as the charts do (its definition
// above it), by the server's views or the same arithmetic on the journal.
//
// Everything is read on the results worker's thread: the window stays with
// the operator (and Hard Limit) while the server is slow or silent, and
// shown() follows each reading.

#include "store/CheckResults.h"

#include <QDateTime>
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ktv {

class ResultsCharts;
class ResultsWorker;
class Toolkit;
struct ResultsPage;

class ResultsWindow : public QDialog
{
    Q_OBJECT
  public:
    static constexpr int PageSize = 500;

    ResultsWindow(const QString &storePath, const QString &journalPath, ResultsWorker &worker,
                  Toolkit &toolkit, QWidget *parent);

    QLineEdit *stationFilter() const { return station_; }
    QLineEdit *unitFilter() const { return unit_; }
    QLineEdit *sinceFilter() const { return since_; }
    QCheckBox *failedOnly() const { return failed_; }
    QLabel *source() const { return source_; }
    QTableWidget *results() const { return results_; }
    QTableWidget *yields() const { return yields_; }
    QLabel *yieldDefinition() const { return definition_; }
    ResultsCharts *charts() const { return charts_; }
    QPushButton *moreButton() const { return more_; }

    // Reads the checks again with the filters as they stand; shown() follows.
    void refresh();
    // The next page, added below.
    void showMore();

  signals:
    void shown();

  private:
    void load(bool append);
    void showPage(const ResultsPage &page, bool append);

    QString storePath_;
    QString journalPath_;
    ResultsWorker &worker_;
    ResultsFilter filter_;
    QDateTime oldestShown_; // the start of the last check listed
    Toolkit &toolkit_;
    QLineEdit *station_ = nullptr;
    QLineEdit *unit_ = nullptr;
    QLineEdit *since_ = nullptr;
    QCheckBox *failed_ = nullptr;
    QPushButton *show_ = nullptr;
    QPushButton *more_ = nullptr;
    QLabel *source_ = nullptr;
    QTableWidget *results_ = nullptr;
    QTableWidget *yields_ = nullptr;
    QLabel *definition_ = nullptr;
    ResultsCharts *charts_ = nullptr;
};

} // namespace ktv
