#include "linestarts.h"

#include <algorithm>

namespace Editor {

std::vector<std::size_t> computeLineStarts(std::u16string_view text)
{
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\n')
            starts.push_back(i + 1);
    return starts;
}

std::size_t lineIndexOf(const std::vector<std::size_t> &starts, std::size_t position)
{
    const auto after = std::upper_bound(starts.begin(), starts.end(), position);
    return after == starts.begin() ? 0 : std::size_t(after - starts.begin()) - 1;
}

std::optional<TextRange> lineRange(const std::vector<std::size_t> &starts, std::size_t textLength, long long line)
{
    if (line < 1 || std::size_t(line) > starts.size())
        return std::nullopt;
    const std::size_t start = starts[std::size_t(line) - 1];
    const std::size_t next = std::size_t(line) < starts.size() ? starts[std::size_t(line)] : textLength + 1;
    const std::size_t length = next > start ? next - start - 1 : 0;
    if (start + length > textLength)
        return std::nullopt;
    return TextRange{start, length};
}

} // namespace Editor
