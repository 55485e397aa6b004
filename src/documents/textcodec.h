#pragma once

#include "documents/encoding.h"
#include "documents/lineending.h"

#include "base/largebuffer.h"
#include "base/message.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace Documents {

// Text decoded from a file's bytes, before line-break normalisation.
struct DecodedText {
    Base::U16Buffer text;
    Encoding encoding = Encoding::Utf8;
    bool hadBOM = false;
};

// The message every undecodable byte string gets.
Base::Message unknownEncodingMessage();

// Decides the encoding from the bytes alone and decodes them, strictly:
//  1. a byte-order mark whose encoding decodes the rest of the bytes;
//  2. UTF-8 over all the bytes;
//  3. if at least one byte in five of the first 4096 is NUL, UTF-16 in the byte order the NULs
//     point to (more NULs at odd offsets: LE first; more at even offsets: BE first), then the
//     other order;
//  4. Windows-1251, Windows-1252, ISO-8859-1, Mac OS Roman.
// The first decoder that accepts every byte wins. Fails with "Unknown encoding".
std::variant<DecodedText, Base::Message> decodeWithFallback(std::string_view bytes);

// Reads the whole file at `path` (see `readWholeFile`: at most `maximumFileSize` bytes) and
// decodes it as above. A read failure gives `readWholeFile`'s message.
std::variant<DecodedText, Base::Message> readTextWithFallback(const std::string &path);

// Decodes `bytes` in `encoding` only, strictly, for reopening a file in an encoding the user
// chose. A byte-order mark of that encoding is skipped and reported. UTF-16 of unspecified order
// takes its order from either mark and is reported as the order read (UTF-16 BE or LE with
// `hadBOM`; without a mark little-endian), so that writing the result back gives the same
// bytes. Fails with "The file is not valid %@" (the display name of `encoding`) when any byte
// sequence has no mapping.
std::variant<DecodedText, Base::Message> decodeAs(std::string_view bytes, Encoding encoding);

// Reads the whole file at `path` (as `readTextWithFallback` does) and decodes it as above.
std::variant<DecodedText, Base::Message> readTextAs(const std::string &path, Encoding encoding);

// The bytes to write for LF-only `text`: line breaks converted to `lineEnding`, UTF-16 of
// unspecified order as LE, the BOM first when `includeBOM` is set and the encoding has one.
// Strict: empty when a character cannot be represented.
std::optional<std::string> encodeForWriting(std::u16string_view text, Encoding encoding,
                                            LineEnding lineEnding, bool includeBOM);

// Whether every character of `text` has a representation in `encoding`; checked in pieces, so
// no encoded copy of a large text is made.
bool canEncode(std::u16string_view text, Encoding encoding);

// "Text cannot be encoded as %@" with the encoding's display name.
Base::Message cannotEncodeMessage(Encoding encoding);

// The document handed to the save-as and new-file panels.
struct TextDoc {
    std::u16string text;
    Encoding encoding = Encoding::Utf8;
    LineEnding lineEnding = LineEnding::Lf;
    bool includeBOM = false;

    // Never fails: text the encoding cannot represent is written as UTF-8 instead, with the
    // UTF-8 mark when a mark was asked for (the requested encoding's mark would corrupt it).
    std::string fileBytes() const;
    // UTF-8, LF, no mark; bytes that are not UTF-8 give an empty text.
    static TextDoc fromFileBytes(std::string_view bytes);
};

} // namespace Documents
