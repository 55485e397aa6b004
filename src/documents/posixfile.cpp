#include "posixfile_p.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents::Internal {

void FileDescriptor::reset()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool writeAll(int fd, std::string_view bytes)
{
    const char *p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, p, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += written;
        left -= std::size_t(written);
    }
    return true;
}

bool writeAllAt(int fd, std::string_view bytes, off_t offset)
{
    const char *p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::pwrite(fd, p, left, offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += written;
        offset += off_t(written);
        left -= std::size_t(written);
    }
    return true;
}

// One loop for both: `offset` < 0 reads on from the file's position.
static bool readLoop(int fd, char *into, std::size_t size, off_t offset, std::size_t &got)
{
    got = 0;
    while (got < size) {
        const ssize_t n = offset < 0 ? ::read(fd, into + got, size - got)
                                     : ::pread(fd, into + got, size - got, offset + off_t(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    return true;
}

bool readAll(int fd, char *into, std::size_t size, std::size_t &got)
{
    return readLoop(fd, into, size, -1, got);
}

bool readAllAt(int fd, char *into, std::size_t size, off_t offset, std::size_t &got)
{
    return readLoop(fd, into, size, offset, got);
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void syncFolder(const std::string &folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

std::string resolveTarget(const std::string &path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved))
        return resolved;
    // A dangling link: write where it points, creating the file there.
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0)
        return path;
    target.resize(std::size_t(length));
    if (target.front() != '/')
        target = folderOf(path) + "/" + target;
    return target;
}

namespace {

// Field 22 of /proc/PID/stat: clock ticks since boot when the process started.
std::uint64_t startTimeOf(std::int64_t pid)
{
#ifdef __linux__
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    // The command name in parentheses may hold spaces and parentheses of its own.
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    const char *p = line.c_str() + close + 1;
    for (int field = 3; field < 22 && *p; ++field) {
        while (*p == ' ')
            ++p;
        while (*p && *p != ' ')
            ++p;
    }
    return std::strtoull(p, nullptr, 10);
#else
    (void)pid;
    return 0;
#endif
}

} // namespace

ProcessIdentity currentProcess()
{
    static const ProcessIdentity self{std::int64_t(::getpid()), startTimeOf(::getpid())};
    // A forked child (tests, helpers) is a process of its own.
    if (self.pid != std::int64_t(::getpid()))
        return {std::int64_t(::getpid()), startTimeOf(::getpid())};
    return self;
}

bool mayBeRunning(const ProcessIdentity &process)
{
    if (process.pid <= 0 || process.pid > std::int64_t(INT_MAX))
        return false;
    if (::kill(pid_t(process.pid), 0) != 0 && errno == ESRCH)
        return false;
    if (process.startTime == 0)
        return true;
    const std::uint64_t now = startTimeOf(process.pid);
    return now == 0 || now == process.startTime;
}

std::uint64_t digest(std::string_view bytes)
{
    constexpr std::uint64_t k1 = 0x9E3779B185EBCA87ull;
    constexpr std::uint64_t k2 = 0xC2B2AE3D27D4EB4Full;
    const auto rotate = [](std::uint64_t v, int by) { return (v << by) | (v >> (64 - by)); };
    // Four independent lanes keep the multiplier pipeline busy.
    std::uint64_t lane[4] = {k1, k2, k1 ^ k2, ~k1};
    const char *p = bytes.data();
    std::size_t left = bytes.size();
    while (left >= 32) {
        for (auto &value : lane) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            value = rotate(value ^ (word * k2), 31) * k1;
            p += 8;
        }
        left -= 32;
    }
    std::uint64_t h = rotate(lane[0], 1) + rotate(lane[1], 7) + rotate(lane[2], 12) + rotate(lane[3], 18);
    h ^= std::uint64_t(bytes.size()) * k1;
    while (left >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = rotate(h ^ (word * k2), 27) * k1 + k2;
        p += 8;
        left -= 8;
    }
    while (left > 0) {
        h = rotate(h ^ (std::uint64_t(static_cast<unsigned char>(*p)) * k1), 11) * k2;
        ++p;
        --left;
    }
    h ^= h >> 33;
    h *= k2;
    h ^= h >> 29;
    return h;
}

void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        // Leave a handler that the embedding program installed on purpose.
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO)
            && current.sa_handler == SIG_DFL)
            std::signal(SIGXFSZ, SIG_IGN);
    });
}

} // namespace Documents::Internal
