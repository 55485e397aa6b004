// Markdown blocks: any input gives blocks with ids 0, 1, 2, … and styled text only on prose
// blocks, made of non-empty runs that differ from their neighbours.
#include "fuzz_input_p.h"

#include "viewers/mdblock.h"

#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = fuzzText(data, size);
    const auto blocks = Viewers::MDBlock::parse(text);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto &block = blocks[i];
        if (block.id != i)
            std::abort();
        const bool prose = block.kind == Viewers::MDBlock::Kind::Heading || block.kind == Viewers::MDBlock::Kind::Paragraph
            || block.kind == Viewers::MDBlock::Kind::ListItem || block.kind == Viewers::MDBlock::Kind::Quote;
        if (block.attributed && !prose)
            std::abort();
        if (!block.attributed)
            continue;
        // Runs are never empty, and neighbours always differ in style.
        std::optional<Viewers::InlineRun> previous;
        for (const Viewers::InlineRun run : *block.attributed) {
            if (run.text.empty())
                std::abort();
            if (previous && previous->strong == run.strong && previous->emphasis == run.emphasis
                && previous->code == run.code && previous->strikethrough == run.strikethrough
                && previous->link == run.link)
                std::abort();
            previous = run;
        }
    }
    // Inline interpretation of the whole input at once (line breaks and all) must not crash.
    (void)Viewers::inlineAttributed(text);
    return 0;
}
