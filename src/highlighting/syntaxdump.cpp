#include "highlighting/syntaxdump.h"

#include "base/utf.h"

#include <algorithm>

namespace Highlighting {

namespace {

SyntaxClass classAt(std::span<const std::uint8_t> classes, std::size_t i)
{
    if (i >= classes.size() || classes[i] >= syntaxClassCount)
        return SyntaxClass::Base;
    return static_cast<SyntaxClass>(classes[i]);
}

} // namespace

std::vector<SyntaxRun> syntaxRuns(std::span<const std::uint8_t> classes)
{
    std::vector<SyntaxRun> runs;
    std::size_t i = 0;
    while (i < classes.size()) {
        const SyntaxClass current = classAt(classes, i);
        std::size_t j = i + 1;
        while (j < classes.size() && classAt(classes, j) == current)
            ++j;
        if (current != SyntaxClass::Base)
            runs.push_back({i, j - i, current});
        i = j;
    }
    return runs;
}

std::string markedText(std::u16string_view text, std::span<const std::uint8_t> classes)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    std::size_t written = 0;
    for (const SyntaxRun &run : syntaxRuns(classes.first(std::min(classes.size(), text.size())))) {
        out += Base::Utf::toUtf8(text.substr(written, run.start - written));
        out += "\u00AB";
        out += syntaxClassName(run.syntaxClass);
        out += ':';
        out += Base::Utf::toUtf8(text.substr(run.start, run.length));
        out += "\u00BB";
        written = run.start + run.length;
    }
    out += Base::Utf::toUtf8(text.substr(written));
    return out;
}

} // namespace Highlighting
