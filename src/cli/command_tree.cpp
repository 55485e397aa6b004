#include "cli.h"

#include "viewers/jsontree.h"

#include "base/utf.h"

#include <ostream>

namespace {

int runTree(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> kind;
    if (!Cli::parseArguments(context, "tree", {"--json", "--expand-all"}, arguments, 1, {"--kind"})
        || !Cli::kindOption(context, "tree", arguments, arguments.operands, kind))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "tree", "expected exactly one FILE");
    const std::string &path = arguments.operands.front();
    auto loaded = Cli::load(path, kind);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Failure;
    }
    const bool json = arguments.has("--json");
    const auto result = Viewers::JSONTreeBuilder::build(std::get<Documents::LoadResult>(loaded).text.view());
    if (!result.isOk()) {
        const std::string message = Base::Utf::toUtf8(result.message());
        if (json)
            context.out << Cli::JsonObject().add("result", "invalid").add("message", message).str() << "\n";
        else
            context.out << "Invalid JSON: " << Cli::printable(message) << "\n";
        return Cli::Failure;
    }

    Viewers::ExpandedSet expanded;
    if (arguments.has("--expand-all")) {
        // Every container with children, found by walking the whole tree with paths.
        struct Item {
            Viewers::JSONNode node;
            std::u16string path;
        };
        std::vector<Item> stack{{result.root(), u"$"}};
        while (!stack.empty()) {
            Item item = std::move(stack.back());
            stack.pop_back();
            if (item.node.childCount() == 0)
                continue;
            for (std::size_t i = 0; i < item.node.childCount(); ++i) {
                std::u16string childPath = item.path;
                Viewers::appendPathSegment(childPath, item.node.child(i));
                stack.push_back({item.node.child(i), std::move(childPath)});
            }
            expanded.insert(std::move(item.path));
        }
    } else {
        expanded = Viewers::defaultExpanded(result.root());
    }

    const auto rows = Viewers::visibleRows(result.root(), expanded);
    if (json)
        context.out << "{\"result\":\"ok\",\"rows\":[";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto &row = rows[i];
        const auto key = row.node.key();
        if (json) {
            Cli::JsonObject object;
            object.add("id", Base::Utf::toUtf8(row.id()));
            // The root has no key: null keeps every row the same shape.
            if (key)
                object.add("key", Base::Utf::toUtf8(*key));
            else
                object.addRaw("key", "null");
            object.add("kind", Viewers::kindName(row.node.kind()))
                .add("summary", Base::Utf::toUtf8(row.node.summary()))
                .add("depth", row.depth);
            context.out << (i ? "," : "") << object.str();
        } else {
            context.out << std::string(row.depth * 2, ' ');
            if (key)
                context.out << Base::Utf::toUtf8(*key) << ": ";
            context.out << Base::Utf::toUtf8(row.node.summary()) << "\n";
        }
    }
    if (json)
        context.out << "]}\n";
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(tree, "tree", "tree [--json] [--expand-all] [--kind KIND] FILE",
                    "The rows the JSON tree view shows for FILE (default expansion, or every node); exit 1 "
                    "when FILE is not JSON.",
                    runTree);
