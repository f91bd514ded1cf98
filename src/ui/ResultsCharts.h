#pragma once
// The charts of Tools > Results, drawn with Qt Charts: the first-pass and
// final yield per station and day, the failing fields ranked (a Pareto
// chart: bars and the cumulative share), and the checks per hour of a chosen
// day; and one unit's history, every check at every station in order with
// its values, for a serial number typed or scanned (a scanner types and
// presses Enter).
//
// The figures come from the results server's views when a server is set
// and answers, else from this bench's journal with the same arithmetic
// (store/ResultsYield.h). They are read on a worker thread with its own
// connection, never on the window's thread; the window stays responsive
// while a server is slow or away.

#include "store/CheckResults.h"
#include "store/ResultsServer.h"

#include <QWidget>
#include <vector>

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

namespace ktv {

class Toolkit;

// What the charts draw, as read for one filter.
struct ChartFigures
{
    std::vector<YieldFigures> stationDays; // as the view yield_per_station_day holds them
    std::vector<FieldFailures> fields;     // as the view failing_fields holds them
    std::vector<HourCount> hours;          // the checks the filter lets through, per hour
    std::vector<CheckReport> history;      // the serial number's checks, oldest first
    QString source; // "The results database on db.plant." or the journal's sentence
};

// Reads the figures: from the server when setting is not empty and it
// answers, else from the journal. Slow (a database): call it off the
// window's thread.
ChartFigures readChartFigures(const QString &setting, const QString &journalPath,
                              const ResultsFilter &filter);

// What a yield counts, said once wherever a yield is shown.
QString yieldDefinitionText();
// "Filters: station bench-1, serial number SN-A" ("Filters: none").
QString filterText(const ResultsFilter &filter);

class ResultsCharts : public QWidget
{
    Q_OBJECT
  public:
    ResultsCharts(Toolkit &toolkit, QWidget *parent);
    ~ResultsCharts() override;

    // Reads the figures for the filter on a worker thread, then draws them
    // (loaded() follows). A newer load makes an older one's figures moot.
    void load(const QString &setting, const QString &journalPath, const ResultsFilter &filter);
    // Draws figures already read.
    void draw(const ChartFigures &figures, const ResultsFilter &filter);

    // The serial number in the box, trimmed; empty: every unit.
    QString serial() const;

    QLineEdit *serialBox() const { return serial_; }
    QComboBox *dayBox() const { return day_; }
    QChartView *yieldChart() const { return yield_; }
    QChartView *paretoChart() const { return pareto_; }
    QChartView *hourChart() const { return hours_; }
    QTableWidget *history() const { return history_; }
    QLabel *source() const { return source_; }

    // What is shown (a chart, or the unit's history) as a PNG picture; the
    // three charts as a PDF, a page each, and the unit's history when one is
    // listed. Each picture and page names the figures' source, the filters
    // and when it was made (also as the PNG's texts "Title", "Source",
    // "Filters" and "Made"). Drawn in memory; the file is written whole
    // beside its place and renamed over it, never into a named pipe or a
    // device. False, with the reason, when it could not be.
    QByteArray pngBytes() const;
    QByteArray pdfBytes() const;
    bool exportPng(const QString &path, QString *problem) const;
    bool exportPdf(const QString &path, QString *problem) const;

  signals:
    // Enter in the serial number box: the window lists that unit's checks.
    void serialEntered();
    void loaded();

  private:
    void drawYield();
    void drawPareto();
    void drawHours();
    void drawHistory();
    void exportTo(bool pdf);
    // The lines above an exported picture or page of the shown title.
    QString pageTitle(QWidget *shown) const;
    QStringList headerLines(const QString &title, const QDateTime &made) const;
    void drawPage(QPainter *painter, const QRectF &area, QWidget *shown,
                  const QDateTime &made) const;
    QString historyHtml() const;

    Toolkit &toolkit_;
    ChartFigures figures_;
    ResultsFilter filter_;
    int generation_ = 0;
    QLineEdit *serial_ = nullptr;
    QComboBox *day_ = nullptr;
    QLabel *source_ = nullptr;
    QTabWidget *tabs_ = nullptr;
    QChartView *yield_ = nullptr;
    QChartView *pareto_ = nullptr;
    QChartView *hours_ = nullptr;
    QTableWidget *history_ = nullptr;
};

} // namespace ktv
