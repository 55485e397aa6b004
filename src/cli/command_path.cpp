#include "cli.h"

#include "formatting/jsonpath.h"

#include <charconv>
#include <ostream>

namespace {

// "LINE:COL", both 1-based decimal numbers.
bool parsePosition(const std::string &text, std::int64_t &line, std::int64_t &column)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const char *begin = text.data();
    const char *end = begin + text.size();
    const auto first = std::from_chars(begin, begin + colon, line);
    const auto second = std::from_chars(begin + colon + 1, end, column);
    return first.ec == std::errc() && first.ptr == begin + colon && second.ec == std::errc() && second.ptr == end
           && line >= 1 && column >= 1;
}

int runPath(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> kind;
    if (!Cli::parseArguments(context, "path", {"--json"}, arguments, 1, {"--kind"}))
        return Cli::Usage;
    if (arguments.operands.size() != 2)
        return Cli::usageError(context, "path", "expected FILE and LINE:COL");
    const std::string &path = arguments.operands[0];
    if (!Cli::kindOption(context, "path", arguments, {path}, kind))
        return Cli::Usage;
    std::int64_t line = 0;
    std::int64_t column = 0;
    if (!parsePosition(arguments.operands[1], line, column))
        return Cli::usageError(context, "path", "position must be LINE:COL, both from 1");

    auto loaded = Cli::load(path, kind);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Usage;
    }
    const auto &document = std::get<Documents::LoadResult>(loaded);
    const bool ndjson = document.doc.kind == Documents::DocKind::Ndjson;
    if (document.doc.kind != Documents::DocKind::Json && !ndjson) {
        context.err << Cli::printable(path) << ": not a JSON or NDJSON document\n";
        return Cli::Failure;
    }
    const std::u16string_view text = document.text.view();
    const auto offset = Formatting::caretOffset(text, line, column);
    if (!offset) {
        context.err << Cli::printable(path) << ":" << line << ": no such line (the file has " << Cli::lineCount(text) << ")\n";
        return Cli::Failure;
    }
    const auto jsonPath = ndjson ? Formatting::ndjsonPathAt(text, *offset) : Formatting::jsonPathAt(text, *offset);
    if (arguments.has("--json")) {
        Cli::JsonObject object;
        object.add("path", path);
        if (jsonPath)
            object.add("jsonPath", *jsonPath);
        else
            object.addRaw("jsonPath", "null");
        context.out << object.str() << "\n";
    } else if (jsonPath) {
        context.out << *jsonPath << "\n";
    } else {
        context.err << Cli::printable(path) << ":" << line << ":" << column << ": no JSON value here\n";
    }
    return jsonPath ? Cli::Success : Cli::Failure;
}

} // namespace

CORVANE_CLI_COMMAND(path, "path", "path [--json] [--kind KIND] FILE LINE:COL",
                    "The JSONPath of the value at LINE:COL (1-based, columns counted as the editor's status bar "
                    "counts them) in a JSON or NDJSON file, such as $.items[3].name; NDJSON paths start with the "
                    "record's 0-based line index, $[4]. Exit status 1 when no value is there.",
                    runPath);
