#include "fileio.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents {

namespace {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

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

bool readAll(int fd, char *into, std::size_t size, std::size_t &got)
{
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, size - got);
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

std::string folderOf(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void syncFolder(const std::string &folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

// The file that a write to `path` must change: the final target when `path` is a symlink.
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

// A unique, exclusive temporary file beside `target`.
FileDescriptor createTemporaryBeside(const std::string &target, std::string &temporaryPath, mode_t mode)
{
    const std::string folder = folderOf(target);
    const auto slash = target.find_last_of('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        static std::atomic<unsigned> counter{0};
        struct timespec now {};
        ::clock_gettime(CLOCK_REALTIME, &now);
        temporaryPath = folder + "/." + name + ".corvane-" + std::to_string(::getpid()) + "-"
                        + std::to_string(now.tv_nsec) + "-" + std::to_string(counter++);
        FileDescriptor fd(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd.valid() || errno != EEXIST)
            return FileDescriptor(fd.release());
    }
    errno = EEXIST;
    return FileDescriptor();
}

std::optional<std::string> replaceByRename(const std::string &target, std::string_view bytes,
                                           const struct stat *existing)
{
    const mode_t mode = existing ? (existing->st_mode & 07777) : 0644;
    std::string temporaryPath;
    FileDescriptor fd = createTemporaryBeside(target, temporaryPath, mode);
    if (!fd.valid())
        return systemErrorText(errno);
    const auto fail = [&](int error) {
        fd.reset();
        ::unlink(temporaryPath.c_str());
        return systemErrorText(error);
    };
    // The umask may have narrowed the mode given to open().
    if (existing && ::fchmod(fd.get(), mode) != 0)
        return fail(errno);
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0)
        return fail(errno);
    syncFolder(folderOf(target));
    return std::nullopt;
}

std::optional<std::string> rewriteInPlace(const std::string &target, std::string_view bytes,
                                          const struct stat &existing)
{
    FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!file.valid())
        return systemErrorText(errno);

    // Keep the old contents safe beside the file until the new ones are on disk.
    std::string old(std::size_t(existing.st_size), '\0');
    std::size_t got = 0;
    if (!readAll(file.get(), old.data(), old.size(), got))
        return systemErrorText(errno);
    old.resize(got);
    std::string backupPath;
    {
        FileDescriptor backup = createTemporaryBeside(target, backupPath, 0600);
        if (!backup.valid() || !writeAll(backup.get(), old) || ::fsync(backup.get()) != 0) {
            const int error = errno;
            if (backup.valid())
                ::unlink(backupPath.c_str());
            return systemErrorText(error);
        }
    }

    const auto restore = [&](int error) -> std::optional<std::string> {
        const bool restored = ::lseek(file.get(), 0, SEEK_SET) == 0 && writeAll(file.get(), old)
                              && ::ftruncate(file.get(), off_t(old.size())) == 0 && ::fsync(file.get()) == 0;
        if (restored) {
            ::unlink(backupPath.c_str());
            return systemErrorText(error);
        }
        return systemErrorText(error) + " (the previous contents are kept in " + backupPath + ")";
    };
    if (::lseek(file.get(), 0, SEEK_SET) != 0 || !writeAll(file.get(), bytes)
        || ::ftruncate(file.get(), off_t(bytes.size())) != 0 || ::fsync(file.get()) != 0)
        return restore(errno);
    ::unlink(backupPath.c_str());
    return std::nullopt;
}

} // namespace

std::string systemErrorText(int error)
{
    return std::strerror(error);
}

std::variant<FileAttributes, std::string> readAttributes(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return systemErrorText(errno);
    FileAttributes attributes;
    attributes.size = std::int64_t(info.st_size);
    attributes.modificationTime = FileTime{std::int64_t(info.st_mtim.tv_sec), std::int64_t(info.st_mtim.tv_nsec)};
    attributes.isDirectory = S_ISDIR(info.st_mode);
    return attributes;
}

std::optional<FileTime> modificationTime(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileTime{std::int64_t(info.st_mtim.tv_sec), std::int64_t(info.st_mtim.tv_nsec)};
}

std::optional<Base::Message> readWholeFile(const std::string &path, Base::ByteBuffer &bytes)
{
    const auto failure = [](int error) { return Base::Message{systemErrorText(error), {}}; };
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return failure(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return failure(errno);
    if (S_ISDIR(info.st_mode))
        return failure(EISDIR);
    // Pipes and devices could block forever or never end.
    if (!S_ISREG(info.st_mode))
        return Base::Message{std::string(notRegularFileText), {}};
    // The size is a hint: a file that grows or shrinks while being read is read to its end.
    bytes.clear();
    bytes.resize(std::size_t(info.st_size) + 1);
    std::size_t used = 0;
    while (true) {
        std::size_t got = 0;
        if (!readAll(fd.get(), bytes.data() + used, bytes.size() - used, got))
            return failure(errno);
        used += got;
        if (used < bytes.size())
            break;
        bytes.resize(bytes.size() * 2);
    }
    bytes.resize(used);
    return std::nullopt;
}

std::optional<std::string> writeFileAtomically(const std::string &path, std::string_view bytes)
{
    const std::string target = resolveTarget(path);
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        if (errno != ENOENT)
            return systemErrorText(errno);
        return replaceByRename(target, bytes, nullptr);
    }
    if (S_ISDIR(existing.st_mode))
        return systemErrorText(EISDIR);
    if (!S_ISREG(existing.st_mode))
        return std::string(notRegularFileText);
    const bool sharedByLinks = existing.st_nlink > 1;
    const bool ownedByOther = existing.st_uid != ::geteuid();
    if (sharedByLinks || ownedByOther)
        return rewriteInPlace(target, bytes, existing);
    return replaceByRename(target, bytes, &existing);
}

} // namespace Documents
