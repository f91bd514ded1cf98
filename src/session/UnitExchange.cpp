#include "session/UnitExchange.h"

#include "protocol/CommandFrame.h"
#include "protocol/IdentityReply.h"
#include "protocol/ReplyDecoding.h"
#include "session/SessionTexts.h"
#include "session/UnitFinder.h"

namespace ktv {

UnitExchange::UnitExchange(SerialLink &link, QObject *parent) : QObject(parent), link_(link)
{
    connect(&link_, &SerialLink::lineWritten, this, &UnitExchange::onLineWritten);
}

QString UnitExchange::twoUnitsText()
{
    return QStringLiteral("two units answer at this address");
}

namespace {

// A line that asks the unit something ("@0VA1", "@0$", "@0!", "@%"); the
// others (set, motion, stop, a lone CR) have no reply.
bool asksSomething(const QByteArray &line)
{
    if (!line.startsWith('@'))
        return false;
    qsizetype at = 1;
    while (at < line.size() && line[at] >= '0' && line[at] <= '9')
        ++at;
    QByteArray command = line.mid(at);
    if (command.endsWith('\r'))
        command.chop(1);
    return command == "$" || command == "!" || command == "%" || command.startsWith('V');
}

} // namespace

void UnitExchange::onLineWritten(const QByteArray &bytes)
{
    // A line that has no reply: whatever follows it is a stray until
    // LateSeconds have passed (a unit may acknowledge it).
    if (!asking_ && !asksSomething(bytes))
        sinceWrite_.start();
}

void UnitExchange::drain()
{
    link_.dropLateReplies(); // a reply the window's run left owed
    bool stray = link_.ReplyWaiting();
    if (stray)
        link_.Input();
    // An acknowledgement of the last write may still be on its way.
    if (sinceWrite_.isValid()) {
        const double left = LateSeconds - sinceWrite_.nsecsElapsed() / 1e9;
        QElapsedTimer clock;
        clock.start();
        while (left > 0 && !link_.isEnding() && link_.PortOpen() &&
               clock.nsecsElapsed() / 1e9 < left) {
            if (link_.waitForInputWithin(left - clock.nsecsElapsed() / 1e9)) {
                link_.Input();
                stray = true;
            }
        }
        sinceWrite_.invalidate();
    }
    if (!stray && !quietOwed_)
        return;
    // Quiet for the whole late window: nothing more of it can come.
    while (!link_.isEnding() && link_.PortOpen() && link_.waitForInputWithin(LateSeconds))
        link_.Input();
    quietOwed_ = false;
}

Outcome<QString> UnitExchange::ask(const QByteArray &question, const Validator &valid, Tries tries)
{
    collided_ = false;
    lastRaw_.clear();
    const int attempts = tries == Tries::Once ? 1 : 2;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        drain();
        asking_ = true;
        const bool written = link_.write(question);
        asking_ = false;
        if (!written) {
            lastRaw_.clear();
            emit answered(question, QString());
            return Outcome<QString>::failure(QStringLiteral("no answer"));
        }
        link_.WaitSeconds(0.05);
        const SerialLink::Reply reply = link_.readCompleteReply(ReplySeconds);
        QString raw = reply.text;
        // A second answer right behind the first: two units, or a stray.
        if (reply.complete && link_.waitForInputWithin(SecondAnswerSeconds))
            raw += link_.readCompleteReply(SecondAnswerSeconds).text;
        lastRaw_ = raw;
        const QStringList answers = answersIn(raw);
        QString why;
        if (raw.isEmpty()) {
            why = QStringLiteral("no reply came in time");
        } else if (!raw.endsWith(QLatin1Char('\r'))) {
            why = QStringLiteral("only part of the reply came in time");
        } else if (answers.size() > 1) {
            if (answers.count(answers.first()) == answers.size()) {
                // The same answer twice: two units heard the question.
                collided_ = true;
                owe();
                link_.note(QStringLiteral("refused: two units answered the same question"));
                emit answered(question, QString());
                return Outcome<QString>::failure(twoUnitsText());
            }
            why = QStringLiteral("more than one reply came");
        } else if (std::optional<QString> value = valid(raw)) {
            emit answered(question, raw);
            return *value;
        } else {
            why = QStringLiteral("the reply does not answer the question");
        }
        owe(); // the rest, or the reply itself, may still come
        if (link_.isEnding() || !link_.PortOpen())
            break;
        if (attempt + 1 < attempts)
            link_.note(QStringLiteral("asked again: ") + why);
    }
    emit answered(question, QString());
    return Outcome<QString>::failure(lastRaw_.isEmpty() ? QStringLiteral("no answer")
                                                        : replyProblemText(lastRaw_));
}

Outcome<QString> UnitExchange::askField(const QString &address, Field field, const QString &profile)
{
    return ask(frame::queryLine(address, field, profile),
               [field](const QString &raw) { return decode::validReply(field, raw); });
}

Outcome<QString> UnitExchange::askModel(const QString &address, Tries tries)
{
    return ask(
        frame::modelQuery(address),
        [](const QString &raw) -> std::optional<QString> {
            const std::optional<QString> text = decode::wholeReply(raw);
            if (text && parseIdentityReply(*text))
                return text;
            return std::nullopt;
        },
        tries);
}

} // namespace ktv
