#pragma once
// Tools > Results: the checks, newest first, with the filters of
// `ktraveld-cli results` (station, unit model, since, failed only), and the
// yield per station and day, and the charts (ResultsCharts), which the same
// filters and a serial number drive. They come from the results server when one is
// set and answers, else from this bench's journal; the line above the table
// says which.

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ktv {

class ResultsCharts;
class Toolkit;

class ResultsWindow : public QDialog
{
    Q_OBJECT
  public:
    ResultsWindow(const QString &storePath, const QString &journalPath, Toolkit &toolkit,
                  QWidget *parent);

    QLineEdit *stationFilter() const { return station_; }
    QLineEdit *unitFilter() const { return unit_; }
    QLineEdit *sinceFilter() const { return since_; }
    QCheckBox *failedOnly() const { return failed_; }
    QLabel *source() const { return source_; }
    QTableWidget *results() const { return results_; }
    QTableWidget *yields() const { return yields_; }
    ResultsCharts *charts() const { return charts_; }

    // Reads the checks again with the filters as they stand.
    void refresh();

  private:
    QString storePath_;
    QString journalPath_;
    Toolkit &toolkit_;
    QLineEdit *station_ = nullptr;
    QLineEdit *unit_ = nullptr;
    QLineEdit *since_ = nullptr;
    QCheckBox *failed_ = nullptr;
    QPushButton *show_ = nullptr;
    QLabel *source_ = nullptr;
    QTableWidget *results_ = nullptr;
    QTableWidget *yields_ = nullptr;
    ResultsCharts *charts_ = nullptr;
};

} // namespace ktv
