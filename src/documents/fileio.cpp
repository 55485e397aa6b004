#include "fileio.h"

#include "fileio_p.h"
#include "filereplace_p.h"
#include "posixfile_p.h"
#include "savejournal_p.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents {

using Internal::FileDescriptor;
using Internal::readAll;

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

namespace {

FileTime fileTime(const struct timespec &time)
{
    return {std::int64_t(time.tv_sec), std::int64_t(time.tv_nsec)};
}

std::optional<std::string> realTarget(const std::string &path)
{
    char *resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return std::nullopt;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

std::optional<DiskVersion> versionOf(const struct stat &info, const std::string &path)
{
    auto target = realTarget(path);
    if (!target)
        return std::nullopt;
    DiskVersion version;
    version.identity = {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
    version.size = std::int64_t(info.st_size);
    version.mtime = fileTime(info.st_mtim);
    version.ctime = fileTime(info.st_ctim);
    version.target = std::move(*target);
    return version;
}

bool isWholeSecond(const DiskVersion &version)
{
    return version.mtime.nanoseconds == 0 && version.ctime.nanoseconds == 0;
}

// `time` is more than half a second after `known`.
bool laterThanTolerance(const FileTime &time, const FileTime &known)
{
    FileTime limit{known.seconds, known.nanoseconds + 500'000'000};
    if (limit.nanoseconds >= 1'000'000'000) {
        limit.seconds += 1;
        limit.nanoseconds -= 1'000'000'000;
    }
    return time > limit;
}

} // namespace

std::optional<DiskVersion> diskVersion(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return versionOf(info, path);
}

bool changedOnDisk(const DiskVersion &known, const DiskVersion &now)
{
    if (known.identity != now.identity || known.size != now.size || known.target != now.target)
        return true;
    // Whole seconds on either side: a file system whose clock cannot tell the two apart, or
    // whose cached fractions a later look no longer sees.
    if (isWholeSecond(known) || isWholeSecond(now))
        return laterThanTolerance(now.mtime, known.mtime) || laterThanTolerance(now.ctime, known.ctime);
    return known.mtime != now.mtime || known.ctime != now.ctime;
}

Base::Message fileTooLargeMessage(std::int64_t size)
{
    return {"File too large (%lld MB). Limit is 50 MB.", {std::int64_t(size / 1'048'576)}};
}

std::optional<Internal::ReadFailure> Internal::readBounded(const std::string &path, Base::ByteBuffer &bytes,
                                                           std::optional<DiskVersion> &version)
{
    const auto failure = [](int error) { return ReadFailure{{systemErrorText(error), {}}, false}; };
    const auto tooLarge = [&bytes](std::int64_t size) {
        bytes = Base::ByteBuffer(); // the refused bytes are of no use: give their memory back
        return ReadFailure{fileTooLargeMessage(size), true};
    };
    version.reset();
    bytes.clear();
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
        return ReadFailure{{std::string(notRegularFileText), {}}, false};
    // Before the first byte: whatever changes the file from here on is a change to what was read.
    version = versionOf(info, path);
    if (std::int64_t(info.st_size) > maximumFileSize)
        return tooLarge(std::int64_t(info.st_size));
    // The size is a hint: a file that grows or shrinks while being read is read to its end, but
    // never more than one byte past the limit, whatever the name holds by now.
    constexpr std::size_t ceiling = std::size_t(maximumFileSize) + 1;
    bytes.resize(std::size_t(info.st_size) + 1);
    std::size_t used = 0;
    while (true) {
        std::size_t got = 0;
        if (!readAll(fd.get(), bytes.data() + used, bytes.size() - used, got))
            return failure(errno);
        used += got;
        if (used < bytes.size())
            break;
        if (used >= ceiling) {
            struct stat now {};
            const std::int64_t size = ::fstat(fd.get(), &now) == 0 ? std::int64_t(now.st_size) : 0;
            return tooLarge(std::max({size, std::int64_t(info.st_size), std::int64_t(used)}));
        }
        bytes.resize(std::min(bytes.size() * 2, ceiling));
    }
    bytes.resize(used);
    return std::nullopt;
}

std::optional<Base::Message> readWholeFile(const std::string &path, Base::ByteBuffer &bytes)
{
    std::optional<DiskVersion> version;
    if (auto failed = Internal::readBounded(path, bytes, version))
        return std::move(failed->message);
    return std::nullopt;
}

std::optional<std::string> writeFileAtomically(const std::string &path, std::string_view bytes)
{
    Internal::ignoreFileSizeSignal();
    const std::string target = Internal::resolveTarget(path);
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) {
        if (errno != ENOENT)
            return systemErrorText(errno);
        Internal::sweepStaleTemporaries(target);
        auto created = Internal::replaceByRename(target, bytes, nullptr);
        if (auto *error = std::get_if<std::string>(&created))
            return *error;
        return std::nullopt;
    }
    if (S_ISDIR(existing.st_mode))
        return systemErrorText(EISDIR);
    if (!S_ISREG(existing.st_mode))
        return std::string(notRegularFileText);
    // A writable folder would let a rename replace any file in it; a file that its owner
    // marked read-only, or that this user may not write, is left as it is.
    if (!(existing.st_mode & S_IWUSR) || (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES))
        return std::string(readOnlyFileText);
    Internal::sweepStaleTemporaries(target);
    // Replacing the file would cut its other hard links loose: only an in-place rewrite keeps them.
    if (existing.st_nlink > 1)
        return Internal::rewriteInPlace(target, bytes, existing);
    auto replaced = Internal::replaceByRename(target, bytes, &existing);
    if (std::holds_alternative<Internal::KeepInPlace>(replaced))
        return Internal::rewriteInPlace(target, bytes, existing);
    if (auto *error = std::get_if<std::string>(&replaced))
        return *error;
    return std::nullopt;
}

} // namespace Documents
