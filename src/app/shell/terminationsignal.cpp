#include "terminationsignal.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace App {

namespace {

int pipeEnds[2] = {-1, -1};

void handleSignal(int number)
{
    const unsigned char byte = static_cast<unsigned char>(number);
    // write() is async-signal-safe; a full pipe only drops a duplicate request.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[0], &byte, 1);
}

// Every signal whose default action ends the process without a core dump worth keeping, plus
// SIGQUIT: each quits like SIGTERM, saving what it can.
constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2};

} // namespace

TerminationSignal::TerminationSignal(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeEnds) != 0)
        return;
    m_notifier = new QSocketNotifier(pipeEnds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::readPending);
    struct sigaction action = {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : handledSignals)
        ::sigaction(number, &action, nullptr);
    // A closed pipe (a reader of our output gone) is an error of that one write, not a reason to
    // end with unsaved edits.
    std::signal(SIGPIPE, SIG_IGN);
}

TerminationSignal::~TerminationSignal()
{
    for (int number : handledSignals)
        std::signal(number, SIG_DFL);
    for (int &end : pipeEnds) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void TerminationSignal::readPending()
{
    unsigned char byte = 0;
    while (::read(pipeEnds[1], &byte, 1) == 1)
        emit received(int(byte));
}

} // namespace App
