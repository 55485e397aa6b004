#include "textmatch.h"

#include "base/text.h"

#include <algorithm>

namespace Viewers {

TextMatcher::TextMatcher(std::u16string_view needle, CaseSensitivity sensitivity)
    : m_needle(needle), m_sensitivity(sensitivity)
{
    if (sensitivity == CaseSensitivity::Insensitive)
        std::transform(m_needle.begin(), m_needle.end(), m_needle.begin(), Base::Text::foldCase);
}

std::optional<std::size_t> TextMatcher::find(std::u16string_view text, std::size_t from) const
{
    const std::size_t n = m_needle.size();
    if (n == 0 || from > text.size() || text.size() - from < n)
        return std::nullopt;
    if (m_sensitivity == CaseSensitivity::Sensitive) {
        const std::size_t at = text.find(m_needle, from);
        return at == std::u16string_view::npos ? std::nullopt : std::optional(at);
    }
    // Cells, keys and blocks are short: a plain scan on the first unit beats building a searcher.
    const char16_t first = m_needle[0];
    for (std::size_t i = from; i + n <= text.size(); ++i) {
        if (Base::Text::foldCase(text[i]) != first)
            continue;
        std::size_t k = 1;
        while (k < n && Base::Text::foldCase(text[i + k]) == m_needle[k])
            ++k;
        if (k == n)
            return i;
    }
    return std::nullopt;
}

} // namespace Viewers
