#pragma once

#include "documents/dockind.h"

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace App {

// What the content area of a window shows.
enum class ViewMode { Text, Table, Preview, Tree, Split };

inline constexpr std::array<ViewMode, 5> allViewModes = {ViewMode::Text, ViewMode::Table, ViewMode::Preview,
                                                         ViewMode::Tree, ViewMode::Split};

// "Text", "Table", "Preview", "Tree", "Split".
std::string_view rawValue(ViewMode mode);

// The view right after a load: Preview for Markdown, Table for CSV, Text otherwise.
ViewMode initialMode(Documents::DocKind kind);

// The modes a window offers for a kind, in picker order: CSV Text/Table, Markdown
// Text/Preview/Split, JSON Text/Tree; one mode (no picker) for the others.
std::span<const ViewMode> offeredModes(Documents::DocKind kind);

// True when a full alternate view covers the editor: a Markdown preview, a CSV table, a JSON
// tree. The editor stays alive underneath.
bool isAlternateFullView(std::optional<Documents::DocKind> kind, ViewMode mode);

} // namespace App
