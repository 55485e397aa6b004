// CSV parsing: every cell is readable and agrees with lineCells; widths stay in range.
#include "fuzz_input_p.h"

#include "viewers/csvparser.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const Viewers::CSVTable table = Viewers::CSVParser::parse(text);
    const auto lines = Viewers::CSVParser::lineCells(text);
    std::size_t columns = table.headerCount();
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        const Viewers::CSVRow row = table.row(r);
        if (row.id != r || row.cells.size() != table.cellCount(r))
            std::abort();
        columns = std::max(columns, row.cells.size());
    }
    if (columns != table.columnCount() || table.rowCount() + (table.headerCount() ? 1 : 0) > lines.size())
        std::abort();
    // The data rows are the last rows of lineCells, in order.
    const std::size_t offset = lines.size() - table.rowCount();
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        if (table.row(r).cells != lines[offset + r])
            std::abort();
    }
    for (double width : Viewers::columnWidths(table)) {
        if (width < Viewers::minimumColumnWidth || width > Viewers::maximumColumnWidth)
            std::abort();
    }
    return 0;
}
