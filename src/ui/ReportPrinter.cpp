#include "ui/ReportPrinter.h"

#include "protocol/CellText.h"
#include "protocol/Threads.h"
#include "store/WholeFile.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QPdfWriter>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextDocument>

#include <memory>
#include <utility>

namespace ktv {

namespace {

QByteArray csvLine(const QStringList &fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += csvCell(fields[i]).toUtf8();
    }
    return line + "\r\n";
}

QString cellsHtml(const QStringList &cells, const char *tag)
{
    QString html = QStringLiteral("<tr>");
    for (const QString &cell : cells)
        html += QStringLiteral("<%1>%2</%1>").arg(QLatin1String(tag), cell.toHtmlEscaped());
    return html + QStringLiteral("</tr>");
}

QString pageHtml(const ReportPage &page, bool first)
{
    QString html = first ? QStringLiteral("<div>")
                         : QStringLiteral("<div style=\"page-break-before: always\">");
    html += QStringLiteral("<h2>%1</h2>").arg(page.title.toHtmlEscaped());
    if (!page.verdict.isEmpty())
        html += QStringLiteral("<p style=\"font-size: 28pt; font-weight: bold\">%1</p>")
                    .arg(page.verdict.toHtmlEscaped());
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
    for (const auto &[name, value] : page.facts)
        html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                    .arg(name.toHtmlEscaped(), value.toHtmlEscaped());
    html += QStringLiteral("</table><p></p>");
    if (!page.columns.isEmpty()) {
        html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                               "width=\"100%\"><thead>") +
                cellsHtml(page.columns, "th") + QStringLiteral("</thead>");
        for (const QStringList &row : page.rows)
            html += cellsHtml(row, "td");
        html += QStringLiteral("</table>");
    }
    return html + QStringLiteral("</div>");
}

} // namespace

QByteArray reportCsv(const ReportPage &page)
{
    QByteArray csv;
    for (const auto &[name, value] : page.facts)
        csv += csvLine({name, value});
    if (!page.facts.empty())
        csv += "\r\n";
    csv += csvLine(page.columns);
    for (const QStringList &row : page.rows)
        csv += csvLine(row);
    return csv;
}

QString reportTargetProblem(const QString &path)
{
    // Only a plain file (or none yet): a named pipe would hold the writer
    // until someone read it, and a device or a folder is no place for a
    // report; neither is replaced by one.
    if (notAFileKind(path).isEmpty())
        return {};
    return QStringLiteral("%1 is not a plain file: a report is written only to a file.").arg(path);
}

bool writeReportCsv(const QString &path, const ReportPage &page, QString *problem)
{
    if (const QString refused = reportTargetProblem(path); !refused.isEmpty()) {
        *problem = refused;
        return false;
    }
    if (const Outcome<void> written = writeWholeFile(path, reportCsv(page)); !written) {
        *problem = QStringLiteral("%1 could not be written: %2").arg(path, written.problem());
        return false;
    }
    return true;
}

QByteArray reportPdf(const std::vector<ReportPage> &pages)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(1200);
        writer.setCreator(QStringLiteral("KTRA-VELD Software"));
        writer.setTitle(pages.empty() ? QString() : pages.front().title);
        QString html;
        for (std::size_t i = 0; i < pages.size(); ++i)
            html += pageHtml(pages[i], i == 0);
        QTextDocument document;
        // Without ligatures: a "fi" copied out of the PDF, or searched for in
        // it, stays the two letters "f" and "i".
        QFont font = document.defaultFont();
        font.setStyleStrategy(QFont::PreferNoShaping);
        document.setDefaultFont(font);
        document.setHtml(html);
        document.print(&writer);
    }
    return buffer.data();
}

bool printReportPdf(const QString &path, const std::vector<ReportPage> &pages, QString *problem)
{
    if (const QString refused = reportTargetProblem(path); !refused.isEmpty()) {
        *problem = refused;
        return false;
    }
    // Drawn in memory, then written through the one file opened for it, whole
    // or not at all: a failed write leaves the old file as it was.
    const QByteArray pdf = reportPdf(pages);
    if (pdf.isEmpty()) {
        *problem = QStringLiteral("%1 could not be written.").arg(path);
        return false;
    }
    if (const Outcome<void> written = writeWholeFile(path, pdf); !written) {
        *problem = QStringLiteral("%1 could not be written: %2").arg(path, written.problem());
        return false;
    }
    return true;
}

QString reportTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}

QString chooseReportFileDialog(QWidget *parent, ReportFormat format, const QString &suggestedName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (format == ReportFormat::Csv)
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Export (CSV)"),
                                            QDir(folder).filePath(suggestedName + ".csv"),
                                            QStringLiteral("CSV files (*.csv);;All files (*)"));
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Print to PDF"),
                                        QDir(folder).filePath(suggestedName + ".pdf"),
                                        QStringLiteral("PDF files (*.pdf);;All files (*)"));
}

void writeInBackground(std::function<bool(QString *problem)> job,
                       std::function<void(const QString &problem)> failed)
{
    // A write still under way when the program's event loop ends is waited
    // for there, while the application's fonts are still there.
    threads::run(
        QStringLiteral("report"), qApp,
        [job = std::move(job)] {
            QString problem;
            const bool written = job(&problem);
            return std::make_pair(written, problem);
        },
        [failed = std::move(failed)](const std::pair<bool, QString> &outcome) {
            if (!outcome.first)
                failed(outcome.second);
        });
}

ReportButtons addReportButtons(QDialogButtonBox *buttons, ReportFiles files,
                               const QString &suggestedName, std::function<ReportPage()> csvPage,
                               std::function<std::vector<ReportPage>()> pdfPages)
{
    ReportButtons made;
    made.exportCsv =
        buttons->addButton(QStringLiteral("&Export (CSV)..."), QDialogButtonBox::ActionRole);
    made.exportCsv->setObjectName(QStringLiteral("cmdExport"));
    made.exportCsv->setAutoDefault(false);
    made.print = buttons->addButton(QStringLiteral("&Print..."), QDialogButtonBox::ActionRole);
    made.print->setObjectName(QStringLiteral("cmdPrint"));
    made.print->setAutoDefault(false);
    QObject::connect(made.exportCsv, &QPushButton::clicked, buttons,
                     [files, suggestedName, csvPage = std::move(csvPage)] {
                         const QString path = files.choose(ReportFormat::Csv, suggestedName);
                         if (path.isEmpty())
                             return;
                         writeInBackground(
                             [path, page = csvPage()](QString *problem) {
                                 return writeReportCsv(path, page, problem);
                             },
                             files.failed);
                     });
    QObject::connect(made.print, &QPushButton::clicked, buttons,
                     [files, suggestedName, pdfPages = std::move(pdfPages)] {
                         const QString path = files.choose(ReportFormat::Pdf, suggestedName);
                         if (path.isEmpty())
                             return;
                         writeInBackground(
                             [path, pages = pdfPages()](QString *problem) {
                                 return printReportPdf(path, pages, problem);
                             },
                             files.failed);
                     });
    return made;
}

} // namespace ktv
