#pragma once
// The one exchange: every question to the unit goes through here, and every
// answer that comes back is proven to answer its own question.
//
// The rules, for every question but the window's own exchanges (the
// identification, the panel's read-back run, Axis Define's address query,
// which keep their plan and timing and report what they placed through
// settle):
// 1. One question is outstanding at a time.
// 2. A reply counts only when it is whole (up to its CR), valid for its
//    question, single, and begins after the question was written, within
//    ReplySeconds. The same answer twice comes from two units: refused.
// 3. Bytes waiting before a question, and bytes after a line that has no
//    reply (a set command's acknowledgement) are strays, never values: the
//    first question after a write waits LateSeconds after that write.
// 4. After a stray, a missed reply or half a reply the line is drained until
//    it has been quiet for LateSeconds, and the same question is asked again,
//    once; the monitor is told why. A second miss is "no answer".
// 5. A reply answers one question only: answered() hands each question's
//    proven reply (or none) to whoever keeps track, the journal among them.

#include "link/SerialLink.h"
#include "protocol/Models.h"
#include "protocol/Outcome.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace ktv {

// How the panel's read-back run reads: with the window's own timing (a
// first character within 0.1 s), or by the exchange's rules (the tool).
enum class ReplyPolicy { Window, Tool };

class UnitExchange : public QObject
{
    Q_OBJECT
  public:
    static constexpr double ReplySeconds = 1.0;
    static constexpr double LateSeconds = 1.0;
    // Two units answering one question come within this of each other.
    static constexpr double SecondAnswerSeconds = 0.02;

    explicit UnitExchange(SerialLink &link, QObject *parent = nullptr);

    void setPolicy(ReplyPolicy policy) { policy_ = policy; }
    ReplyPolicy policy() const { return policy_; }

    // The text of a whole reply valid for the question, CR removed; none
    // when the reply does not answer it.
    using Validator = std::function<std::optional<QString>(const QString &raw)>;
    // Asks and proves the answer by the rules above: the valid text, or why
    // there is none ("no answer", "unreadable reply \"77\"", two units).
    // A question that may go unanswered as a matter of course (is a unit
    // there at all?) is asked once: its next asking is the second try.
    enum class Tries { AskAgainOnce, Once };
    Outcome<QString> ask(const QByteArray &question, const Validator &valid,
                         Tries tries = Tries::AskAgainOnce);
    // A parameter or drive setting at an address.
    Outcome<QString> askField(const QString &address, Field field, const QString &profile);
    // The model query: the whole identity reply ("KTRA20  1.07"), CR removed.
    Outcome<QString> askModel(const QString &address, Tries tries = Tries::AskAgainOnce);

    // What the last ask read on its last attempt, as read (CRs included).
    const QString &lastRaw() const { return lastRaw_; }
    // The last ask met the same answer twice: two units at the address.
    bool collided() const { return collided_; }

    // Before a question: drops what is waiting and waits out what may still
    // come (a write's acknowledgement, a late or cut reply).
    void drain();
    // A reply may still come: the next question first drains the line until
    // it has been quiet for LateSeconds.
    void owe() { quietOwed_ = true; }

    // The window's own exchanges report what they placed: the reply (as
    // read) they took as the question's answer, or empty when none.
    void settle(const QByteArray &question, const QString &reply)
    {
        emit answered(question, reply);
    }

    static QString twoUnitsText();

  signals:
    // Every question's answer as proven, as read (CR included); empty when
    // the question got none.
    void answered(const QByteArray &question, const QString &reply);

  private:
    void onLineWritten(const QByteArray &bytes);

    SerialLink &link_;
    ReplyPolicy policy_ = ReplyPolicy::Window;
    bool asking_ = false;
    bool quietOwed_ = false;
    QElapsedTimer sinceWrite_; // since the last line that has no reply
    QString lastRaw_;
    bool collided_ = false;
};

} // namespace ktv
