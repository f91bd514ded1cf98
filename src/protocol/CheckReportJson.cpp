#include "protocol/CheckReportJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace ktv {

namespace {

QJsonValue textOrNull(const QString &text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

} // namespace

QString checkTimeText(const QDateTime &time)
{
    if (!time.isValid())
        return {};
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QJsonObject checkReportJson(const CheckReport &report)
{
    QJsonArray values;
    for (const CheckedValue &value : report.values)
        values.append(QJsonObject{
            {QStringLiteral("profile"),
             value.profile > 0 ? QJsonValue(value.profile) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("key"), value.key},
            {QStringLiteral("caption"), value.caption},
            {QStringLiteral("sheet"), value.sheetValue},
            {QStringLiteral("unit"),
             value.unitValue ? QJsonValue(*value.unitValue) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("verdict"), valueVerdictText(value.verdict)},
            {QStringLiteral("problem"), textOrNull(value.problem)}});
    const CheckedUnit &unit = report.unit;
    QJsonObject json{
        {QStringLiteral("format"), CheckReportVersion},
        {QStringLiteral("id"), report.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("verdict"), checkVerdictText(report.verdict)},
        {QStringLiteral("problem"), textOrNull(report.problem)},
        {QStringLiteral("unit"),
         QJsonObject{{QStringLiteral("model"), unit.unitModel},
                     {QStringLiteral("revision"), unit.revision},
                     {QStringLiteral("axis"), unit.axis},
                     {QStringLiteral("baud"), unit.baud},
                     {QStringLiteral("device"), unit.device},
                     {QStringLiteral("byId"), textOrNull(unit.byId)},
                     {QStringLiteral("serialNumber"), textOrNull(unit.serialNumber)}}},
        {QStringLiteral("serial"), textOrNull(report.serial)},
        {QStringLiteral("station"), report.station},
        {QStringLiteral("operator"), textOrNull(report.operatorName)},
        {QStringLiteral("sheet"), QJsonObject{{QStringLiteral("name"), report.sheetName},
                                              {QStringLiteral("sha256"), report.sheetSha256}}},
        {QStringLiteral("loaded"), report.loaded},
        {QStringLiteral("started"), checkTimeText(report.started)},
        {QStringLiteral("ended"), checkTimeText(report.ended)},
        {QStringLiteral("values"), values},
    };
    if (!report.fixedWaits.isEmpty())
        json.insert(QStringLiteral("fixedWaits"), QJsonArray::fromStringList(report.fixedWaits));
    if (!report.notKept.isEmpty())
        json.insert(QStringLiteral("notKept"), QJsonArray::fromStringList(report.notKept));
    return json;
}

QByteArray writeCheckReportJson(const CheckReport &report)
{
    return QJsonDocument(checkReportJson(report)).toJson(QJsonDocument::Indented);
}

std::optional<CheckReport> checkReportFromJson(const QJsonObject &json)
{
    if (json.value(QStringLiteral("format")).toInt() != CheckReportVersion)
        return std::nullopt;
    CheckReport report;
    report.id = QUuid::fromString(json.value(QStringLiteral("id")).toString());
    if (report.id.isNull())
        return std::nullopt;
    auto text = [](const QJsonObject &object, const char *key) {
        return object.value(QLatin1String(key)).toString();
    };
    report.verdict = checkVerdictFromText(text(json, "verdict"));
    report.problem = text(json, "problem");
    const QJsonObject unit = json.value(QStringLiteral("unit")).toObject();
    report.unit.unitModel = text(unit, "model");
    report.unit.revision = text(unit, "revision");
    report.unit.axis = unit.value(QStringLiteral("axis")).toInt();
    report.unit.baud = unit.value(QStringLiteral("baud")).toInt();
    report.unit.device = text(unit, "device");
    report.unit.byId = text(unit, "byId");
    report.unit.serialNumber = text(unit, "serialNumber");
    report.serial = text(json, "serial");
    report.station = text(json, "station");
    report.operatorName = text(json, "operator");
    const QJsonObject sheet = json.value(QStringLiteral("sheet")).toObject();
    report.sheetName = text(sheet, "name");
    report.sheetSha256 = text(sheet, "sha256");
    report.loaded = json.value(QStringLiteral("loaded")).toBool();
    report.started = QDateTime::fromString(text(json, "started"), Qt::ISODateWithMs);
    report.ended = QDateTime::fromString(text(json, "ended"), Qt::ISODateWithMs);
    for (const QJsonValue &item : json.value(QStringLiteral("values")).toArray()) {
        const QJsonObject value = item.toObject();
        CheckedValue checked;
        checked.profile = value.value(QStringLiteral("profile")).toInt();
        checked.key = text(value, "key");
        checked.caption = text(value, "caption");
        checked.sheetValue = text(value, "sheet");
        if (value.value(QStringLiteral("unit")).isString())
            checked.unitValue = text(value, "unit");
        checked.verdict = valueVerdictFromText(text(value, "verdict"));
        checked.problem = text(value, "problem");
        report.values.push_back(std::move(checked));
    }
    for (const QJsonValue &item : json.value(QStringLiteral("fixedWaits")).toArray())
        report.fixedWaits << item.toString();
    for (const QJsonValue &item : json.value(QStringLiteral("notKept")).toArray())
        report.notKept << item.toString();
    return report;
}

} // namespace ktv
