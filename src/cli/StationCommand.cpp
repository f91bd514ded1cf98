// ktraveld-cli station: the production station on a line PC without a
// display. The same station run as the window's, one StationLine (and
// thread) per line given, each unit's result on a line of its own as it
// comes: "COM 2 (/dev/ttyUSB1): PASS KTRA20 1.07, 14 of 14 values, 9.8 s",
// or with --json its report as one JSON object per line, then a summary.

#include "cli/StationCommand.h"

#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/Interrupt.h"
#include "cli/Tool.h"
#include "cli/ToolHelpers.h"
#include "link/PortMap.h"
#include "protocol/CellText.h"
#include "protocol/CheckReportJson.h"
#include "protocol/SettingsText.h"
#include "protocol/Threads.h"
#include "session/ResultsDelivery.h"
#include "session/StationLine.h"
#include "session/StationPlan.h"
#include "store/ConfigStore.h"
#include "store/Journal.h"
#include "store/ResultsSetting.h"
#include "store/SerialSetting.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace ktv::cli {

namespace {

QString secondsText(const CheckReport &report)
{
    return QStringLiteral("%1 s").arg(double(report.started.msecsTo(report.ended)) / 1000.0, 0, 'f',
                                      1);
}

// "PASS KTRA20 1.07, 14 of 14 values, 9.8 s"
QString resultText(const CheckReport &report)
{
    const QString word = stationVerdictWord(report);
    QString unit =
        report.unit.unitModel.isEmpty()
            ? word
            : QStringLiteral("%1 %2 %3").arg(word, report.unit.unitModel, report.unit.revision);
    if (report.verdict == CheckVerdict::Refused)
        return unit + QStringLiteral(", ") + report.problem.section(QLatin1Char('\n'), 0, 0);
    QStringList parts{unit, QStringLiteral("%1 of %2 values")
                                .arg(report.count(ValueVerdict::Match))
                                .arg(report.values.size())};
    if (!report.problem.isEmpty())
        parts << report.problem;
    parts << secondsText(report);
    return parts.join(QStringLiteral(", "));
}

// Where each unit's result goes, on a thread of its own so that a journal
// another program holds or a results server that does not answer never
// holds a line: the journal first, then the server with whatever else waits
// there. A round that did not go ends there (ResultsOutbox.h), and the next
// one is tried a minute later; the results meanwhile wait in the journal.
// Ending waits for the round under way, then keeps what is left in the
// journal without another round, unless the last one went.
class ResultsKeeper
{
  public:
    ResultsKeeper(QString journal, QString setting)
        : journal_(std::move(journal)), setting_(std::move(setting)),
          thread_(threads::start(
              QStringLiteral("station results"), [this] { run(); }, [this] { askToEnd(); }))
    {
    }
    ~ResultsKeeper() { finish(); }
    // Keeps what is queued, then ends the thread.
    void finish()
    {
        askToEnd();
        thread_.wait();
    }
    ResultsKeeper(const ResultsKeeper &) = delete;
    ResultsKeeper &operator=(const ResultsKeeper &) = delete;

    // From any line's thread; returns at once.
    void keep(const CheckReport &report)
    {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(report);
        }
        wake_.notify_one();
    }

  private:
    static constexpr auto RetryAfter = std::chrono::seconds(60);

    void askToEnd()
    {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wake_.notify_one();
    }

