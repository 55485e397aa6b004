#pragma once

// Named pipes where state files belong, for the tests that prove nothing blocks on them. A
// reader that opens a pipe without a writer waits for one for ever; the watchdog plays that
// writer once a deadline has passed, so a test that would block ends and says so instead of
// hanging the test run.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

inline bool isFifo(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISFIFO(status.st_mode);
}

class FifoWatchdog {
public:
    // From `deadline` on, lets every reader blocked on the pipe at `path` go (it reads an empty
    // file) until the watchdog is destroyed.
    FifoWatchdog(const QString &path, std::chrono::milliseconds deadline)
        : m_path(QFile::encodeName(path))
        , m_thread([this, deadline] { run(deadline); })
    {
    }
    ~FifoWatchdog()
    {
        m_stop = true;
        m_thread.join();
    }
    FifoWatchdog(const FifoWatchdog &) = delete;
    FifoWatchdog &operator=(const FifoWatchdog &) = delete;

    // Whether a reader was blocked on the pipe after the deadline.
    bool fired() const { return m_fired; }

private:
    void run(std::chrono::milliseconds deadline)
    {
        const auto due = std::chrono::steady_clock::now() + deadline;
        while (!m_stop) {
            if (std::chrono::steady_clock::now() >= due) {
                // Succeeds only while a reader has the pipe open (ENXIO otherwise).
                const int fd = ::open(m_path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_fired = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    const QByteArray m_path;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_fired{false};
    std::thread m_thread;
};
