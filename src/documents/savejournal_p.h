#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/stat.h>

namespace Documents::Internal {

// Rewrites `target` in place under a journal (see recoverInterruptedSave). `existing` is the
// `stat` of `target`. On failure returns the system's error text; the old contents are then back
// in the file, or, should even that fail, kept in the journal, which the text names.
std::optional<std::string> rewriteInPlace(const std::string &target, std::string_view bytes,
                                          const struct stat &existing);

} // namespace Documents::Internal
