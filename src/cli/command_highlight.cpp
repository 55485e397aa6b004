#include "cli.h"

#include "highlighting/syntaxdump.h"
#include "highlighting/syntaxhighlighter.h"

#include <ostream>
#include <vector>

namespace {

int runHighlight(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    if (!Cli::parseArguments(context, "highlight", {"--json"}, arguments, 1, {"--kind"}))
        return Cli::Usage;
    if (arguments.operands.size() > 1)
        return Cli::usageError(context, "highlight", "expected one FILE");
    const std::string &path = arguments.operands.front();
    // Checked before loading: a bad argument is a usage error whatever the file.
    std::optional<Documents::DocKind> chosen;
    if (!Cli::kindOption(context, "highlight", arguments, arguments.operands, chosen))
        return Cli::Usage;

    auto loaded = Cli::load(path, chosen);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Failure;
    }
    const auto &result = std::get<Documents::LoadResult>(loaded);
    const Documents::DocKind kind = result.doc.kind;

    const std::u16string_view text = result.text.view();
    std::vector<std::uint8_t> classes(text.size());
    Highlighting::SyntaxHighlighter::highlight(kind, text, classes);

    if (arguments.has("--json")) {
        std::string spans = "[";
        for (const Highlighting::SyntaxRun &run : Highlighting::syntaxRuns(classes)) {
            if (spans.size() > 1)
                spans += ',';
            spans += '[' + std::to_string(run.start) + ',' + std::to_string(run.length) + ','
                + Cli::jsonString(Highlighting::syntaxClassName(run.syntaxClass)) + ']';
        }
        spans += ']';
        context.out << Cli::JsonObject().add("kind", kind.label()).addRaw("spans", spans).str() << "\n";
    } else {
        context.out << Highlighting::markedText(text, classes);
    }
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(highlight, "highlight", "highlight [--json] [--kind KIND] FILE",
                    "The syntax colouring of a file: the text with each coloured run marked «class:…», "
                    "or with --json the runs as [start, length, class] in UTF-16 units.",
                    runHighlight);
