// A check sent to the results server: its row and its values in one
// transaction, exactly once by its UUID (ResultsServer.h).

#include "store/ResultsServerInternal.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace ktv {

using results::isoText;
using results::nullableText;
using results::statementError;
using results::text;

SendOutcome ResultsServer::send(const CheckReport &report, QString *problem)
{
    if (report.id.isNull()) {
        if (problem)
            *problem = QStringLiteral("A result without its UUID is not sent.");
        return SendOutcome::Failed;
    }
    // A connection the server dropped (it restarted) fails the first time;
    // one fresh try is safe, since a UUID already there changes nothing.
    for (int attempt = 1;; ++attempt) {
        if (!connectAndUpgrade(problem))
            return SendOutcome::Failed;
        QString detail;
        const SendOutcome outcome = [&] {
            QSqlDatabase db = connection_->db();
            QSqlQuery query(db);
            auto failed = [&] {
                detail = statementError(query.lastError());
                if (detail.isEmpty())
                    detail = db.lastError().databaseText().simplified();
                if (db.isOpen())
                    db.rollback();
                return SendOutcome::Failed;
            };
            if (!db.transaction())
                return failed();
            // A prepare that failed (a lock not granted in time) says why;
            // running the statement anyway would only name its placeholders.
            if (!query.prepare(QStringLiteral(
                    "INSERT INTO checks (uuid, station, operator, unit_model, revision, axis, "
                    "baud, "
                    "device, by_id, serial_number, sheet_name, sheet_sha256, loaded, started, "
                    "ended, "
                    "utc_offset, verdict, problem, serial) VALUES (CAST(? AS uuid), ?, ?, ?, ?, ?, "
                    "?, "
                    "?, ?, ?, ?, ?, ?, CAST(? AS timestamptz), CAST(? AS timestamptz), ?, ?, ?, ?) "
                    "ON CONFLICT (uuid) DO NOTHING RETURNING uuid")))
                return failed();
            const CheckedUnit &unit = report.unit;
            for (const QVariant &value : QVariantList{
                     report.id.toString(QUuid::WithoutBraces), text(report.station),
                     text(report.operatorName), text(unit.unitModel), text(unit.revision),
                     unit.axis, unit.baud, text(unit.device), text(unit.byId),
                     text(unit.serialNumber), text(report.sheetName), text(report.sheetSha256),
                     report.loaded, isoText(report.started), isoText(report.ended),
                     report.started.offsetFromUtc(), checkVerdictText(report.verdict),
                     text(report.problem), text(report.serial)})
                query.addBindValue(value);
            if (!query.exec())
                return failed();
            if (!query.next()) { // the UUID was there: its values are too
                if (!db.commit())
                    return failed();
                return SendOutcome::AlreadyThere;
            }
            if (!report.values.empty()) {
                QStringList rows;
                for (size_t i = 0; i < report.values.size(); ++i)
                    rows << QStringLiteral("(CAST(? AS uuid), ?, ?, ?, ?, ?, ?, ?, ?)");
                if (!query.prepare(QStringLiteral("INSERT INTO check_values (check_uuid, "
                                                  "position, profile, field, caption, "
                                                  "sheet_value, unit_value, verdict, problem) "
                                                  "VALUES ") +
                                   rows.join(QLatin1String(", "))))
                    return failed();
                int position = 0;
                for (const CheckedValue &value : report.values) {
                    query.addBindValue(report.id.toString(QUuid::WithoutBraces));
                    query.addBindValue(++position);
                    query.addBindValue(value.profile);
                    query.addBindValue(text(value.key));
                    query.addBindValue(text(value.caption));
                    query.addBindValue(text(value.sheetValue));
                    query.addBindValue(nullableText(value.unitValue));
                    query.addBindValue(valueVerdictText(value.verdict));
                    query.addBindValue(text(value.problem));
                }
                if (!query.exec())
                    return failed();
            }
            if (!db.commit())
                return failed();
            return SendOutcome::Stored;
        }();
        if (outcome != SendOutcome::Failed)
            return outcome;
        // A server that still answers refused this result: trying again
        // changes nothing. A lost connection is made afresh once.
        const bool answers = [&] {
            const QSqlDatabase db = connection_->db();
            QSqlQuery ping(db);
            return db.isOpen() && ping.exec(QStringLiteral("SELECT 1"));
        }();
        if (!answers)
            drop();
        if (answers || attempt == 2) {
            if (problem)
                *problem = failure(QStringLiteral("did not take the result"), detail);
            return SendOutcome::Failed;
        }
    }
}

} // namespace ktv
