#include "protocol/JUnitReport.h"

#include <QXmlStreamWriter>

#include <algorithm>

namespace ktv {

namespace {

enum class CaseOutcome { Passed, Failure, Error };

struct Case
{
    QString className;
    QString name;
    CaseOutcome outcome = CaseOutcome::Passed;
    QString type; // the verdict's text
    QString message;
};

Case caseOf(const QString &model, const CheckedValue &value)
{
    Case c{model + (value.profile > 0 ? QStringLiteral(".Profile %1").arg(value.profile)
                                      : QStringLiteral(".Drive Settings")),
           value.caption.isEmpty() ? value.key : value.caption, CaseOutcome::Passed,
           valueVerdictText(value.verdict), QString()};
    switch (value.verdict) {
    case ValueVerdict::Match:
        break;
    case ValueVerdict::Differs:
    case ValueVerdict::NotKept:
        c.outcome = CaseOutcome::Failure;
        c.message = QStringLiteral("sheet %1, unit %2")
                        .arg(value.sheetValue, value.unitValue.value_or(QString()));
        break;
    case ValueVerdict::Refused:
        c.outcome = CaseOutcome::Failure;
        c.message = value.problem;
        break;
    case ValueVerdict::NoAnswer:
        c.outcome = CaseOutcome::Failure;
        c.message = value.problem.isEmpty() ? c.type : value.problem;
        break;
    case ValueVerdict::NotWritten:
        c.outcome = CaseOutcome::Error;
        c.message = c.type;
        break;
    case ValueVerdict::NotVerifiable:
        // Not proven is not passed: the check fails on it, and so does the case.
        c.outcome = CaseOutcome::Failure;
        c.message = c.type;
        break;
    }
    return c;
}

bool isXmlCharacter(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The text with each character XML cannot carry (a control character, a
// lone surrogate, U+FFFE) as U+FFFD; field is noted once when one was.
class XmlText
{
  public:
    explicit XmlText(QStringList *replaced) : replaced_(replaced) {}

    QString operator()(const QString &text, const QString &field)
    {
        QString clean;
        bool changed = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                clean += c;
                clean += text[++i];
            } else if (!c.isSurrogate() && isXmlCharacter(c.unicode())) {
                clean += c;
            } else {
                clean += QChar(QChar::ReplacementCharacter);
                changed = true;
            }
        }
        if (changed && replaced_ && !replaced_->contains(field))
            replaced_->append(field);
        return clean;
    }

  private:
    QStringList *replaced_;
};

} // namespace

QByteArray writeJUnitReport(const CheckReport &report, QStringList *replaced)
{
    XmlText xmlText(replaced);
    const QString model = xmlText(report.unit.unitModel, QStringLiteral("model"));
    std::vector<Case> cases;
    for (const CheckedValue &value : report.values) {
        Case c = caseOf(model, value);
        const QString field = checkedValueName(value);
        c.name = xmlText(c.name, field);
        c.message = xmlText(c.message, field);
        cases.push_back(std::move(c));
    }
    if (!report.problem.isEmpty())
        // A check that found no unit has no model to name its class.
        cases.push_back(
            {model.isEmpty() ? QStringLiteral("Check") : model + QStringLiteral(".Check"),
             QStringLiteral("Check"),
             report.verdict == CheckVerdict::Error ? CaseOutcome::Error : CaseOutcome::Failure,
             checkVerdictText(report.verdict), xmlText(report.problem, QStringLiteral("problem"))});
    auto count = [&cases](CaseOutcome outcome) {
        return QString::number(std::count_if(
            cases.begin(), cases.end(), [outcome](const Case &c) { return c.outcome == outcome; }));
    };
    const double seconds = report.started.isValid() && report.ended.isValid()
                               ? double(report.started.msecsTo(report.ended)) / 1000.0
                               : 0.0;

    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("testsuites"));
    xml.writeStartElement(QStringLiteral("testsuite"));
    xml.writeAttribute(QStringLiteral("name"),
                       QStringLiteral("%1 %2")
                           .arg(model, xmlText(report.sheetName, QStringLiteral("sheet name")))
                           .trimmed());
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), count(CaseOutcome::Failure));
    xml.writeAttribute(QStringLiteral("errors"), count(CaseOutcome::Error));
    xml.writeAttribute(QStringLiteral("skipped"), QStringLiteral("0"));
    xml.writeAttribute(QStringLiteral("time"), QString::number(seconds, 'f', 3));
    // JUnit's timestamp has no zone: the bench's local time.
    xml.writeAttribute(QStringLiteral("timestamp"),
                       report.started.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    xml.writeAttribute(QStringLiteral("hostname"),
                       xmlText(report.station, QStringLiteral("station")));
    xml.writeStartElement(QStringLiteral("properties"));
    const QList<std::pair<QString, QString>> properties = {
        {QStringLiteral("id"), report.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("verdict"), checkVerdictText(report.verdict)},
        {QStringLiteral("revision"), xmlText(report.unit.revision, QStringLiteral("revision"))},
        {QStringLiteral("operator"), xmlText(report.operatorName, QStringLiteral("operator"))},
        {QStringLiteral("sheet-sha256"), report.sheetSha256}};
    QList<std::pair<QString, QString>> given = properties;
    if (!report.serial.isEmpty())
        given.append({QStringLiteral("serial"), report.serial});
    for (const auto &[name, value] : given) {
        xml.writeEmptyElement(QStringLiteral("property"));
        xml.writeAttribute(QStringLiteral("name"), name);
        xml.writeAttribute(QStringLiteral("value"), value);
    }
    xml.writeEndElement(); // properties
    for (const Case &c : cases) {
        xml.writeStartElement(QStringLiteral("testcase"));
        xml.writeAttribute(QStringLiteral("classname"), c.className);
        xml.writeAttribute(QStringLiteral("name"), c.name);
        const char *const element = c.outcome == CaseOutcome::Failure ? "failure"
                                    : c.outcome == CaseOutcome::Error ? "error"
                                                                      : nullptr;
        if (element) {
            xml.writeEmptyElement(QString::fromLatin1(element));
            xml.writeAttribute(QStringLiteral("message"), c.message);
            xml.writeAttribute(QStringLiteral("type"), c.type);
        }
        xml.writeEndElement(); // testcase
    }
    xml.writeEndElement(); // testsuite
    xml.writeEndElement(); // testsuites
    xml.writeEndDocument();
    return bytes;
}

} // namespace ktv
