#pragma once

#include "viewers/csvparser.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace Viewers {

enum class CSVSortOrder : std::uint8_t { Ascending, Descending };

// The value of a cell that is a number as a whole: optional spaces or tabs around it, an
// optional sign, digits with an optional decimal point (".5" and "5." count), and an optional
// exponent. Nothing else (no thousands separators, hex, "inf" or "nan"). Exponents beyond
// the range of a double give ±infinity or ±0.
std::optional<double> csvNumber(std::u16string_view cell);

// A view of the data rows sorted by one column, as row indices into `table`; the table and its
// text are never changed. Ascending puts numbers first (by value), then text (case-insensitive
// for ASCII letters, then by exact text), then empty cells (no text, only spaces, or past the
// row's end). Descending reverses numbers and text, text now first, and keeps empty cells last.
// Equal cells keep document order in both directions. A column at or past columnCount() gives
// document order.
std::vector<std::uint32_t> sortedRowOrder(const CSVTable &table, std::size_t column, CSVSortOrder order);

} // namespace Viewers
