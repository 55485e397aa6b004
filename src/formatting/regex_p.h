#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A fixed PCRE2 (16-bit) expression, compiled once and shared read-only by every thread. Match
// data is allocated per call, so concurrent use is safe.
namespace Formatting::Internal {

class Regex {
public:
    enum class Case : std::uint8_t { Sensitive, Insensitive };

    // A pattern that does not compile is a programming error (asserted in debug builds); in
    // release builds such an expression matches nothing.
    Regex(std::u16string_view pattern, Case caseMode);
    ~Regex();
    Regex(const Regex &) = delete;
    Regex &operator=(const Regex &) = delete;

    // Half-open ranges [begin, end) in UTF-16 units; an unset group has begin == npos.
    struct Group {
        std::size_t begin = std::u16string_view::npos;
        std::size_t end = std::u16string_view::npos;
        bool isSet() const { return begin != std::u16string_view::npos; }
    };
    using Match = std::vector<Group>; // Group 0 is the whole match.

    enum class Anchor : std::uint8_t { No, AtStart };
    // Backtracking is capped (a million steps) so that hostile text cannot stall a match; a
    // match that hits the cap counts as no match.
    // The first match in `subject` starting at or after `from` (exactly at `from` when anchored).
    std::optional<Match> firstMatch(std::u16string_view subject, std::size_t from = 0,
                                    Anchor anchor = Anchor::No) const;
    // `subject` with every match removed.
    std::u16string removeAll(std::u16string_view subject) const;

private:
    void *m_code = nullptr;         // pcre2_code_16 *
    void *m_matchContext = nullptr; // pcre2_match_context_16 *, read-only after construction
};

} // namespace Formatting::Internal
