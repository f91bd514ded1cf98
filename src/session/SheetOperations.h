#pragma once
// Parameter sheets against a connected unit: reading every profile and drive
// setting into a sheet, loading a sheet into the unit, and comparing the two.
// Every line is one the program already uses: the read-back's queries (each
// followed by 0.05 s and a read of the reply) and the lines of the panel's
// Send and option buttons (each followed by 0.5 s). Waits run the event loop
// like every other wait of the session. A sheet's reply is taken as soon as
// it ends with its CR (the window's read-back waits 0.02 s more), so a save
// costs little beyond the queries' waits; a slow unit is waited for up to a
// second. A reply counts only when it is whole and valid for its query:
// anything else fails the read, saying what came, and a save writes nothing.
//
// At reply pace (the exchange's Pace::Reply) a query's reply is read without
// the 0.05 s, and a load reads each value back right after its write, a
// settle of a few character times after the write's last byte. A value the
// unit does not hold then is written again with the fixed waits and read
// back by the fixed rules, once (fixedWaits names it when that kept it); a
// value that got no answer is left to the final reading. After two such
// values in a row the rest of the load goes at the fixed pace. A unit that missed the question
// right after a write gets 0.5 s after each later write. Whatever the pace, every value is read
// once more after the last write, and that reading is what the unit holds: a value read back right
// after its write and lost by then (a unit that restarted, or holds a value only for a while) is
// named in notKept. A unit that answered out of turn during the load (its acknowledgements) has
// that reading made by the fixed rules, so no acknowledgement is ever taken for a value.
//
// Progress is reported before each value; a cancel takes effect between
// values, so a line is never left half written.

#include "protocol/ParameterSheet.h"
#include "protocol/SheetComparison.h"
#include "store/SheetFiles.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

namespace ktv {

class UnitSession;

// The unit as it named itself: its model id ("KTRA20", "VELD50") and revision.
struct UnitDescription
{
    QString unitModel;
    QString revision;
};

// A value a read could not take from the unit, and what came instead
// ("no answer", "unreadable reply \"77\"").
struct UnreadValue
{
    int profile = 0; // 0: a drive setting
    QString key;     // the sheet key
    QString problem;
};

class SheetOperations
{
  public:
    using Progress = std::function<void(const QString &value, int done, int total)>;

    enum class Outcome { Done, Refused, Cancelled, Failed };
    // What ended a read or load that failed on the line: the port went, the
    // line never went quiet, or the unit stopped answering.
    enum class LineTrouble { None, Lost, Noisy, Silent };

    struct ReadResult
    {
        Outcome outcome = Outcome::Failed;
        std::optional<ParameterSheet> sheet;
        QString problem;
        std::vector<UnreadValue> unread; // when reading on through
        LineTrouble trouble = LineTrouble::None;
    };
    struct LoadResult
    {
        Outcome outcome = Outcome::Failed;
        std::vector<SheetRefusal> refusals;
        QString problem;
        int written = 0;                          // value lines written
        std::vector<SheetComparisonRow> readBack; // the unit afterwards against the sheet
        // The values read back after the writes, also those read before the
        // line went when reading on through; and those that did not read.
        std::optional<ParameterSheet> unit;
        std::vector<UnreadValue> unread;
        // At reply pace: the values the unit kept only when written again
        // with the fixed waits ("Profile 1, Max Speed"), in the order written.
        QStringList fixedWaits;
        // At reply pace: the values read back right after their writes that
        // the unit no longer held when read again after the last write.
        QStringList notKept;
        LineTrouble trouble = LineTrouble::None;
    };
    struct CompareResult
    {
        Outcome outcome = Outcome::Failed;
        std::vector<SheetComparisonRow> rows;
        QString problem;
        int differences() const;
        int unverifiable() const;
    };

    SheetOperations(UnitSession &session, UnitDescription unit);

    void setProgress(Progress progress) { progress_ = std::move(progress); }
    // Safe to call from a slot that runs during one of the waits.
    void cancel() { cancelled_ = true; }
    // A check wants every value it can get: a value that does not read is
    // noted (unread) and the read goes on; only a lost line ends it, and the
    // values read until then stand in the sheet, with the outcome Failed.
    void setReadOnThrough(bool on) { readOnThrough_ = on; }

    // Reads every profile the model keeps and every drive setting.
    ReadResult readUnit();
    // Validates first and sends nothing when anything is refused; then writes
    // every value and reads everything back.
    LoadResult load(const ParameterSheet &sheet);
    // The same from a file; a file that does not read sends nothing.
    LoadResult loadFile(const QString &path);
    CompareResult compare(const ParameterSheet &sheet);

    // Why nothing may be written to the unit at the axis (two units answer
    // there); empty when nothing stands in the way. Asks the model when the
    // axis is new.
    QString unitProblem();

    // The number of value lines a load of the sheet writes.
    int valueCount(const ParameterSheet &sheet) const;

    // One earlier value written again (a sheet key such as "max-speed" or
    // "direction", the profile for a parameter, 0 for a drive setting).
    // checkValue reads the unit, puts the value in its place and checks it
    // as a load checks a sheet: the refusals, or none. writeValue then
    // writes the value's line, waits as a load waits and reads the value back.
    LoadResult checkValue(const QString &field, int profile, const QString &value);
    LoadResult writeValue(const QString &field, int profile, const QString &value);
    // "Profile 2, Max Speed", "Direction"; empty for a field the unit model has not.
    QString valueName(const QString &field, int profile) const;

  private:
    // Puts the operator's profile back however the run ends.
    class ProfileKeeper
    {
      public:
        explicit ProfileKeeper(QString &selected) : selected_(selected), kept_(selected) {}
        ~ProfileKeeper() { selected_ = kept_; }
        ProfileKeeper(const ProfileKeeper &) = delete;
        ProfileKeeper &operator=(const ProfileKeeper &) = delete;

      private:
        QString &selected_;
        QString kept_;
    };

    bool report(const QString &value);
    // One query, its 0.05 s wait and its reply, read whole; the value when
    // the reply is valid for the query, else none (lastProblem says why).
    std::optional<QString> askUnit(Field field, const QString &profile);
    QString lastProblem(const QString &what) const;
    LineTrouble lineTrouble() const;

    ReadResult readValues(int total, int startAt);
    // One value written at reply pace and read back at once; when the unit
    // does not hold it then, written again with the fixed waits and read
    // back by the fixed rules, once. The value read (none: no answer);
    // false when the line took nothing.
    struct WrittenValue
    {
        std::optional<QString> reply;
        bool unproven = false;   // no answer, or written again with the fixed waits
        bool fixedWaits = false; // kept only when written again with them
    };
    std::optional<WrittenValue> writeAtReplyPace(const QByteArray &line, Field field,
                                                 const QString &profile,
                                                 const std::function<bool(const QString &)> &kept,
                                                 const QString &name);

    UnitSession &session_;
    UnitDescription unit_;
    Progress progress_;
    bool cancelled_ = false;
    bool readOnThrough_ = false;
    int done_ = 0;
    int total_ = 0;
    QString lastReply_;
    bool lastCollided_ = false;
    // At reply pace: the unit missed a question right after a write (deaf
    // for a moment after it); the writes that follow wait the fixed 0.5 s.
    bool deafAfterWrite_ = false;
};

} // namespace ktv
