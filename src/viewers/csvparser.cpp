#include "csvparser.h"

#include "base/text.h"

#include "viewers/tableid_p.h"


#include <algorithm>
#include <limits>

namespace Viewers {

namespace Internal {

struct TableStorage {
    Base::U16Buffer text;
    LargeCells cells;
    // rowEnds[r] is one past the last cell of storage row r; row r starts at rowEnds[r - 1].
    Base::LargeBuffer<std::uint32_t> rowEnds;
    std::size_t headerRow = 0; // Storage row of the header; data rows follow it.
    std::size_t rowCount = 0;  // Data rows.
    std::size_t columnCount = 0;

    std::size_t rowBegin(std::size_t storageRow) const { return storageRow == 0 ? 0 : rowEnds[storageRow - 1]; }
};

namespace {

constexpr std::uint32_t maximumLength = std::numeric_limits<std::int32_t>::max();

// The quoting rules replayed over one field's span: a quote outside quotes opens them, a doubled
// quote inside is one quote, any other quote inside closes them.
void unescapeInto(std::u16string_view span, std::u16string &out)
{
    out.clear();
    out.reserve(span.size());
    bool inQuotes = false;
    for (std::size_t i = 0; i < span.size(); ++i) {
        const char16_t c = span[i];
        if (c != u'"') {
            out.push_back(c);
        } else if (!inQuotes) {
            inQuotes = true;
        } else if (i + 1 < span.size() && span[i + 1] == u'"') {
            out.push_back(u'"');
            ++i;
        } else {
            inQuotes = false;
        }
    }
}

// The delimiter as one or two UTF-16 units (an astral scalar is a surrogate pair).
struct Delimiter {
    char16_t first = 0;
    char16_t second = 0;
    std::size_t length = 0; // 0: no delimiter.

