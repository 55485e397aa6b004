#pragma once

#include "documents/dockind.h"
#include "documents/encoding.h"
#include "documents/fileio.h"
#include "documents/followtail.h"
#include "documents/lineending.h"

#include "base/largebuffer.h"
#include "base/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Documents {

// The record of the file open in a window.
struct LoadedDoc {
    std::string path;
    DocKind kind = DocKind::Txt;
    Encoding encoding = Encoding::Utf8;
    LineEnding lineEnding = LineEnding::Lf;
    bool hadBOM = false;
    std::optional<FileTime> mtime;
    // The version of the file the text was read from; `changedOnDisk` against `diskVersion(path)`
    // tells whether another program changed it since.
    std::optional<DiskVersion> version;
    bool isScratch = false;
};

// True when `path` lies in a scratch folder: it contains "/Corvane/scratch/".
bool isScratchPath(std::string_view path);

// ---- Loading ------------------------------------------------------------------------------
// Loading runs in two steps: `checkBeforeLoad` on the calling thread (cheap: one stat), then
// `decodeForLoad` on a background thread.

// Attributes of a file about to be loaded, or the message that refuses it:
// "Cannot read file attributes: %@" or "File too large (%lld MB). Limit is 50 MB." (larger than
// `maximumFileSize`).
std::variant<FileAttributes, Base::Message> checkBeforeLoad(const std::string &path);

// A loaded file's text (LF-only) and what was found about it.
struct LoadedText {
    Base::U16Buffer text;
    Encoding encoding = Encoding::Utf8;
    LineEnding lineEnding = LineEnding::Lf;
    bool hadBOM = false;
    // Set when an interrupted save of the file was settled before reading it (see
    // recoverInterruptedSave): what to tell the user, and the file's modification time after.
    std::optional<Base::Message> recoveryNote;
    std::optional<FileTime> recoveredMtime;
    // The version of exactly what was read: taken from the open file before its first byte was
    // read (and after an interrupted save was settled), so that a write during the read still
    // shows as a change at the next look. Empty when the name could not be resolved.
    std::optional<DiskVersion> version;
    // Exactly where the read stopped (bytes read, which inode, the last bytes), so that a
    // follower of a growing file picks up with the first byte this load did not see.
    FollowState follow;
};

// Settles an interrupted save of the file, then reads, decodes and normalises it; "Cannot
// decode file: %@" on failure, except for a file that has grown past `maximumFileSize` since
// `checkBeforeLoad`, which fails with the same "File too large" message as that check.
std::variant<LoadedText, Base::Message> decodeForLoad(const std::string &path);
// The same in `encoding` only, which the user chose (see `decodeAs`); a failure gives the read
// error or "The file is not valid %@" as it stands.
std::variant<LoadedText, Base::Message> decodeForLoad(const std::string &path, Encoding encoding);

// Both steps in one call, for headless tools: the text plus its `LoadedDoc`.
struct LoadResult {
    LoadedDoc doc;
    Base::U16Buffer text;
    std::optional<Base::Message> recoveryNote;
};
std::variant<LoadResult, Base::Message> loadDocument(const std::string &path);
// The same for bytes that come from no file (standard input), of a kind the caller names since
// there is no extension: `maximumFileSize` bytes at most, the same detection and normalisation,
// "Cannot decode file: %@" on failure. `name` is recorded as the path.
std::variant<LoadResult, Base::Message> loadBytes(std::string_view bytes, std::string name, DocKind kind);

// ---- Saving -------------------------------------------------------------------------------

// Who asked for a save: the message of a failure says which.
enum class SaveOrigin {
    AutoSave,    // "Auto-save failed: %@"
    UserCommand, // "Save failed: %@"
};

// Encodes LF-only `text` with the document's line ending, encoding and mark, strictly, and
// writes it atomically. On failure returns the origin's message holding either "Text cannot
// be encoded as %@" or the system's error text; the file on disk is then unchanged.
std::optional<Base::Message> saveText(const std::string &path, std::u16string_view text, Encoding encoding,
                                      LineEnding lineEnding, bool includeBOM,
                                      SaveOrigin origin = SaveOrigin::AutoSave);

} // namespace Documents
