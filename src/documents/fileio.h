#pragma once

#include "base/largebuffer.h"
#include "base/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Documents {

// A file time (modification or status change) with the file system's full (nanosecond)
// precision.
struct FileTime {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;

    double toSeconds() const { return double(seconds) + double(nanoseconds) / 1e9; }
    auto operator<=>(const FileTime &) const = default;
};

struct FileAttributes {
    std::int64_t size = 0;
    std::optional<FileTime> modificationTime;
    bool isDirectory = false;
};

// Attributes of `path`, following symlinks; on failure the system's description of the error.
std::variant<FileAttributes, std::string> readAttributes(const std::string &path);

// The modification time of `path`, empty on any error.
std::optional<FileTime> modificationTime(const std::string &path);

// Which file a path names: a replace-by-rename gives another inode, another mount another device.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity &) const = default;
};

// What a load read or a save wrote, as the file system describes it, so that a later look can
// tell whether another program changed the file since.
struct DiskVersion {
    FileIdentity identity;
    std::int64_t size = 0;
    FileTime mtime;
    // The status-change time: it moves on every write, rename into place, chmod, chown or link,
    // and no program can set it back, unlike the modification time (cp -p, rsync -a, touch -d).
    FileTime ctime;
    // The name resolved (realpath): for a symlink, the file it ends at.
    std::string target;
    bool operator==(const DiskVersion &) const = default;
};

// The version of the file `path` names now (following symlinks); empty on any error.
std::optional<DiskVersion> diskVersion(const std::string &path);

// True when `now` is not the file `known` describes: another device, inode, size or target, or
// another modification or status-change time. An older time is as much a change as a newer one:
// a backup moved back, a symlink re-pointed at an older file, `touch -d`. Only where a file
// system keeps coarse times (the modification and status-change times of `known` or of `now`
// both lack a sub-second part: FAT, some network mounts, whose cached times may also lose
// their fraction later) does a time count as changed only when it is more than 0.5 s later than
// the known one; device, inode, size and target still compare exactly.
bool changedOnDisk(const DiskVersion &known, const DiskVersion &now);

// Largest file that is loaded: 50 MiB. One byte more is refused.
inline constexpr std::int64_t maximumFileSize = 52'428'800;

// "File too large (%lld MB). Limit is 50 MB." for a file of `size` bytes, in whole MiB rounded down.
Base::Message fileTooLargeMessage(std::int64_t size);

// Reads the whole file into `bytes`, never more than `maximumFileSize` bytes: a larger file, or
// one that grows past the limit while it is read, fails with `fileTooLargeMessage` (the larger
// of its size and the bytes read). Other failures give the system's description of the error.
std::optional<Base::Message> readWholeFile(const std::string &path, Base::ByteBuffer &bytes);

// Replaces the contents of the file at `path` with `bytes` so that a crash, a kill or a full
// disk at any moment leaves either the old or the new contents, never a mix:
// - the bytes go to a temporary file in the same folder, which is given the old file's owner,
//   group, permission bits and extended attributes (POSIX access lists included), synced and
//   renamed over the target; the folder is synced;
// - a symlink stays a symlink: its final target is written;
// - a file with several hard links, or whose owner, group or access list a new file cannot be
//   given (another user's file, for anyone but root), is rewritten in place under a journal
//   beside it that `recoverInterruptedSave` settles after a crash;
// - a file whose owner has no write permission, or that this user may not write, is refused
//   with `readOnlyFileText`, root included: a folder's write permission is no licence to
//   replace it;
// - temporaries that a killed save of this file left behind are removed;
// - a file-size limit (ulimit -f) makes the write fail with EFBIG instead of killing the process.
// Returns the system's description of the error on failure; the old file is then intact.
std::optional<std::string> writeFileAtomically(const std::string &path, std::string_view bytes);

// The error text for a file that must not be replaced.
inline constexpr std::string_view readOnlyFileText = "The file is read-only";

// The error text for pipes, devices and sockets, which are neither read nor written.
inline constexpr std::string_view notRegularFileText = "Not a regular file";

// The system's description of an `errno` value.
std::string systemErrorText(int error);

} // namespace Documents
