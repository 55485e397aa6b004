#pragma once

#include "base/largebuffer.h"
#include "base/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Documents {

// A modification time with the file system's full (nanosecond) precision.
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

// Reads the whole file into `bytes`. Returns the message "<system description>" on failure.
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
