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

} // namespace ktv
