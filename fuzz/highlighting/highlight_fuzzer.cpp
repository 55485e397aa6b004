// One libFuzzer target per scanner, chosen by CORVANE_FUZZ_KIND (a DocKind value name). Beside
// memory safety (the class buffer is allocated to the exact text length, so ASan sees any write
// past it) each input checks properties every colouring must have:
// - every byte is a SyntaxClass value;
// - the frame equals the routine run over a base-filled buffer;
// - for the per-line kinds (YAML, LOG), a line coloured on its own equals its slice of the whole.
#include "highlighting/syntaxhighlighter.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace SH = Highlighting::SyntaxHighlighter;
using Documents::DocKind;

namespace {

// Bytes below 0x80 are ASCII units (what the scanners test for); the rest map onto a few
// non-ASCII units that matter: no-break and em spaces, a surrogate pair's halves, an Arabic-Indic
// digit, the Kelvin sign (lower-cases to "k") and the byte-order mark.
char16_t unitFor(std::uint8_t byte)
{
    static constexpr char16_t others[] = {0x00A0, 0x2003, 0xD83D, 0xDE00, 0x0663, 0x212A, 0xFEFF, 0x3000};
    return byte < 0x80 ? char16_t(byte) : others[byte % (sizeof others / sizeof others[0])];
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void colourLineRoutine(DocKind kind, std::u16string_view text, std::size_t start, std::size_t end, std::uint8_t *out,
                       std::size_t size)
{
    const std::span<std::uint8_t> classes(out, size);
    if (kind == DocKind::Yaml)
        SH::highlightYAMLLine(text, start, end, classes);
    else
        SH::highlightLogLine(text, start, end, classes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr DocKind kind = DocKind::CORVANE_FUZZ_KIND;
    std::u16string text(size, u'\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = unitFor(data[i]);

    auto classes = std::make_unique<std::uint8_t[]>(size);
    check(SH::highlight(kind, text, std::span(classes.get(), size)) == (size <= SH::maximumLength));
    for (std::size_t i = 0; i < size; ++i)
        check(classes[i] < Highlighting::syntaxClassCount);

    auto direct = std::make_unique<std::uint8_t[]>(size);
    const std::span<std::uint8_t> directSpan(direct.get(), size);
    std::memset(direct.get(), 0, size);
    switch (kind) {
    case DocKind::Json:
    case DocKind::Ndjson:
        SH::highlightJSON(text, directSpan);
        break;
    case DocKind::Toml:
        SH::highlightTOML(text, directSpan);
        break;
    case DocKind::Xml:
        SH::highlightXML(text, directSpan);
        break;
    case DocKind::Markdown:
        SH::highlightMarkdown(text, directSpan);
        break;
    case DocKind::Yaml:
    case DocKind::Log:
        for (std::size_t start = 0; start < size;) {
            std::size_t end = text.find(u'\n', start);
            if (end == std::u16string::npos)
                end = size;
            colourLineRoutine(kind, text, start, end, direct.get(), size);
            start = end + 1;
        }
        break;
    default:
        break;
    }
    check(std::memcmp(classes.get(), direct.get(), size) == 0);

    if (kind == DocKind::Yaml || kind == DocKind::Log) {
        // The first line alone, as its own text, colours exactly like its slice.
        std::size_t end = text.find(u'\n');
        if (end == std::u16string::npos)
            end = size;
        const std::u16string line = text.substr(0, end);
        auto alone = std::make_unique<std::uint8_t[]>(line.size() + 1);
        std::memset(alone.get(), 0, line.size());
        colourLineRoutine(kind, line, 0, line.size(), alone.get(), line.size());
        check(std::memcmp(alone.get(), classes.get(), line.size()) == 0);
    }
    return 0;
}
