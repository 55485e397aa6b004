#pragma once

#include "formatting/validation.h"
#include "formatting/xmlvalidator.h"

#include "documents/dockind.h"
#include "documents/encoding.h"

#include <string_view>

namespace App {

// How a file's bytes became its text, for the XML check's encoding rules.
Formatting::XMLSource xmlSourceFor(Documents::Encoding encoding, bool hadBOM);

// The check the editor runs for a kind: JSON, NDJSON and XML; `empty` for the others.
Formatting::Validation checkDocument(Documents::DocKind kind, std::u16string_view text,
                                     const Formatting::XMLSource &source = {});

// Whether a valid JSON or NDJSON text equals its pretty-printed form; false above
// formattedComparisonLimit UTF-8 bytes and for every other kind.
bool isFormatted(Documents::DocKind kind, std::u16string_view text);

} // namespace App
