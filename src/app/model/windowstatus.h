#pragma once

#include "formatting/validation.h"

#include "documents/dockind.h"

#include "base/message.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace App {

// The window title: the file's name, or "Corvane" without a document.
std::string windowTitle(std::optional<std::string_view> documentPath);

// The validation item of the status bar for one result.
struct ValidationStatus {
    enum class Symbol { None, Valid, Invalid };
    Symbol symbol = Symbol::None;
    Base::Message text;    // "Valid", "Invalid" or "Invalid · %@"
    Base::Message tooltip; // "JSON is valid", or the fault's position and message
    // Where a click on the item goes: the fault's line, when it has one.
    std::optional<std::int64_t> clickLine;
};
ValidationStatus validationStatus(const Formatting::Validation &validation);

// Whether the status bar shows a validation item for a kind: JSON, XML and NDJSON.
bool showsValidation(Documents::DocKind kind);

// Whether the "Format" action is offered: JSON or NDJSON that is valid and not yet formatted.
bool formatIsOffered(std::optional<Documents::DocKind> kind, const Formatting::Validation &validation,
                     bool isFormatted);

} // namespace App
