#include "cli.h"

#include <ostream>

namespace {

int runResave(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    if (!Cli::parseArguments(context, "resave", {}, arguments))
        return Cli::Usage;
    int status = Cli::Success;
    for (const auto &path : arguments.operands) {
        auto loaded = Cli::load(path);
        if (auto *error = std::get_if<Base::Message>(&loaded)) {
            context.err << path << ": " << Cli::messageText(*error) << "\n";
            status = Cli::Failure;
            continue;
        }
        const auto &result = std::get<Documents::LoadResult>(loaded);
        const auto &doc = result.doc;
        if (auto error = Documents::saveText(path, result.text.view(), doc.encoding, doc.lineEnding, doc.hadBOM,
                                                Documents::SaveOrigin::UserCommand)) {
            context.err << path << ": " << Cli::messageText(*error) << "\n";
            status = Cli::Failure;
        }
    }
    return status;
}

} // namespace

CORVANE_CLI_COMMAND(resave, "resave", "resave FILE…",
                    "Loads each file as the editor does and writes it back through the editor's save path.",
                    runResave);
