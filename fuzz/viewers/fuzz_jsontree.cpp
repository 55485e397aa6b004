// JSON tree building: any input gives a result; an ok tree can be listed fully expanded and
// every visible node's id, key and summary can be made.
#include "fuzz_input_p.h"

#include "viewers/jsontree.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const auto result = Viewers::JSONTreeBuilder::build(text);
    if (!result.isOk()) {
        if (result.message().empty())
            std::abort();
        return 0;
    }
    Viewers::ExpandedSet all;
    std::vector<Viewers::JSONNode> stack{result.root()};
    while (!stack.empty()) {
        const Viewers::JSONNode node = stack.back();
        stack.pop_back();
        if (node.depth() > Viewers::truncationDepth)
            std::abort();
        if (node.childCount() > 0)
            all.insert(node.id());
        for (std::size_t i = 0; i < node.childCount(); ++i)
            stack.push_back(node.child(i));
    }
    const auto rows = Viewers::visibleRows(result.root(), all);
    for (std::size_t i = 0; i < rows.size() && i < 2000; ++i) {
        const auto row = rows[i];
        if (row.depth != row.node.depth() || row.node.summary().empty())
            std::abort();
        (void)row.node.key();
    }
    return 0;
}