    explicit Delimiter(std::u16string_view text)
    {
        if (text.empty())
            return;
        first = text[0];
        length = 1;
        if (text[0] >= 0xD800 && text[0] <= 0xDBFF && text.size() > 1 && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            second = text[1];
            length = 2;
        }
    }
    bool matches(const char16_t *p, std::size_t i, std::size_t n) const
    {
        if (length == 0 || p[i] != first)
            return false;
        return length == 1 || (i + 1 < n && p[i + 1] == second);
    }
};

void pushCell(TableStorage &storage, std::size_t start, std::size_t end, bool quoted)
{
    storage.cells.push_back(CellSpan{std::uint32_t(start), std::uint32_t((end - start) << 1 | (quoted ? 1 : 0))});
}

// One pass over the units; no look-back. Cells and row ends are appended to `storage`.
void scan(TableStorage &storage, std::u16string_view delimiterText)
{
    const char16_t *p = storage.text.data();
    const std::size_t n = std::min<std::size_t>(storage.text.size(), maximumLength);
    const Delimiter delimiter(delimiterText);
    // Units that can never be special outside quotes skip the checks below. The delimiter is
    // tested separately, so anything above the quote that is not its first unit is ordinary.
    const char16_t delimiterUnit = delimiter.length ? delimiter.first : char16_t(0);

    storage.cells.reserve(std::max<std::size_t>(64, n / 8));
    storage.rowEnds.reserve(std::max<std::size_t>(16, n / 64));

    std::size_t i = (n > 0 && p[0] == 0xFEFF) ? 1 : 0;
    std::size_t fieldStart = i;
    std::size_t rowStartCells = 0;
    bool quoted = false;
    bool inQuotes = false;

    auto endRow = [&](std::size_t end) {
        pushCell(storage, fieldStart, end, quoted);
        quoted = false;
        storage.rowEnds.push_back(std::uint32_t(storage.cells.size()));
        rowStartCells = storage.cells.size();
    };

    while (i < n) {
        if (inQuotes) {
            // Inside quotes only a quote matters: a doubled one stays inside, any other closes,
            // and whatever follows it is then read outside quotes with the same effect.
            const char16_t *quote = std::char_traits<char16_t>::find(p + i, n - i, u'"');
            if (!quote) {
                i = n;
                break;
            }
            i = std::size_t(quote - p);
            if (i + 1 < n && p[i + 1] == u'"') {
                i += 2;
            } else {
                inQuotes = false;
                ++i;
            }
            continue;
        }
        const char16_t c = p[i];
        if (c > u'"' && c != delimiterUnit) {
            ++i;
            continue;
        }
        if (c == u'"') {
            inQuotes = true;
            quoted = true;
            ++i;
        } else if (c == u'\r') {
            endRow(i);
            i += (i + 1 < n && p[i + 1] == u'\n') ? 2 : 1;
            fieldStart = i;
        } else if (c == u'\n') {
            endRow(i);
            ++i;
            fieldStart = i;
        } else if (delimiter.matches(p, i, n)) {
            pushCell(storage, fieldStart, i, quoted);
            quoted = false;
            i += delimiter.length;
            fieldStart = i;
        } else {
            ++i;
        }
    }

    // A pending field ends a row when it has text; otherwise the row is kept only when it
    // already has cells, so a final line break adds nothing and a final delimiter adds an
    // empty last cell.
    bool fieldHasText = n > fieldStart;
    if (fieldHasText && quoted) {
        std::u16string scratch;
        unescapeInto(std::u16string_view(p + fieldStart, n - fieldStart), scratch);
        fieldHasText = !scratch.empty();
    }
    if (fieldHasText || storage.cells.size() > rowStartCells)
        endRow(n);
}

} // namespace
} // namespace Internal

using Internal::CellSpan;
using Internal::TableStorage;

// ---- CSVTable -------------------------------------------------------------------------------

CSVTable::CSVTable() = default;

std::u16string_view CSVTable::spanText(std::size_t cellIndex, std::u16string &scratch) const
{
    const CellSpan span = m_storage->cells[cellIndex];
    const std::u16string_view raw(m_storage->text.data() + span.start, span.lengthAndFlag >> 1);
    if (!(span.lengthAndFlag & 1))
        return raw;
    Internal::unescapeInto(raw, scratch);
    return scratch;
}

std::size_t CSVTable::headerCount() const
{
    if (!m_storage || m_storage->rowEnds.empty())
        return 0;
    const auto row = m_storage->headerRow;
    return m_storage->rowEnds[row] - m_storage->rowBegin(row);
}

std::u16string_view CSVTable::headerView(std::size_t column, std::u16string &scratch) const
{
    if (column >= headerCount())
        return {};
    return spanText(m_storage->rowBegin(m_storage->headerRow) + column, scratch);
}

std::u16string CSVTable::header(std::size_t column) const
{
    std::u16string scratch;
    return std::u16string(headerView(column, scratch));
}

std::vector<std::u16string> CSVTable::headers() const
{
    std::vector<std::u16string> result;
    const std::size_t count = headerCount();
    result.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        result.push_back(header(i));
    return result;
}

std::size_t CSVTable::rowCount() const { return m_storage ? m_storage->rowCount : 0; }

std::size_t CSVTable::cellCount(std::size_t row) const
{
    if (row >= rowCount())
        return 0;
    const std::size_t storageRow = m_storage->headerRow + 1 + row;
    return m_storage->rowEnds[storageRow] - m_storage->rowBegin(storageRow);
}

std::u16string_view CSVTable::cellView(std::size_t row, std::size_t column, std::u16string &scratch) const
{
    if (column >= cellCount(row))
        return {};
    return spanText(m_storage->rowBegin(m_storage->headerRow + 1 + row) + column, scratch);
}

std::u16string CSVTable::cell(std::size_t row, std::size_t column) const
{
    std::u16string scratch;
    return std::u16string(cellView(row, column, scratch));
}

CSVRow CSVTable::row(std::size_t row) const
{
    CSVRow result;
    result.id = row;
    const std::size_t count = cellCount(row);
    result.cells.reserve(count);
    for (std::size_t column = 0; column < count; ++column)
        result.cells.push_back(cell(row, column));
    return result;
}

std::size_t CSVTable::columnCount() const { return m_storage ? m_storage->columnCount : 0; }

std::vector<std::size_t> CSVTable::raggedRows() const
{
    std::vector<std::size_t> rows;
    const std::size_t header = headerCount();
    for (std::size_t row = 0; row < rowCount(); ++row) {
        if (cellCount(row) != header)
            rows.push_back(row);
    }
    return rows;
}

std::size_t CSVTable::raggedRowCount() const
{
    std::size_t count = 0;
    const std::size_t header = headerCount();
    for (std::size_t row = 0; row < rowCount(); ++row)
        count += cellCount(row) != header ? 1 : 0;
    return count;
}

bool operator==(const CSVTable &a, const CSVTable &b)
{
    if (a.m_id != b.m_id)
        return false;
    if (a.m_storage == b.m_storage)
        return true;
    if (a.headers() != b.headers() || a.rowCount() != b.rowCount())
        return false;
    for (std::size_t row = 0; row < a.rowCount(); ++row) {
        if (a.row(row) != b.row(row))
            return false;
    }
    return true;
}

// ---- CSVParser ------------------------------------------------------------------------------

CSVTable CSVParser::parse(std::u16string_view text, std::u16string_view delimiter)
{
    Base::U16Buffer copy;
    copy.append(text.data(), text.size());
    return parse(std::move(copy), delimiter);
}

CSVTable CSVParser::parse(Base::U16Buffer &&text, std::u16string_view delimiter)
{
    CSVTable table;
    table.m_id = Internal::randomTableId();
    auto storage = std::make_shared<TableStorage>();
    storage->text = std::move(text);
    Internal::scan(*storage, delimiter);

    // The header is the first row with a non-empty cell; all-empty rows before it are dropped.
    const std::size_t rows = storage->rowEnds.size();
    std::u16string scratch;
    std::size_t header = 0;
    for (; header < rows; ++header) {
        bool hasText = false;
        for (std::size_t c = storage->rowBegin(header); c < storage->rowEnds[header] && !hasText; ++c) {
            const CellSpan span = storage->cells[c];
            if ((span.lengthAndFlag >> 1) == 0)
                continue;
            if (!(span.lengthAndFlag & 1)) {
                hasText = true;
            } else {
                Internal::unescapeInto(
                    std::u16string_view(storage->text.data() + span.start, span.lengthAndFlag >> 1), scratch);
                hasText = !scratch.empty();
            }
        }
        if (hasText)
            break;
    }
    if (header == rows) {
        table.m_storage = std::make_shared<TableStorage>();
        return table;
    }
    storage->headerRow = header;
    storage->rowCount = rows - header - 1;
    std::size_t columns = 0;
    for (std::size_t r = header; r < rows; ++r)
        columns = std::max<std::size_t>(columns, storage->rowEnds[r] - storage->rowBegin(r));
    storage->columnCount = columns;
    table.m_storage = std::move(storage);
    return table;
}

std::vector<std::vector<std::u16string>> CSVParser::lineCells(std::u16string_view text, std::u16string_view delimiter)
{
    TableStorage storage;
    storage.text.append(text.data(), text.size());
    Internal::scan(storage, delimiter);
    std::vector<std::vector<std::u16string>> rows(storage.rowEnds.size());
    std::u16string scratch;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = storage.rowBegin(r); c < storage.rowEnds[r]; ++c) {
            const CellSpan span = storage.cells[c];
            const std::u16string_view raw(storage.text.data() + span.start, span.lengthAndFlag >> 1);
            if (span.lengthAndFlag & 1) {
                Internal::unescapeInto(raw, scratch);
                rows[r].emplace_back(scratch);
            } else {
                rows[r].emplace_back(raw);
            }
        }
    }
    return rows;
}

