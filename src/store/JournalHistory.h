#pragma once
// Reading the change journal back: its rows, newest first, as the journal
// keeps them (texts, the line as Journal::lineText writes it).

#include <QString>
#include <optional>
#include <vector>

namespace ktv {

struct JournalRow
{
    QString time; // UTC, ISO 8601 with milliseconds
    QString unitModel;
    QString revision;
    QString axis;
    QString field;
    QString profile;
    QString value;
    QString line;
    std::optional<QString> before;
    std::optional<QString> after;
    QString verdict; // "confirmed", "not held", "not read back"
};

struct JournalHistory
{
    std::vector<JournalRow> rows;
    QString problem; // empty when the journal was read (a missing file holds no rows)
};

// Newest first; with a unit model, only that model's rows (any case).
JournalHistory readJournal(const QString &path, const QString &unitModel = {});

} // namespace ktv
