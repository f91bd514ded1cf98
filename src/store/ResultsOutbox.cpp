#include "store/ResultsOutbox.h"

#include "store/ResultsServer.h"
#include "store/StoreConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace ktv {

namespace {

// The outbox's own record of a result: every field, so that what is sent
// later is what was checked.
QByteArray encoded(const CheckReport &report)
{
    QJsonArray values;
    for (const CheckedValue &value : report.values) {
        QJsonObject object{{QStringLiteral("profile"), value.profile},
                           {QStringLiteral("key"), value.key},
                           {QStringLiteral("caption"), value.caption},
                           {QStringLiteral("sheetValue"), value.sheetValue},
                           {QStringLiteral("verdict"), int(value.verdict)},
                           {QStringLiteral("problem"), value.problem}};
        if (value.unitValue)
            object.insert(QStringLiteral("unitValue"), *value.unitValue);
        values.append(object);
    }
    const CheckedUnit &unit = report.unit;
    const QJsonObject object{
        {QStringLiteral("id"), report.id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("unitModel"), unit.unitModel},
        {QStringLiteral("revision"), unit.revision},
        {QStringLiteral("axis"), unit.axis},
        {QStringLiteral("baud"), unit.baud},
        {QStringLiteral("device"), unit.device},
        {QStringLiteral("byId"), unit.byId},
        {QStringLiteral("serialNumber"), unit.serialNumber},
        {QStringLiteral("station"), report.station},
        {QStringLiteral("operator"), report.operatorName},
        {QStringLiteral("sheetName"), report.sheetName},
        {QStringLiteral("sheetSha256"), report.sheetSha256},
        {QStringLiteral("loaded"), report.loaded},
        {QStringLiteral("started"), report.started.toString(Qt::ISODateWithMs)},
        {QStringLiteral("ended"), report.ended.toString(Qt::ISODateWithMs)},
        {QStringLiteral("values"), values},
        {QStringLiteral("verdict"), int(report.verdict)},
        {QStringLiteral("problem"), report.problem}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

CheckReport decoded(const QByteArray &bytes)
{
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    auto text = [&](const char *key) { return object.value(QLatin1String(key)).toString(); };
    CheckReport report;
    report.id = QUuid::fromString(text("id"));
    report.unit.unitModel = text("unitModel");
    report.unit.revision = text("revision");
    report.unit.axis = object.value(QLatin1String("axis")).toInt();
    report.unit.baud = object.value(QLatin1String("baud")).toInt();
    report.unit.device = text("device");
    report.unit.byId = text("byId");
    report.unit.serialNumber = text("serialNumber");
    report.station = text("station");
    report.operatorName = text("operator");
    report.sheetName = text("sheetName");
    report.sheetSha256 = text("sheetSha256");
    report.loaded = object.value(QLatin1String("loaded")).toBool();
    report.started = QDateTime::fromString(text("started"), Qt::ISODateWithMs);
    report.ended = QDateTime::fromString(text("ended"), Qt::ISODateWithMs);
    report.verdict = CheckVerdict(object.value(QLatin1String("verdict")).toInt());
    report.problem = text("problem");
    for (const QJsonValue &item : object.value(QLatin1String("values")).toArray()) {
        const QJsonObject o = item.toObject();
        CheckedValue value;
        value.profile = o.value(QLatin1String("profile")).toInt();
        value.key = o.value(QLatin1String("key")).toString();
        value.caption = o.value(QLatin1String("caption")).toString();
        value.sheetValue = o.value(QLatin1String("sheetValue")).toString();
        if (o.contains(QLatin1String("unitValue")))
            value.unitValue = o.value(QLatin1String("unitValue")).toString();
        value.verdict = ValueVerdict(o.value(QLatin1String("verdict")).toInt());
        value.problem = o.value(QLatin1String("problem")).toString();
        report.values.push_back(value);
    }
    return report;
}

} // namespace

ResultsOutbox::ResultsOutbox(const QString &path) : path_(path) {}

ResultsOutbox::~ResultsOutbox() = default;

bool ResultsOutbox::open(QString *problem)
{
    if (connection_)
        return true;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    connection_ = std::make_unique<StoreConnection>(path_, StoreConnection::Mode::ReadWrite);
    QSqlQuery query(connection_->db());
    if (!connection_->opened() ||
        !query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS results_outbox ("
                                   "uuid TEXT PRIMARY KEY, report TEXT NOT NULL, "
                                   "kept TEXT NOT NULL, sent TEXT)"))) {
        if (problem)
            *problem = QStringLiteral("The results outbox in %1 cannot be used: %2")
                           .arg(path_, connection_->opened() ? query.lastError().text()
                                                             : connection_->error());
        connection_.reset();
        return false;
    }
    return true;
}

bool ResultsOutbox::keep(const CheckReport &report, QString *problem)
{
    if (!open(problem))
        return false;
    QSqlQuery query(connection_->db());
    query.prepare(QStringLiteral("INSERT OR IGNORE INTO results_outbox (uuid, report, kept) "
                                 "VALUES (?, ?, strftime('%Y-%m-%dT%H:%M:%fZ', 'now'))"));
    query.addBindValue(report.id.toString(QUuid::WithoutBraces));
    query.addBindValue(QString::fromUtf8(encoded(report)));
    if (!query.exec()) {
        if (problem)
            *problem = QStringLiteral("The results outbox in %1 cannot be written: %2")
                           .arg(path_, query.lastError().text());
        connection_.reset();
        return false;
    }
    return true;
}

std::optional<std::vector<CheckReport>> ResultsOutbox::waiting(QString *problem)
{
    if (!open(problem))
        return std::nullopt;
    QSqlQuery query(connection_->db());
    if (!query.exec(QStringLiteral(
            "SELECT report FROM results_outbox WHERE sent IS NULL ORDER BY kept, rowid"))) {
        if (problem)
            *problem = QStringLiteral("The results outbox in %1 cannot be read: %2")
                           .arg(path_, query.lastError().text());
        connection_.reset();
        return std::nullopt;
    }
    std::vector<CheckReport> reports;
    while (query.next())
        reports.push_back(decoded(query.value(0).toString().toUtf8()));
    return reports;
}

bool ResultsOutbox::markSent(const QUuid &id, QString *problem)
{
    if (!open(problem))
        return false;
    QSqlQuery query(connection_->db());
    query.prepare(QStringLiteral("UPDATE results_outbox SET sent = strftime('%Y-%m-%dT%H:%M:%fZ', "
                                 "'now') WHERE uuid = ? AND sent IS NULL"));
    query.addBindValue(id.toString(QUuid::WithoutBraces));
    if (!query.exec()) {
        if (problem)
            *problem = QStringLiteral("The results outbox in %1 cannot be written: %2")
                           .arg(path_, query.lastError().text());
        connection_.reset();
        return false;
    }
    return true;
}

OutboxSync syncOutbox(ResultsOutbox &outbox, ResultsServer &server)
{
    OutboxSync sync;
    const auto waiting = outbox.waiting(&sync.problem);
    if (!waiting)
        return sync;
    sync.waiting = int(waiting->size());
    for (const CheckReport &report : *waiting) {
        QString problem;
        if (server.send(report, &problem) == SendOutcome::Failed) {
            if (sync.problem.isEmpty())
                sync.problem = problem;
            // A server that answers refused this one result: the others may
            // still go. One that does not answer ends the round.
            if (!server.open(nullptr))
                break;
            continue;
        }
        if (!outbox.markSent(report.id, &problem)) {
            // Sent, and still waiting here: the next round sends it again,
            // which the server ignores.
            if (sync.problem.isEmpty())
                sync.problem = problem;
            break;
        }
        ++sync.sent;
        --sync.waiting;
    }
    return sync;
}

} // namespace ktv
