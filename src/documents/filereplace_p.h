#pragma once

// Replacing a file by renaming a fully written temporary over it.

#include "posixfile_p.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <sys/stat.h>

namespace Documents::Internal {

// Temporaries beside `target` are named ".<stem>.corvane-<pid>-<start time>-<counter>", so that
// a later save can tell a dead process's leftover from a save in progress. The stem is the
// target's name, shortened with a digest when the name is long, so that every name we make
// fits in NAME_MAX.
std::string temporaryPrefixFor(const std::string &target);
// Where an in-place rewrite of `target` keeps the old contents until it is done.
std::string journalPathFor(const std::string &target);

// An exclusive, new temporary file beside `target`, created with `mode` (the umask applies).
FileDescriptor createTemporaryBeside(const std::string &target, std::string &temporaryPath, mode_t mode);

// Removes temporaries of ours for `target` whose process no longer runs. Nothing else in the
// folder is touched.
void sweepStaleTemporaries(const std::string &target);

// Why the rename path gave way: it could not keep the owner, group or access list of the old file.
struct KeepInPlace {};

// Writes `bytes` to a temporary, gives it the old file's owner, group, mode and extended
// attributes (access lists included), syncs it and renames it over `target`. `existing` is
// the old file's `stat`, or null for a new file. KeepInPlace when the old file's owner, group
// or access list cannot be given to the new one; the system's error text on failure. Either
// way nothing is left behind and the old file is unchanged.
std::variant<std::monostate, KeepInPlace, std::string> replaceByRename(const std::string &target, std::string_view bytes,
                                                                       const struct stat *existing);

} // namespace Documents::Internal
