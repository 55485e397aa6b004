#pragma once

// The load path's read: readWholeFile plus what only the loader needs.

#include "documents/fileio.h"

#include "base/largebuffer.h"
#include "base/message.h"

#include <optional>
#include <string>

namespace Documents::Internal {

struct ReadFailure {
    Base::Message message;
    // `message` is `fileTooLargeMessage`: it is shown as it stands, like the size check's.
    bool tooLarge = false;
};

// readWholeFile that also gives the version of the file it opened, taken from the open file
// before its first byte is read (empty when the name cannot be resolved).
std::optional<ReadFailure> readBounded(const std::string &path, Base::ByteBuffer &bytes,
                                       std::optional<DiskVersion> &version);

} // namespace Documents::Internal
