#include "cli.h"

#include "viewers/mdblock.h"

#include "base/utf.h"

#include <ostream>

namespace {

std::string runsJson(const Viewers::StyledText &runs)
{
    std::string out = "[";
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const auto &run = runs[i];
        Cli::JsonObject object;
        object.add("text", Base::Utf::toUtf8(run.text))
            .add("strong", run.strong)
            .add("emphasis", run.emphasis)
            .add("code", run.code)
            .add("strikethrough", run.strikethrough);
        if (run.link)
            object.add("link", Base::Utf::toUtf8(*run.link));
        out += (i ? "," : "") + object.str();
    }
    return out + "]";
}

int runMd(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    if (!Cli::parseArguments(context, "md", {"--json"}, arguments))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "md", "expected exactly one FILE");
    const std::string &path = arguments.operands.front();
    auto loaded = Cli::load(path);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << path << ": " << Cli::messageText(*error) << "\n";
        return Cli::Failure;
    }
    const auto blocks = Viewers::MDBlock::parse(std::get<Documents::LoadResult>(loaded).text.view());
    const bool json = arguments.has("--json");
    if (json)
        context.out << "{\"blocks\":[";
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto &block = blocks[i];
        if (json) {
            Cli::JsonObject object;
            object.add("id", block.id).add("kind", Viewers::kindName(block.kind));
            if (block.kind == Viewers::MDBlock::Kind::Heading)
                object.add("level", block.level);
            object.add("content", Base::Utf::toUtf8(block.content));
            if (block.attributed)
                object.addRaw("runs", runsJson(*block.attributed));
            context.out << (i ? "," : "") << object.str();
        } else {
            context.out << block.id << " " << Viewers::kindName(block.kind);
            if (block.kind == Viewers::MDBlock::Kind::Heading)
                context.out << block.level;
            context.out << " " << Cli::jsonString(Base::Utf::toUtf8(block.content)) << "\n";
        }
    }
    if (json)
        context.out << "]}\n";
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(md, "md", "md [--json] FILE",
                    "The Markdown preview's blocks of FILE with their inline styling.", runMd);