    void run()
    {
        ResultsDelivery delivery(journal_, setting_);
        std::optional<std::chrono::steady_clock::time_point> failedAt;
        for (;;) {
            std::vector<CheckReport> taken;
            bool ending = false;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return ending_ || !queue_.empty(); });
                taken.assign(queue_.begin(), queue_.end());
                queue_.clear();
                ending = ending_;
            }
            if (taken.empty() && ending)
                return;
            // Each into the journal; one it cannot take goes on at once,
            // the others in one round after them.
            bool keptAll = true;
            for (const CheckReport &report : taken) {
                const Outcome<void> recorded = ResultsDelivery::record(journal_, report);
                if (recorded)
                    continue;
                keptAll = false;
                const Delivery straight = delivery.afterRecord(report, recorded);
                if (!straight.message.isEmpty())
                    printError(straight.message, code::JournalWarning);
                if (delivery.hasServer() && straight.sent == 0)
                    failedAt = std::chrono::steady_clock::now();
            }
            if (!delivery.hasServer() || !keptAll)
                continue;
            const bool resting =
                failedAt && std::chrono::steady_clock::now() - *failedAt < RetryAfter;
            if (resting || (ending && failedAt)) {
                printError(QStringLiteral("%1 kept on this bench until %2 answers.")
                               .arg(taken.size() == 1
                                        ? QStringLiteral("1 result")
                                        : QStringLiteral("%1 results").arg(taken.size()),
                                    delivery.server().serverName()),
                           code::ResultsWaiting);
                continue;
            }
            const Delivery round = delivery.sync();
            if (round.waiting > 0)
                failedAt = std::chrono::steady_clock::now();
            else
                failedAt.reset();
            if (!round.message.isEmpty())
                printError(round.message,
                           round.waiting > 0 ? code::ResultsWaiting : code::JournalWarning);
        }
    }

    QString journal_;
    QString setting_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<CheckReport> queue_;
    bool ending_ = false;
    StartedThread thread_; // last: it starts once the rest is made
};

// What one line reports, printed as it comes. A reader that went (a closed
// pipe) or a full disk ends the run as Ctrl+C does, after the checks under
// way, each kept; the tool then says that the output could not be written.
class LinePrinter : public StationView
{
  public:
    LinePrinter(QString name, bool json, std::function<void()> outputLost)
        : name_(std::move(name)), json_(json), outputLost_(std::move(outputLost))
    {
    }

    void showStationState(const QString &text) override
    {
        if (stderrIsTerminal())
            printProgress(name_ + QStringLiteral(": ") + text);
    }
    void showCheckProgress(const QString &text) override
    {
        if (stderrIsTerminal())
            printProgress(name_ + QStringLiteral(": ") + text);
    }
    void showLineProblem(const QString &text) override
    {
        if (text.isEmpty() || text == lastProblem_) {
            lastProblem_ = text;
            return;
        }
        lastProblem_ = text;
        printError(text.startsWith(name_) ? text : name_ + QStringLiteral(": ") + text,
                   text.contains(QLatin1String(" does not open: ")) ? code::PortOpenFailed
                                                                    : code::Error);
    }
    void showResult(const CheckReport &report, const QString &keptProblem) override
    {
        if (!keptProblem.isEmpty())
            printError(keptProblem, code::JournalWarning);
        // Counted, not kept: a station runs for days.
        passed += report.verdict == CheckVerdict::Pass ? 1 : 0;
        refused += report.verdict == CheckVerdict::Refused ? 1 : 0;
        failed +=
            report.verdict == CheckVerdict::Fail || report.verdict == CheckVerdict::Error ? 1 : 0;
        if (json_) {
            QJsonObject object = checkReportJson(report);
            object[QStringLiteral("line")] = name_;
            printOut(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) +
                     QLatin1Char('\n'));
        } else {
            // What the unit gave (its revision) never reaches the terminal raw.
            printOut(name_ + QStringLiteral(": ") + terminalCell(resultText(report)) +
                     QLatin1Char('\n'));
        }
        if (outputFailed())
            outputLost_();
    }
    void askSerialNumber(const QString &refusal) override
    {
        if (!refusal.isEmpty())
            printError(name_ + QStringLiteral(": ") + refusal, code::SerialRefused);
    }
    void showUnitGone() override {}
    void showRunEnded() override {}

    // Written on the line's thread, read once it has ended.
    int passed = 0;
    int failed = 0;
    int refused = 0;

  private:
    QString name_;
    bool json_;
    std::function<void()> outputLost_;
    QString lastProblem_;
};

