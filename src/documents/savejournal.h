#pragma once

#include "base/message.h"

#include <optional>
#include <string>

namespace Documents {

// A file that only an in-place rewrite can save (several hard links, or an owner the process
// cannot give to a new file) is rewritten under a journal: a complete copy of the old contents,
// with the size and digest of both old and new, beside the file. A crash at any instant of the
// rewrite leaves the journal behind, and the next load of the file finds it.
//
// Looks for the journal of an interrupted rewrite of `path` and settles it: when the file holds
// the new contents in full, the journal is dropped ("finished"); when it holds a mix, the old
// contents are put back ("restored"). Journals of a save still running in a live process are
// left alone. Returns the message that tells the user what happened, or nothing when there was
// nothing to do (no journal, or the file was never touched).
std::optional<Base::Message> recoverInterruptedSave(const std::string &path);

} // namespace Documents
