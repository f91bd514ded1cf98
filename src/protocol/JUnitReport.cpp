#include "protocol/JUnitReport.h"

#include <QXmlStreamWriter>

namespace ktv {

namespace {

enum class Outcome { Passed, Failure, Error, Skipped };

struct Case
{
    QString className;
    QString name;
    Outcome outcome = Outcome::Passed;
    QString type; // the verdict's text
    QString message;
};

Case caseOf(const QString &model, const CheckedValue &value)
{
    Case c{model + (value.profile > 0 ? QStringLiteral(".Profile %1").arg(value.profile)
                                      : QStringLiteral(".Drive Settings")),
           value.caption.isEmpty() ? value.key : value.caption, Outcome::Passed,
           valueVerdictText(value.verdict), QString()};
    switch (value.verdict) {
    case ValueVerdict::Match:
        break;
    case ValueVerdict::Differs:
    case ValueVerdict::NotKept:
        c.outcome = Outcome::Failure;
        c.message = QStringLiteral("sheet %1, unit %2")
                        .arg(value.sheetValue, value.unitValue.value_or(QString()));
        break;
    case ValueVerdict::Refused:
        c.outcome = Outcome::Failure;
        c.message = value.problem;
        break;
    case ValueVerdict::NoAnswer:
        c.outcome = Outcome::Error;
        c.message = value.problem.isEmpty() ? c.type : value.problem;
        break;
    case ValueVerdict::NotWritten:
        c.outcome = Outcome::Error;
        c.message = c.type;
        break;
    case ValueVerdict::NotVerifiable:
        c.outcome = Outcome::Skipped;
        c.message = c.type;
        break;
    }
    return c;
}

} // namespace

QByteArray writeJUnitReport(const CheckReport &report)
{
    const QString model = report.unit.unitModel;
    std::vector<Case> cases;
    for (const CheckedValue &value : report.values)
        cases.push_back(caseOf(model, value));
    if (!report.problem.isEmpty())
        cases.push_back({model + QStringLiteral(".Check"), QStringLiteral("Check"),
                         report.verdict == CheckVerdict::Error ? Outcome::Error : Outcome::Failure,
                         checkVerdictText(report.verdict), report.problem});
    auto count = [&cases](Outcome outcome) {
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
                       QStringLiteral("%1 %2").arg(model, report.sheetName));
    xml.writeAttribute(QStringLiteral("tests"), QString::number(cases.size()));
    xml.writeAttribute(QStringLiteral("failures"), count(Outcome::Failure));
    xml.writeAttribute(QStringLiteral("errors"), count(Outcome::Error));
    xml.writeAttribute(QStringLiteral("skipped"), count(Outcome::Skipped));
    xml.writeAttribute(QStringLiteral("time"), QString::number(seconds, 'f', 3));
    // JUnit's timestamp has no zone: the bench's local time.
    xml.writeAttribute(QStringLiteral("timestamp"),
                       report.started.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    xml.writeAttribute(QStringLiteral("hostname"), report.station);
    xml.writeStartElement(QStringLiteral("properties"));
    const QList<std::pair<QString, QString>> properties = {
        {QStringLiteral("id"), report.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("verdict"), checkVerdictText(report.verdict)},
        {QStringLiteral("revision"), report.unit.revision},
        {QStringLiteral("operator"), report.operatorName},
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
        const char *const element = c.outcome == Outcome::Failure   ? "failure"
                                    : c.outcome == Outcome::Error   ? "error"
                                    : c.outcome == Outcome::Skipped ? "skipped"
                                                                    : nullptr;
        if (element) {
            xml.writeEmptyElement(QString::fromLatin1(element));
            xml.writeAttribute(QStringLiteral("message"), c.message);
            if (c.outcome != Outcome::Skipped)
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