// ---- Widths ---------------------------------------------------------------------------------


std::vector<double> columnWidths(const CSVTable &table)
{
    // Beyond this many characters every column is at its widest, so longer cells need not be
    // counted to the end.
    const auto enough = std::size_t((maximumColumnWidth - columnPadding) / pointsPerCharacter) + 1;
    const std::size_t columns = table.columnCount();
    std::vector<std::size_t> counts(columns, 0);
    std::u16string scratch;
    for (std::size_t i = 0; i < std::min(columns, table.headerCount()); ++i)
        counts[i] = std::max(counts[i], graphemeCount(table.headerView(i, scratch), enough));
    const std::size_t sampled = std::min(table.rowCount(), widthSampleRows);
    for (std::size_t row = 0; row < sampled; ++row) {
        const std::size_t cells = std::min(columns, table.cellCount(row));
        for (std::size_t j = 0; j < cells; ++j)
            counts[j] = std::max(counts[j], graphemeCount(table.cellView(row, j, scratch), enough));
    }
    std::vector<double> widths(columns);
    for (std::size_t i = 0; i < columns; ++i)
        widths[i] = std::clamp(double(counts[i]) * pointsPerCharacter + columnPadding, minimumColumnWidth,
                               maximumColumnWidth);
    return widths;
}

std::vector<CSVCellMatch> findCells(const CSVTable &table, const TextMatcher &matcher,
                                    std::span<const std::uint32_t> order)
{
    std::vector<CSVCellMatch> found;
    if (matcher.isEmpty())
        return found;
    std::u16string scratch;
    for (std::size_t column = 0; column < table.headerCount(); ++column) {
        if (matcher.matches(table.headerView(column, scratch)))
            found.push_back({CSVCellMatch::headerRow, std::uint32_t(column)});
    }
    const bool sorted = !order.empty() && order.size() == table.rowCount();
    for (std::size_t position = 0; position < table.rowCount(); ++position) {
        const std::size_t row = sorted ? order[position] : position;
        const std::size_t cells = table.cellCount(row);
        for (std::size_t column = 0; column < cells; ++column) {
            if (matcher.matches(table.cellView(row, column, scratch)))
                found.push_back({std::uint32_t(row), std::uint32_t(column)});
        }
    }
    return found;
}

} // namespace Viewers
