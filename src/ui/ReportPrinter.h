#pragma once
// Reports the operator takes away from a table: Export (CSV) for a
// spreadsheet, and Print, a PDF to print or file. Compare, Change History
// and the production station each describe what they show as ReportPages;
// this is the one place that writes them.
//
// CSV: the facts first, one "name,value" line each, an empty line, then the
// table's heading line and its rows; fields quoted as RFC 4180 has it, lines
// ending in CR LF, UTF-8. PDF: each page starts on a sheet of paper of its
// own (A4); a table longer than a sheet goes on over the next ones.

#include <QDateTime>
#include <QDialogButtonBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

class QPushButton;
class QWidget;

namespace ktv {

struct ReportPage
{
    QString title;                                  // "Compare with Unit Settings"
    std::vector<std::pair<QString, QString>> facts; // {"Unit", "KTRA20"}, {"Local time", ...}
    QStringList columns;
    std::vector<QStringList> rows;
    QString verdict; // in large letters under the title ("PASS"); empty: none
};

QByteArray reportCsv(const ReportPage &page);
QByteArray reportPdf(const std::vector<ReportPage> &pages);
// "<path> is not a plain file: ..." when a named pipe, a device or a folder
// is under the name (a link followed): a report is never written into one
// nor put in its place. Empty for a plain file or none.
QString reportTargetProblem(const QString &path);
// False, with what went wrong, when the file could not be written whole.
// Both are written through the one file they open.
bool writeReportCsv(const QString &path, const ReportPage &page, QString *problem);
bool printReportPdf(const QString &path, const std::vector<ReportPage> &pages, QString *problem);

// Writes a report on a thread of its own: a file system that hangs (a share
// gone away) never holds the window. What went wrong is said on the
// window's thread once the thread ends. A PDF may be drawn there too: text
// is drawn on any thread, onto a PDF as onto an image. Every such thread
// has ended before the application object is taken down.
void writeInBackground(std::function<bool(QString *problem)> job,
                       std::function<void(const QString &problem)> failed);

// The local time with its offset from UTC, as reports show it:
// "2026-12-08T15:03:11+01:00".
QString reportTime(const QDateTime &time);

enum class ReportFormat { Csv, Pdf };

// How a dialog's report reaches a file: the operator chooses one (an empty
// name: none), and a file that cannot be written is said.
struct ReportFiles
{
    std::function<QString(ReportFormat format, const QString &suggestedName)> choose;
    std::function<void(const QString &problem)> failed;
};

// The file dialog for a report, at suggestedName in the user's documents.
QString chooseReportFileDialog(QWidget *parent, ReportFormat format, const QString &suggestedName);

// "&Export (CSV)..." (cmdExport) and "&Print..." (cmdPrint) in a dialog's
// button row. The pages are made when the button is pressed, so they show
// what the dialog shows then (its filter, its rows so far).
struct ReportButtons
{
    QPushButton *exportCsv = nullptr;
    QPushButton *print = nullptr;
};
ReportButtons addReportButtons(QDialogButtonBox *buttons, ReportFiles files,
                               const QString &suggestedName, std::function<ReportPage()> csvPage,
                               std::function<std::vector<ReportPage>()> pdfPages);

} // namespace ktv
