#include "filereplace_p.h"

#include "documents/fileio.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace Documents::Internal {

namespace {

constexpr std::string_view temporaryMarker = ".corvane-";
constexpr std::size_t longestPlainStem = 160;

std::string stemFor(const std::string &name)
{
    if (name.size() <= longestPlainStem)
        return name;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest(name)));
    return name.substr(0, longestPlainStem - 20) + "~" + hex;
}

// "<pid>-<start>-<counter>" with nothing else; the owner's identity on success.
std::optional<ProcessIdentity> parseTemporarySuffix(std::string_view suffix)
{
    std::uint64_t fields[3] = {};
    const char *p = suffix.data();
    const char *end = p + suffix.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p == end || *p != '-')
                return std::nullopt;
            ++p;
        }
        const auto [next, error] = std::from_chars(p, end, fields[i]);
        if (error != std::errc() || next == p)
            return std::nullopt;
        p = next;
    }
    if (p != end)
        return std::nullopt;
    return ProcessIdentity{std::int64_t(fields[0]), fields[1]};
}

#ifdef __APPLE__
ssize_t listAttributes(int fd, char *names, std::size_t size) { return ::flistxattr(fd, names, size, 0); }
ssize_t readAttribute(int fd, const char *name, void *value, std::size_t size)
{
    return ::fgetxattr(fd, name, value, size, 0, 0);
}
int writeAttribute(int fd, const char *name, const void *value, std::size_t size)
{
    return ::fsetxattr(fd, name, value, size, 0, 0);
}
#else
ssize_t listAttributes(int fd, char *names, std::size_t size) { return ::flistxattr(fd, names, size); }
ssize_t readAttribute(int fd, const char *name, void *value, std::size_t size)
{
    return ::fgetxattr(fd, name, value, size);
}
int writeAttribute(int fd, const char *name, const void *value, std::size_t size)
{
    return ::fsetxattr(fd, name, value, size, 0);
}
#endif

bool isAccessList(std::string_view name)
{
    return name.rfind("system.posix_acl_", 0) == 0;
}

// Copies every extended attribute of `from` that this process may read onto `to`. An access
// list that cannot be copied gives false: the new file would grant other rights than the old.
// Other attributes the process may not write (trusted.*, security.* without privilege) are
// left out, as the file system itself would on a copy.
bool copyExtendedAttributes(int from, int to)
{
    std::vector<char> names;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = listAttributes(from, nullptr, 0);
        if (size <= 0)
            return true; // None, or a file system without extended attributes.
        names.resize(std::size_t(size));
        const ssize_t got = listAttributes(from, names.data(), names.size());
        if (got >= 0) {
            names.resize(std::size_t(got));
            break;
        }
        if (errno != ERANGE)
            return true;
        names.clear();
    }
    std::vector<char> value;
    for (std::size_t at = 0; at < names.size();) {
        const char *name = names.data() + at;
        const std::size_t length = ::strnlen(name, names.size() - at);
        at += length + 1;
        ssize_t size = readAttribute(from, name, nullptr, 0);
        if (size < 0)
            continue;
        value.resize(std::size_t(size));
        size = readAttribute(from, name, value.data(), value.size());
        if (size < 0)
            continue;
        if (writeAttribute(to, name, value.data(), std::size_t(size)) != 0 && isAccessList(name))
            return false;
    }
    return true;
}

} // namespace

std::string temporaryPrefixFor(const std::string &target)
{
    return folderOf(target) + "/." + stemFor(nameOf(target)) + std::string(temporaryMarker);
}

std::string journalPathFor(const std::string &target)
{
    return temporaryPrefixFor(target) + "journal";
}

FileDescriptor createTemporaryBeside(const std::string &target, std::string &temporaryPath, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const ProcessIdentity self = currentProcess();
    const std::string prefix = temporaryPrefixFor(target) + std::to_string(self.pid) + "-"
                               + std::to_string(self.startTime) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = prefix + std::to_string(counter++);
        FileDescriptor fd(::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (fd.valid() || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return FileDescriptor();
}

void sweepStaleTemporaries(const std::string &target)
{
    const std::string folder = folderOf(target);
    const std::string prefix = temporaryPrefixFor(target).substr(folder.size() + 1);
    DIR *directory = ::opendir(folder.c_str());
    if (!directory)
        return;
    while (const dirent *entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const auto owner = parseTemporarySuffix(name.substr(prefix.size()));
        if (!owner || mayBeRunning(*owner))
            continue;
        const std::string path = folder + "/" + std::string(name);
        struct stat info {};
        // Only plain files of ours: a same-named folder or link is someone else's.
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
            ::unlink(path.c_str());
    }
    ::closedir(directory);
}

std::variant<std::monostate, KeepInPlace, std::string> replaceByRename(const std::string &target, std::string_view bytes,
                                                                       const struct stat *existing)
{
    std::string temporaryPath;
    // A new file gets the usual mode for the user's umask; a replacement starts private and
    // takes the old file's mode once its owner is right.
    FileDescriptor fd = createTemporaryBeside(target, temporaryPath, existing ? 0600 : 0666);
    if (!fd.valid())
        return systemErrorText(errno);
    const auto discard = [&] {
        fd.reset();
        ::unlink(temporaryPath.c_str());
    };
    const auto fail = [&](int error) {
        discard();
        return systemErrorText(error);
    };
    if (existing) {
        // Owner first: a change of owner clears set-id bits and file capabilities, which the
        // mode and the attributes below put back.
        const uid_t uid = existing->st_uid == ::geteuid() ? uid_t(-1) : existing->st_uid;
        struct stat created {};
        if (::fstat(fd.get(), &created) != 0)
            return fail(errno);
        const gid_t gid = existing->st_gid == created.st_gid ? gid_t(-1) : existing->st_gid;
        if ((uid != uid_t(-1) || gid != gid_t(-1)) && ::fchown(fd.get(), uid, gid) != 0) {
            if (errno != EPERM)
                return fail(errno);
            discard();
            return KeepInPlace{};
        }
        if (::fchmod(fd.get(), existing->st_mode & 07777) != 0)
            return fail(errno);
        FileDescriptor old(::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
        if (old.valid() && !copyExtendedAttributes(old.get(), fd.get())) {
            discard();
            return KeepInPlace{};
        }
    }
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        return fail(errno);
    if (::close(fd.release()) != 0)
        return fail(errno);
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0)
        return fail(errno);
    syncFolder(folderOf(target));
    return std::monostate{};
}

} // namespace Documents::Internal
