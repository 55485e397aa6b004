#include "cli.h"

#include "viewers/csvdialect.h"
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
    std::optional<Documents::DocKind> kind;
    if (!Cli::parseArguments(context, "csv", {"--json"}, arguments, 1, {"--delimiter", "--kind"})
        || !Cli::kindOption(context, "csv", arguments, arguments.operands, kind))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "csv", "expected exactly one FILE");
    auto choice = Viewers::CSVDelimiterChoice::Auto;
    if (arguments.has("--delimiter")) {
        const auto named = Viewers::delimiterChoiceFromName(arguments.value("--delimiter"));
        if (!named)
            return Cli::usageError(context, "csv",
                                   "unknown delimiter " + arguments.value("--delimiter")
                                       + " (expected auto, comma, semicolon, tab or pipe)");
        choice = *named;
    }
    const std::string &path = arguments.operands.front();
    auto loaded = Cli::load(path, kind);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Failure;
    }
    // As the window reads it: the chosen delimiter, else a tab for .tsv, else the detected one.
    auto &document = std::get<Documents::LoadResult>(loaded).text;
    // Standard input has no name: "--kind tsv" stands for the extension that asks for tabs.
    const std::string named = path == Cli::standardInput ? "-." + arguments.value("--kind") : path;
    const char16_t delimiter =
        Viewers::resolveDelimiter(choice, named, std::u16string_view(document.data(), document.size()));
    const Viewers::CSVTable table =
        Viewers::CSVParser::parse(std::move(document), std::u16string_view(&delimiter, 1));
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
    line += "],\"delimiter\":" + Cli::jsonString(text(std::u16string_view(&delimiter, 1))) + ",\"raggedRows\":[";
    const std::vector<std::size_t> ragged = table.raggedRows();
    for (std::size_t i = 0; i < ragged.size(); ++i)
        line += (i ? "," : "") + std::to_string(ragged[i]);
    context.out << line << "]}\n";
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(csv, "csv", "csv [--json] [--delimiter auto|comma|semicolon|tab|pipe] [--kind KIND] FILE",
                    "The CSV table of FILE as the table view shows it: headers, rows, column widths, the "
                    "delimiter (auto: a tab for .tsv, else detected from the first lines) and the ragged rows "
                    "(data rows whose cell count differs from the header's, from 0).",
                    runCsv);