// The account's name: $USER, else the password database's (a service or a
// container may start the tool without $USER).
QString loginName()
{
    const QString user = qEnvironmentVariable("USER", qEnvironmentVariable("USERNAME")).trimmed();
    if (!user.isEmpty())
        return user;
    if (const passwd *entry = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(entry->pw_name).trimmed();
    return QString();
}

// Standard input read for the lines, one serial number a line of text, for
// one line at a time: the line named in the prompt on stderr is the one the
// number goes to ("COM 2 (/dev/ttyUSB1): serial number? "). The reading
// waits, so it has a thread of its own; it looks in 0.1 s slices, so that
// the tool's end is never held by a line that does not come.
class StandardInputSerials
{
  public:
    class Line : public SerialNumberSource
    {
      public:
        Line(StandardInputSerials &input, QString name) : input_(input), name_(std::move(name)) {}
        void ask() override { input_.ask(this); }
        Answer take(QString *serial) override { return input_.take(this, serial); }
        void cancel() override { input_.cancel(this); }
        void accepted() override { input_.judged(this); }

        const QString &name() const { return name_; }

      private:
        friend class StandardInputSerials;
        StandardInputSerials &input_;
        QString name_;
        bool asked = false;
        std::optional<QString> given;
    };

    static std::shared_ptr<StandardInputSerials> start()
    {
        auto input = std::make_shared<StandardInputSerials>();
        threads::start(
            QStringLiteral("standard input"), [input] { input->read(); },
            [input] { input->end(); });
        return input;
    }

    // The source of one line; it keeps the reading alive, and the reading
    // keeps every line's source alive.
    static std::shared_ptr<SerialNumberSource>
    lineSource(const std::shared_ptr<StandardInputSerials> &input, const QString &name)
    {
        std::lock_guard lock(input->mutex_);
        input->lines_.push_back(std::make_unique<Line>(*input, name));
        return std::shared_ptr<SerialNumberSource>(input, input->lines_.back().get());
    }

  private:
    void ask(Line *line)
    {
        std::lock_guard lock(mutex_);
        line->asked = true;
        line->given.reset();
        // Asked again after a refusal: its prompt comes next, after the refusal.
        if (judging_ == line) {
            judging_ = nullptr;
            waiting_.push_front(line);
        } else {
            waiting_.push_back(line);
        }
        wake_.notify_one();
    }
    // The line has judged the number it took (or went): the next prompt may come.
    void judged(Line *line)
    {
        std::lock_guard lock(mutex_);
        if (judging_ != line)
            return;
        judging_ = nullptr;
        wake_.notify_one();
    }
    SerialNumberSource::Answer take(Line *line, QString *serial)
    {
        std::lock_guard lock(mutex_);
        if (line->given) {
            *serial = *line->given;
            line->given.reset();
            return SerialNumberSource::Answer::Given;
        }
        return ended_ ? SerialNumberSource::Answer::NoMore : SerialNumberSource::Answer::Waiting;
    }
    void cancel(Line *line)
    {
        std::lock_guard lock(mutex_);
        line->asked = false;
        line->given.reset();
        std::erase(waiting_, line);
        if (judging_ == line) {
            judging_ = nullptr;
            wake_.notify_one();
        }
    }
    // The tool ends: the reading stops within 0.1 s.
    void end()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
    }
    // A line of standard input without its newline; none at the end of the
    // input or once the tool ends.
    std::optional<std::string> readLine()
    {
        for (;;) {
            if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            {
                std::lock_guard lock(mutex_);
                if (stopping_)
                    return std::nullopt;
            }
            pollfd in{STDIN_FILENO, POLLIN, 0};
            const int ready = ::poll(&in, 1, 100);
            if (ready < 0 && errno != EINTR)
                return std::nullopt;
            if (ready <= 0)
                continue;
            std::array<char, 4096> buffer{};
            const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
            if (count < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (count <= 0) {
                // The input ended; a last line without its newline still counts.
                if (pending_.empty())
                    return std::nullopt;
                return std::exchange(pending_, std::string());
            }
            pending_.append(buffer.data(), static_cast<std::size_t>(count));
        }
    }
    void read()
    {
        for (;;) {
            std::unique_lock lock(mutex_);
            // One line at a time: the next prompt waits until the number given
            // is judged, so a refusal comes before it and the number typed
            // after a prompt goes to the line the prompt named.
            wake_.wait(lock,
                       [this] { return stopping_ || (!waiting_.empty() && judging_ == nullptr); });
            if (stopping_)
                return;
            Line *line = waiting_.front();
            waiting_.pop_front();
            const QByteArray prompt = (line->name() + QStringLiteral(": serial number? ")).toUtf8();
            lock.unlock();
            // Printed where the lines' messages are, after them: a refusal
            // comes before the question asked again.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [prompt] {
                    [[maybe_unused]] const auto written =
                        ::write(STDERR_FILENO, prompt.constData(), std::size_t(prompt.size()));
                },
                Qt::QueuedConnection);
            const std::optional<std::string> text = readLine();
            lock.lock();
            if (!text) {
                ended_ = true;
                return;
            }
            // A line that went meanwhile drops the number meant for its unit.
            if (line->asked &&
                std::find(waiting_.begin(), waiting_.end(), line) == waiting_.end()) {
                line->asked = false;
                line->given = QString::fromStdString(*text);
                judging_ = line;
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Line *> waiting_;
    Line *judging_ = nullptr; // given a number it has not judged yet
    std::vector<std::unique_ptr<Line>> lines_;
    bool ended_ = false;
    bool stopping_ = false;
    std::string pending_; // read, not yet a whole line
};

struct LineChoice
{
    int comPort = 0;
    QString device;
};

} // namespace

QList<QCommandLineOption> stationOptions()
{
    return {
        {QStringLiteral("port"),
         QStringLiteral("A line on COM port N (the store's Port Map gives its device); "
                        "repeat for more lines."),
         QStringLiteral("N")},
        {QStringLiteral("units"), QStringLiteral("End after N units in all."), QStringLiteral("N")},
        {QStringLiteral("station"),
         QStringLiteral("The station's name in the record (default: the host name)."),
         QStringLiteral("NAME")},
        {QStringLiteral("operator"),
         QStringLiteral("The operator's name in the record (default: the login name)."),
         QStringLiteral("NAME")},
        {QStringLiteral("serial-prompt"),
         QStringLiteral("Read each unit's serial number from standard input before its check.")},
        {QStringLiteral("serial-pattern"),
         QStringLiteral("The pattern a serial number must fit (default: the station's, as the "
                        "window keeps it)."),
         QStringLiteral("RE")},
        {QStringLiteral("results-db"),
         QStringLiteral("The results server, as a libpq connection string."),
         QStringLiteral("CONNINFO")}};
}

int runStation(const QCommandLineParser &parser, const Common &common, const QString &storePath)
{
    // A reader that goes (station ... | head -n 1) is a failed write, said at
    // the end, never a signal that ends the tool in the middle of a load.
    std::signal(SIGPIPE, SIG_IGN);
    const QString command = QStringLiteral("station");
    const QStringList words = parser.positionalArguments().mid(1);
    if (words.size() != 1)
        return usageError(QStringLiteral("station takes one SHEET"), command);

    // The lines: each --port, then each --device under the lowest COM
    // numbers left; neither: the store's COM port (or --com).
    const StoredConfiguration stored = readConfiguration(storePath);
    std::vector<LineChoice> lines;
    QList<int> taken;
    for (const QString &text : parser.values(QStringLiteral("port"))) {
        const std::optional<int> port = positiveNumber(text);
        if (!port || taken.contains(*port))
            return usageError(QStringLiteral("--port takes a COM number from 1, each once"),
                              command);
        taken << *port;
    }
    const PortMap names(stored.portMap);
    for (int port : taken)
        lines.push_back({port, names.deviceFor(port)});
    // A device the Port Map names keeps its COM number; the others take the
    // lowest numbers left.
    std::vector<LineChoice> unnamed;
    for (const QString &device : parser.values(QStringLiteral("device"))) {
        const QString canonical = QFileInfo(device).canonicalFilePath();
        int mapped = 0;
        for (auto it = stored.portMap.constBegin(); it != stored.portMap.constEnd(); ++it) {
            if (!taken.contains(it.key()) &&
                (it.value() == device ||
                 (!canonical.isEmpty() && QFileInfo(it.value()).canonicalFilePath() == canonical)))
                mapped = it.key();
        }
        if (mapped > 0) {
            taken << mapped;
            lines.push_back({mapped, device});
        } else {
            unnamed.push_back({0, device});
        }
    }
    int next = 1;
    for (LineChoice &line : unnamed) {
        while (taken.contains(next))
            ++next;
        taken << next;
        line.comPort = next;
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end(),
              [](const LineChoice &a, const LineChoice &b) { return a.comPort < b.comPort; });
    if (lines.empty()) {
        const int storedPort = stored.comPort.value_or(1);
        const int port = common.com.value_or(storedPort > 0 ? storedPort : 1);
        lines.push_back({port, names.deviceFor(port)});
    }
    std::shared_ptr<std::atomic<int>> unitsLeft;
    if (parser.isSet(QStringLiteral("units"))) {
        const std::optional<int> units = positiveNumber(parser.value(QStringLiteral("units")));
        if (!units)
            return usageError(QStringLiteral("--units takes a number from 1"), command);
        unitsLeft = std::make_shared<std::atomic<int>>(*units);
    }
    QString operatorName = parser.value(QStringLiteral("operator")).trimmed();
    if (!parser.isSet(QStringLiteral("operator")))
        operatorName = loginName();
    if (operatorName.isEmpty())
        return usageError(QStringLiteral("every result names its operator: give --operator NAME"),
                          command);

    const bool askSerial = parser.isSet(QStringLiteral("serial-prompt"));
    if (parser.isSet(QStringLiteral("serial-pattern")) && !askSerial)
        return usageError(QStringLiteral("--serial-pattern goes with --serial-prompt"), command);
    const QString serialPattern = parser.isSet(QStringLiteral("serial-pattern"))
                                      ? parser.value(QStringLiteral("serial-pattern")).trimmed()
                                      : readSerialSetting(storePath).pattern;
    if (askSerial && !serialPatternProblem(serialPattern).isEmpty())
        return usageError(serialPatternProblem(serialPattern), command);

    StationPlan plan;
    plan.sheetPath = words[0];
    plan.operatorName = operatorName;
    plan.station = parser.value(QStringLiteral("station"));
    for (const LineChoice &line : lines)
        plan.lines.push_back({line.comPort, line.device});
    plan.baud = common.baud.value_or(9600);
    plan.pace = common.pace;
    plan.address = common.axis;
    plan.askSerial = askSerial;
    plan.serialPattern = serialPattern;
    plan.unitsLeft = unitsLeft;
    // The plan's own checks, each said as its kind: the pattern was
    // refused above, with the tool's usage.
    const Outcome<CheckRequest> request = plan.request();
    if (!request) {
        printError(request.problem(), code::SheetUnreadable);
        return ExitUsage;
    }
    if (const Outcome<void> accepted = StationPlan::sheetAccepted(*request); !accepted) {
        for (const QString &line : accepted.problem().split(QLatin1Char('\n')))
            printError(line, code::SheetRefused);
        return ExitUsage;
    }
    if (const Outcome<void> open = plan.portsOpen(); !open) {
        const QString &problem = open.problem();
        const qsizetype cut = problem.indexOf(QLatin1Char('\n'));
        printError(problem.left(cut), code::PortOpenFailed);
        printError(problem.mid(cut + 1), code::PortDiagnosis);
        return ExitNoUnit;
    }

    const QString journal = Journal::defaultPath();
    const QString setting = parser.isSet(QStringLiteral("results-db"))
                                ? parser.value(QStringLiteral("results-db"))
                                : readResultsSetting(storePath).setting;
    // Each line hands its results over and goes on at once.
    auto keeper = std::make_shared<ResultsKeeper>(journal, setting);
    auto keep = [keeper](const CheckReport &report) -> QString {
        keeper->keep(report);
        return QString();
    };

    const std::shared_ptr<StandardInputSerials> serialInput =
        askSerial ? StandardInputSerials::start() : nullptr;
    std::vector<std::unique_ptr<LinePrinter>> printers;
    std::vector<std::unique_ptr<StationLine>> stations;
    QEventLoop loop;
    auto running = [&stations] {
        int count = 0;
        for (const auto &station : stations)
            count += station->isRunning() ? 1 : 0;
        return count;
    };
    auto stopAll = [&stations] {
        for (const auto &station : stations)
            station->stop();
    };
    bool outputLostSaid = false;
    auto outputLost = [&] {
        if (std::exchange(outputLostSaid, true))
            return;
        stopAll();
    };
    for (StationLineSetup &setup : plan.setups(*request)) {
        const QString name = stationLineName(setup.comPort, setup.device);
        setup.keep = keep;
        if (serialInput)
            setup.serialNumbers = StandardInputSerials::lineSource(serialInput, name);
        printers.push_back(std::make_unique<LinePrinter>(name, common.json, outputLost));
        stations.push_back(
            std::make_unique<StationLine>(storePath, std::move(setup), *printers.back()));
    }
    // Ctrl+C, a service manager's SIGTERM and a closed terminal's SIGHUP
    // alike: every check under way ends and is kept, then the tool ends.
    InterruptWatch watch(
        [&] {
            printError(QStringLiteral("Interrupted; the checks under way end first."),
                       code::Interrupted);
            stopAll();
        },
        {SIGINT, SIGTERM, SIGHUP});
    for (const auto &station : stations) {
        QObject::connect(station.get(), &StationLine::finished, &loop, [&] {
            if (running() == 0)
                loop.quit();
        });
        station->start();
    }
    loop.exec();

    // Every result kept (or its message said) before the summary.
    stations.clear();
    keeper->finish();
    int passed = 0;
    int failed = 0;
    int refused = 0;
    for (const auto &printer : printers) {
        passed += printer->passed;
        failed += printer->failed;
        refused += printer->refused;
    }
    // A refused unit was on the line and is not to ship: as a failed one.
    const int code = passed + failed + refused == 0 ? ExitNoUnit
                     : failed > 0 || refused > 0    ? ExitNotHeld
                                                    : ExitDone;
    if (common.json) {
        QJsonArray messages;
        for (const CliMessage &message : printedMessages())
            messages.append(QJsonObject{{QStringLiteral("code"), message.code},
                                        {QStringLiteral("text"), message.text}});
        const QJsonObject summary{{QStringLiteral("format"), DocumentFormat},
                                  {QStringLiteral("command"), command},
                                  {QStringLiteral("exit"), code},
                                  {QStringLiteral("passed"), passed},
                                  {QStringLiteral("failed"), failed},
                                  {QStringLiteral("refused"), refused},
                                  {QStringLiteral("messages"), messages}};
        printOut(QString::fromUtf8(QJsonDocument(summary).toJson(QJsonDocument::Compact)) +
                 QLatin1Char('\n'));
    } else {
        printError(QStringLiteral("Passed %1, failed %2, refused %3.")
                       .arg(passed)
                       .arg(failed)
                       .arg(refused),
                   code::Status);
    }
    return code;
}

} // namespace ktv::cli
