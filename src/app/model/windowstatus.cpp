#include "windowstatus.h"

#include <memory>

namespace App {

using Documents::DocKind;

std::string windowTitle(std::optional<std::string_view> documentPath)
{
    if (!documentPath)
        return "Corvane";
    const auto slash = documentPath->find_last_of('/');
    return std::string(slash == std::string_view::npos ? *documentPath : documentPath->substr(slash + 1));
}

ValidationStatus validationStatus(const Formatting::Validation &validation)
{
    ValidationStatus status;
    if (validation.isValid()) {
        status.symbol = ValidationStatus::Symbol::Valid;
        status.text = {"Valid", {}};
        status.tooltip = {"JSON is valid", {}};
    } else if (const auto *error = validation.error()) {
        status.symbol = ValidationStatus::Symbol::Invalid;
        status.text = error->line ? Base::Message{"Invalid · %@", {error->label()}} : Base::Message{"Invalid", {}};
        status.tooltip = {"%@: %@", {error->label(), error->message}};
        status.clickLine = error->line;
    }
    return status;
}

bool showsValidation(DocKind kind)
{
    return kind == DocKind::Json || kind == DocKind::Xml || kind == DocKind::Ndjson;
}

bool formatIsOffered(std::optional<DocKind> kind, const Formatting::Validation &validation, bool isFormatted)
{
    return kind && (*kind == DocKind::Json || *kind == DocKind::Ndjson) && validation.isValid() && !isFormatted;
}

} // namespace App
