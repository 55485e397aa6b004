#include "cli.h"

#include "viewers/csvparser.h"

#include "base/utf.h"

#include <charconv>
#include <ostream>

namespace {

std::string number(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return std::string(buffer, result.ptr);
}

int runCsv(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    if (!Cli::parseArguments(context, "csv", {"--json"}, arguments))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "csv", "expected exactly one FILE");
    const std::string &path = arguments.operands.front();
    auto loaded = Cli::load(path);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << path << ": " << Cli::messageText(*error) << "\n";
        return Cli::Failure;
    }
    // The window always parses with a comma.
    const Viewers::CSVTable table =
        Viewers::CSVParser::parse(std::move(std::get<Documents::LoadResult>(loaded).text), u",");
    const std::vector<double> widths = Viewers::columnWidths(table);
    std::u16string scratch;
    auto text = [&](std::u16string_view cell) { return Base::Utf::toUtf8(cell); };

    if (!arguments.has("--json")) {
        context.out << table.headerCount() << " headers, " << table.rowCount() << " rows, " << table.columnCount()
                    << " columns\n";
        for (std::size_t i = 0; i < table.headerCount(); ++i)
            context.out << (i ? "\t" : "") << text(table.headerView(i, scratch));
        context.out << "\n";
        return Cli::Success;
    }

    std::string line = "{\"headers\":[";
    for (std::size_t i = 0; i < table.headerCount(); ++i)
        line += (i ? "," : "") + Cli::jsonString(text(table.headerView(i, scratch)));
    line += "],\"rows\":[";
    context.out << line;
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        line = r ? ",[" : "[";
        for (std::size_t c = 0; c < table.cellCount(r); ++c)
            line += (c ? "," : "") + Cli::jsonString(text(table.cellView(r, c, scratch)));
        line += "]";
        context.out << line;
    }
    line = "],\"columnCount\":" + std::to_string(table.columnCount()) + ",\"columnWidths\":[";
    for (std::size_t i = 0; i < widths.size(); ++i)
        line += (i ? "," : "") + number(widths[i]);
    context.out << line << "]}\n";
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(csv, "csv", "csv [--json] FILE",
                    "The CSV table of FILE as the table view shows it: headers, rows, column widths.", runCsv);
