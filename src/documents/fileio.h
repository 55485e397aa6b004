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

// Replaces the contents of the file at `path` with `bytes` so that a crash or a full disk at
// any moment leaves either the old or the new contents, never a mix:
// - the bytes go to a temporary file in the same folder, which is synced, given the old file's
//   permission bits and renamed over the target, and the folder is synced;
// - a symlink stays a symlink: its final target is written;
// - a file with several hard links, or owned by another user, would silently lose those links or
//   that owner if replaced, so it is rewritten in place instead, after a backup copy of the old
//   contents has been synced beside it; the backup restores the old contents if the rewrite
//   fails and is removed afterwards.
// Returns the system's description of the error on failure; the old file is then intact.
std::optional<std::string> writeFileAtomically(const std::string &path, std::string_view bytes);

// The error text for pipes, devices and sockets, which are neither read nor written.
inline constexpr std::string_view notRegularFileText = "Not a regular file";

// The system's description of an `errno` value.
std::string systemErrorText(int error);

} // namespace Documents
