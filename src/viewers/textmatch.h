#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Viewers {

enum class CaseSensitivity : std::uint8_t { Insensitive, Sensitive };
enum class SearchDirection : std::uint8_t { Forward, Backward };

// A needle the structured views look for, compared unit by unit: exactly, or after simple case
// folding of both sides (Base::Text::foldCase), as the text view's find compares. Occurrences
// are found left to right and never overlap; they are as long as the needle.
class TextMatcher {
public:
    // Matches nothing.
    TextMatcher() = default;
    TextMatcher(std::u16string_view needle, CaseSensitivity sensitivity);

    bool isEmpty() const { return m_needle.empty(); }
    // The needle's length in UTF-16 units, which is every occurrence's length.
    std::size_t length() const { return m_needle.size(); }
    CaseSensitivity sensitivity() const { return m_sensitivity; }

    // The offset of the first occurrence starting at or after `from`; none for an empty needle.
    std::optional<std::size_t> find(std::u16string_view text, std::size_t from = 0) const;
    bool matches(std::u16string_view text) const { return find(text).has_value(); }

    // Calls `visit(offset)` for each occurrence in `text`, left to right.
    template<typename Visit>
    void forEach(std::u16string_view text, Visit &&visit) const
    {
        for (auto at = find(text); at; at = find(text, *at + m_needle.size()))
            visit(*at);
    }

    friend bool operator==(const TextMatcher &, const TextMatcher &) = default;

private:
    std::u16string m_needle; // Folded when the comparison ignores case.
    CaseSensitivity m_sensitivity = CaseSensitivity::Insensitive;
};

} // namespace Viewers
