#pragma once

#include "documents/fileio.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Documents::EditJournal {

// The recovery journal of one document with unsaved edits: what the text was at some moment
// (the base text) and every edit since, so that a kill -9 loses at most the edits not yet
// appended. One file:
//
//   header   "CORVJRNL", u32 format version, u32 length, the fields, u32 CRC-32 of the fields
//   text     u64 length in UTF-16 units, the units (little-endian), u32 CRC-32 of them
//   records  each: u8 'R', u32 length, [i64 time ms, u64 position, u64 removed, u32 count,
//            count units], u32 CRC-32 of everything before it in the record
//
// All integers little-endian. The header and text are written at once under a temporary name
// and renamed into place, so they are whole or absent; records are appended, and the last one
// may be cut short by a kill: a record that is incomplete or fails its check ends the journal
// there, and what came before it counts.

inline constexpr std::uint32_t formatVersion = 1;
inline constexpr std::string_view magic = "CORVJRNL";

struct Header {
    // The document's file (for a scratch note, its file in the scratch folder).
    std::string path;
    bool scratch = false;
    // The file the edits sit on top of, as it was on disk; none when there was no file.
    std::optional<DiskVersion> base;
    // Encoding id (encodingId()), byte-order mark and line ending the document saves with.
    std::string encoding = "utf-8";
    bool bom = false;
    std::string lineEnding = "lf";
    // When the header and its text were written, in milliseconds since the epoch.
    std::int64_t writtenAtMs = 0;
    bool operator==(const Header &) const = default;
};

// One edit: [position, position + removed) of the text before it became `inserted`.
struct Record {
    std::int64_t timeMs = 0;
    std::uint64_t position = 0;
    std::uint64_t removed = 0;
    std::u16string inserted;
    bool operator==(const Record &) const = default;
};

// Bytes a record takes in the file.
std::size_t encodedSize(const Record &record);

// The header and text sections. `encodeTextStart` gives the header and the text's length; the
// text's units follow (appendUnits), then its check (encodeTextEnd with the running CRC).
std::string encodeHeader(const Header &header);
std::string encodeTextStart(std::uint64_t units);
void appendUnits(std::string &out, std::u16string_view units);
std::string encodeTextEnd(std::uint32_t textCrc);
// The whole of a journal holding `text` and `records`.
std::string encode(const Header &header, std::u16string_view text, const std::vector<Record> &records);
void appendRecord(std::string &out, const Record &record);

// CRC-32 (IEEE) of `bytes`, continuing from `crc` (0 to start).
std::uint32_t crc32(std::uint32_t crc, std::string_view bytes);

struct Decoded {
    Header header;
    std::u16string text;
    std::vector<Record> records;
    // Bytes at the end that did not form a whole, valid record (a write cut short).
    std::size_t ignoredTailBytes = 0;
};

// The journal in `bytes`, or why it cannot be read ("not a journal", "unknown format version",
// "damaged header", "damaged text"). A damaged record ends the records without an error.
std::variant<Decoded, std::string> decode(std::string_view bytes);

// Applies `records` in order to `text`; an edit outside the text it applies to is an error
// (the journal is damaged), which leaves `text` unspecified. Linear in the text's length plus
// the distance the edits move apart, so that a long typing session replays quickly.
std::optional<std::string> replay(std::u16string &text, const std::vector<Record> &records);

// The text the journal holds: its text with its records applied.
std::variant<std::u16string, std::string> finalText(const Decoded &decoded);

// When the last edit was made: the last record's time, else when the text was written.
std::int64_t lastEditMs(const Decoded &decoded);

// How many UTF-16 units differ between two texts: after their common start and end, the
// longer of the two middles.
std::size_t changedUnits(std::u16string_view before, std::u16string_view after);

} // namespace Documents::EditJournal
