#include "cli/Interrupt.h"

#include "cli/CliCommands.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ktv::cli {

namespace {

int pipeFds[2] = {-1, -1};
struct sigaction previous[NSIG];
volatile std::sig_atomic_t interrupts = 0;

void onSignal(int signal)
{
    // The first signal ends the work from ordinary code. A second Ctrl+C
    // means the operator will not wait for that (the tool may be stuck where
    // no event loop runs): end the process here and now, with what a signal
    // handler may call. SIGTERM and SIGHUP may come twice from one sender
    // (to the process, then to its group): the work still ends as asked.
    if (interrupts != 0 && signal != SIGINT)
        return;
    if (interrupts != 0) {
        static const char text[] = "Interrupted again; ending at once.\n";
        [[maybe_unused]] const auto said = ::write(STDERR_FILENO, text, sizeof text - 1);
        ::_exit(ExitInterrupted);
    }
    interrupts = 1;
    const char byte = 1;
    // Nothing to do when the pipe is full: a byte is already waiting.
    [[maybe_unused]] const auto written = ::write(pipeFds[1], &byte, 1);
}

} // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt,
                               std::initializer_list<int> watched)
    : onInterrupt_(std::move(onInterrupt)), signals_(watched)
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &InterruptWatch::readPipe);
    interrupts = 0;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : signals_)
        ::sigaction(signal, &action, &previous[signal]);
}

InterruptWatch::~InterruptWatch()
{
    if (!notifier_)
        return;
    for (int signal : signals_)
        ::sigaction(signal, &previous[signal], nullptr);
    notifier_.reset();
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void InterruptWatch::readPipe()
{
    char bytes[16];
    while (::read(pipeFds[0], bytes, sizeof bytes) > 0) {
    }
    if (interrupted_)
        return;
    interrupted_ = true;
    onInterrupt_();
}

} // namespace ktv::cli
