#include "textsearch.h"

#include "textview/textstorage.h"

#include "base/text.h"
#include "base/utf.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace TextView {

void TextSearch::setNeedle(std::u16string_view needle, CaseSensitivity sensitivity)
{
    m_needle = needle;
    m_sensitivity = sensitivity;
    m_folded = m_needle;
    if (sensitivity == CaseSensitivity::Insensitive)
        std::transform(m_folded.begin(), m_folded.end(), m_folded.begin(), Base::Text::foldCase);
}

std::vector<std::size_t> TextSearch::find(TextStorage &storage, std::size_t from, std::size_t to) const
{
    std::vector<std::size_t> found;
    const std::size_t n = m_folded.size();
    to = std::min(to, storage.length());
    if (n == 0 || from >= to || to - from < n)
        return found;
    const std::u16string_view hay = storage.view(from, to - from);
    if (m_sensitivity == CaseSensitivity::Sensitive) {
        const std::boyer_moore_horspool_searcher searcher(m_folded.begin(), m_folded.end());
        auto it = hay.begin();
        for (;;) {
            it = std::search(it, hay.end(), searcher);
            if (it == hay.end())
                break;
            found.push_back(from + std::size_t(it - hay.begin()));
            it += std::ptrdiff_t(n);
        }
        return found;
    }
    const char16_t first = m_folded[0];
    for (std::size_t i = 0; i + n <= hay.size();) {
        if (Base::Text::foldCase(hay[i]) == first) {
            std::size_t k = 1;
            while (k < n && Base::Text::foldCase(hay[i + k]) == m_folded[k])
                ++k;
            if (k == n) {
                found.push_back(from + i);
                i += n;
                continue;
            }
        }
        ++i;
    }
    return found;
}

void TextSearch::recompute(TextStorage &storage)
{
    m_active = true;
    m_matches = find(storage, 0, storage.length());
}

void TextSearch::deactivate()
{
    m_active = false;
    m_matches.clear();
}

void TextSearch::update(TextStorage &storage, const EditReport &report)
{
    if (!m_active)
        return;
    const std::size_t n = m_folded.size();
    const std::size_t low = report.position >= n ? report.position - n + 1 : 0;
    const std::size_t oldEnd = report.position + report.removed;
    auto first = std::lower_bound(m_matches.begin(), m_matches.end(), low);
    auto last = std::lower_bound(first, m_matches.end(), oldEnd);
    for (auto it = last; it != m_matches.end(); ++it)
        *it = *it - report.removed + report.inserted;
    const std::size_t index = std::size_t(first - m_matches.begin());
    m_matches.erase(first, last);
    std::vector<std::size_t> fresh = find(storage, low, report.position + report.inserted + n - 1);
    // Drop fresh matches overlapping a kept one (matches never overlap).
    const std::size_t nextKept = index < m_matches.size() ? m_matches[index] : SIZE_MAX;
    const std::size_t previousEnd = index > 0 ? m_matches[index - 1] + n : 0;
    fresh.erase(std::remove_if(fresh.begin(), fresh.end(),
                               [&](std::size_t p) { return p < previousEnd || p + n > nextKept; }),
                fresh.end());
    m_matches.insert(m_matches.begin() + std::ptrdiff_t(index), fresh.begin(), fresh.end());
}

std::size_t TextSearch::matchIndex(TextRange range) const
{
    if (m_matches.empty() || range.length != m_folded.size())
        return 0;
    auto it = std::lower_bound(m_matches.begin(), m_matches.end(), range.location);
    if (it == m_matches.end() || *it != range.location)
        return 0;
    return std::size_t(it - m_matches.begin()) + 1;
}

std::optional<TextRange> TextSearch::next(TextRange selection, SearchDirection direction) const
{
    if (m_matches.empty())
        return std::nullopt;
    std::size_t match;
    if (direction == SearchDirection::Forward) {
        const std::size_t from = selection.length ? selection.location + 1 : selection.location;
        auto it = std::lower_bound(m_matches.begin(), m_matches.end(), from);
        match = it == m_matches.end() ? m_matches.front() : *it;
    } else {
        auto it = std::lower_bound(m_matches.begin(), m_matches.end(), selection.location);
        match = it == m_matches.begin() ? m_matches.back() : *(it - 1);
    }
    return TextRange{match, m_folded.size()};
}

} // namespace TextView
