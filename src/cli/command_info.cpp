#include "cli.h"

#include "documents/encoding.h"

#include <ostream>

namespace {

int runInfo(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> kind;
    if (!Cli::parseArguments(context, "info", {"--json"}, arguments, 1, {"--kind"})
        || !Cli::kindOption(context, "info", arguments, arguments.operands, kind))
        return Cli::Usage;
    const bool json = arguments.has("--json");
    int status = Cli::Success;
    for (const auto &path : arguments.operands) {
        auto loaded = Cli::load(path, kind);
        if (auto *error = std::get_if<Base::Message>(&loaded)) {
            status = Cli::Failure;
            if (json)
                context.out << Cli::JsonObject().add("path", path).add("error", Cli::messageText(*error)).str() << "\n";
            else
                context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
            continue;
        }
        const auto &result = std::get<Documents::LoadResult>(loaded);
        const auto &doc = result.doc;
        const std::int64_t bytes = Cli::loadedSize(path);
        const std::int64_t lines = Cli::lineCount(result.text.view());
        if (json) {
            context.out << Cli::JsonObject()
                               .add("path", path)
                               .add("kind", doc.kind.label())
                               .add("encoding", Documents::displayName(doc.encoding))
                               .add("bom", doc.hadBOM)
                               .add("lineEnding", Documents::label(doc.lineEnding))
                               .add("lines", lines)
                               .add("bytes", bytes)
                               .str()
                        << "\n";
        } else {
            context.out << Cli::printable(path) << ": " << doc.kind.label() << ", " << Documents::displayName(doc.encoding)
                        << (doc.hadBOM ? " with BOM" : "") << ", " << Documents::label(doc.lineEnding) << ", "
                        << lines << (lines == 1 ? " line, " : " lines, ") << bytes
                        << (bytes == 1 ? " byte" : " bytes") << "\n";
        }
    }
    return status;
}

} // namespace

CORVANE_CLI_COMMAND(info, "info", "info [--json] [--kind KIND] FILE…",
                    "Kind, encoding, byte-order mark, line ending, lines and bytes of each file.", runInfo);
