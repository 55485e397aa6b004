#pragma once

// Following a growing file (a log written by another program): reads only the bytes added since
// the last look and decodes them exactly as a reload of the whole file would have, or says that
// only a reload can be trusted.

#include "documents/encoding.h"
#include "documents/fileio.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Documents {

// The identity, size and modification time of `path` (following symlinks); empty on any error.
struct FileStamp {
    FileIdentity identity;
    std::int64_t size = 0;
    FileTime mtime;
};
std::optional<FileStamp> stampFile(const std::string &path);

// How many bytes before the consumed end are compared on every read: an in-place rewrite of the
// file almost always changes them.
inline constexpr std::size_t followFingerprintSize = 64;
// Most bytes one `readAppended` call reads; the rest waits for the next call.
inline constexpr std::size_t followChunkSize = 8 * 1024 * 1024;

// What a follower knows about the file it follows. Plain data: it moves to a worker thread and
// back with each read.
struct FollowState {
    // Empty when the file was replaced while it was being loaded: the first read asks for a reload.
    std::optional<FileIdentity> identity;
    // Bytes of the file accounted for: shown as text, or held back in `pending`.
    std::int64_t offset = 0;
    // The last bytes before `offset` (at most `followFingerprintSize`).
    std::string fingerprint;
    std::optional<FileTime> mtime;
    Encoding encoding = Encoding::Utf8;
    bool hadBOM = false;
    // The end of the bytes read so far that cannot be decoded yet: an incomplete UTF-8 sequence,
    // an odd byte or a high surrogate of UTF-16, a partial UTF-32 unit.
    std::string pending;
    // The last character delivered was a CR, already shown as LF: an LF right after it is the
    // second half of a CR LF pair and is dropped, as a load would have done. Delivering the CR at
    // once keeps a CR-only log's last line break visible.
    bool afterCR = false;
    // False while more bytes could change the encoding a load would choose (an empty file, a
    // file still shorter than the encoding detection's sample, a file that is not UTF-8 only
    // because its last character is cut off): every growth then asks for a reload.
    bool encodingSettled = false;
};

// The state right after a load that read `bytes` and decoded them as `encoding` (with `hadBOM`).
// `before` and `after` are the file's stamps taken just before opening it and just after reading
// it: when their identities differ the file was replaced midway and the state has no identity.
// `chosenByUser`: the encoding was not detected but picked by the user (reopen with an encoding);
// detection cannot overrule it, so only a file too short to be past any mark is unsettled.
FollowState followStateAfterLoad(std::string_view bytes, Encoding encoding, bool hadBOM,
                                 const std::optional<FileStamp> &before, const std::optional<FileStamp> &after,
                                 bool chosenByUser = false);

enum class FollowReloadReason {
    Missing,          // the path names no file (deleted, or renamed away and not yet recreated)
    Unreadable,       // the file exists but cannot be opened or read, or is no regular file
    Replaced,         // another inode or device: replaced by rename, or recreated
    Truncated,        // shorter than the bytes already shown
    Rewritten,        // the bytes just before the known end changed
    UndecodableBytes, // the new bytes are invalid in the document's encoding: a load would pick another
    EncodingUnsettled // the file grew while its encoding could still change (see `encodingSettled`)
};

// For diagnostics and tests: "missing", "unreadable", "replaced", …
std::string_view reasonName(FollowReloadReason reason);

// Nothing new to show. The state may still have advanced over bytes that are held back.
struct FollowUnchanged {};
// New text to put at the end of the document: LF-only, never a byte-order mark.
struct FollowAppended {
    std::u16string text;
    // More bytes were there than one call reads: call again at once.
    bool more = false;
};
struct FollowReload {
    FollowReloadReason reason;
};
using FollowResult = std::variant<FollowUnchanged, FollowAppended, FollowReload>;

// Looks at the file once and advances `state` over what it appended. When nothing changed
// this costs one stat. `state` is left as it was when a reload is asked for.
FollowResult readAppended(const std::string &path, FollowState &state, std::size_t maxBytes = followChunkSize);

} // namespace Documents
