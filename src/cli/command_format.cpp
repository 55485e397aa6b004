#include "cli.h"

#include "formatting/jsonformatter.h"

#include "base/utf.h"

#include <ostream>
#include <string>

namespace {

void printFault(Cli::Context &context, const std::string &path, const Formatting::ValidationError &fault)
{
    context.err << Cli::printable(path);
    if (fault.line) {
        context.err << ":" << *fault.line;
        if (fault.column)
            context.err << ":" << *fault.column;
    }
    context.err << ": " << Cli::printable(fault.message) << "\n";
}

int runFormat(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> chosenKind;
    if (!Cli::parseArguments(context, "format", {"--in-place"}, arguments, 1, {"--kind"})
        || !Cli::kindOption(context, "format", arguments, arguments.operands, chosenKind))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "format", "expected exactly one FILE");
    const bool inPlace = arguments.has("--in-place");
    const std::string &path = arguments.operands.front();
    if (inPlace && path == Cli::standardInput)
        return Cli::usageError(context, "format", "--in-place needs a file to write back, not standard input (-)");

    auto loaded = Cli::load(path, chosenKind);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Usage; // 2: the file could not be read, as for check.
    }
    const auto &document = std::get<Documents::LoadResult>(loaded);
    const auto kind = document.doc.kind;
    const std::u16string_view text = document.text.view();
    if (kind != Documents::DocKind::Json && kind != Documents::DocKind::Ndjson) {
        context.err << Cli::printable(path) << ": only JSON and NDJSON documents are formatted (this is " << kind.label() << ")\n";
        return Cli::Failure;
    }

    // An invalid document is never rewritten: the message says why.
    const bool ndjson = kind == Documents::DocKind::Ndjson;
    const Formatting::Validation validation =
        ndjson ? Formatting::JSONFormatter::validateNDJSON(text) : Formatting::JSONFormatter::validate(text);
    if (const auto *fault = validation.error()) {
        printFault(context, path, *fault);
        return Cli::Failure;
    }

    Base::U16Buffer formatted;
    if (ndjson) {
        formatted = Formatting::JSONFormatter::prettyPrintNDJSON(text);
    } else if (validation.isEmpty()) {
        formatted.append(text.data(), text.size());
    } else {
        auto indented = Formatting::JSONFormatter::reindent(text);
        if (!indented) {
            context.err << Cli::printable(path) << ": the formatted text would be too large\n";
            return Cli::Failure;
        }
        formatted = std::move(*indented);
    }

    if (!inPlace) {
        std::string bytes = Base::Utf::toUtf8(formatted.view());
        if (!bytes.empty() && bytes.back() != '\n')
            bytes.push_back('\n');
        context.out << bytes;
        return Cli::Success;
    }
    if (formatted.view() == text) {
        context.out << Cli::printable(path) << ": already formatted\n";
        return Cli::Success;
    }
    const auto &doc = document.doc;
    if (auto error = Documents::saveText(path, formatted.view(), doc.encoding, doc.lineEnding, doc.hadBOM,
                                                Documents::SaveOrigin::UserCommand)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Failure;
    }
    context.out << Cli::printable(path) << ": formatted\n";
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(format, "format", "format [--in-place] [--kind KIND] FILE",
                    "Pretty-prints a JSON file (or normalises an NDJSON file) to standard output, or with "
                    "--in-place writes it back keeping its encoding, byte-order mark and line endings.",
                    runFormat);
