#include "viewmode.h"

namespace App {

namespace {
constexpr std::array<ViewMode, 2> csvModes = {ViewMode::Text, ViewMode::Table};
constexpr std::array<ViewMode, 3> markdownModes = {ViewMode::Text, ViewMode::Preview, ViewMode::Split};
constexpr std::array<ViewMode, 2> jsonModes = {ViewMode::Text, ViewMode::Tree};
constexpr std::array<ViewMode, 1> textOnly = {ViewMode::Text};
} // namespace

std::string_view rawValue(ViewMode mode)
{
    switch (mode) {
    case ViewMode::Text: return "Text";
    case ViewMode::Table: return "Table";
    case ViewMode::Preview: return "Preview";
    case ViewMode::Tree: return "Tree";
    case ViewMode::Split: return "Split";
    }
    return "Text";
}

ViewMode initialMode(Documents::DocKind kind)
{
    switch (kind) {
    case Documents::DocKind::Markdown: return ViewMode::Preview;
    case Documents::DocKind::Csv: return ViewMode::Table;
    default: return ViewMode::Text;
    }
}

std::span<const ViewMode> offeredModes(Documents::DocKind kind)
{
    switch (kind) {
    case Documents::DocKind::Csv: return csvModes;
    case Documents::DocKind::Markdown: return markdownModes;
    case Documents::DocKind::Json: return jsonModes;
    default: return textOnly;
    }
}

bool isAlternateFullView(std::optional<Documents::DocKind> kind, ViewMode mode)
{
    if (!kind)
        return false;
    return (*kind == Documents::DocKind::Markdown && mode == ViewMode::Preview)
           || (*kind == Documents::DocKind::Csv && mode == ViewMode::Table)
           || (*kind == Documents::DocKind::Json && mode == ViewMode::Tree);
}

} // namespace App
