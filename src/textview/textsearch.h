#pragma once

#include "textview/textrange.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TextView {

class TextStorage;
struct EditReport;

enum class CaseSensitivity { Insensitive, Sensitive };
enum class SearchDirection { Forward, Backward };

// The matches of one needle in one text, kept current edit by edit. A match is a run of
// needle().size() UTF-16 units equal to the needle unit by unit, or, ignoring case, equal after
// simple case folding of each unit (units of a surrogate pair are compared as they are).
// Matches never overlap: a scan takes the leftmost match and goes on after it.
//
// TextDocument owns one and forwards to it; it is public so that its rules are written down in
// one place.
class TextSearch {
public:
    // Sets what to look for; the caller recomputes. An empty needle has no matches.
    void setNeedle(std::u16string_view needle, CaseSensitivity sensitivity);
    const std::u16string &needle() const { return m_needle; }
    CaseSensitivity caseSensitivity() const { return m_sensitivity; }

    // Finds every match in `storage` (which may move its gap for a contiguous view) and keeps
    // them current from now on: the search is active.
    void recompute(TextStorage &storage);
    // Forgets the matches and stops keeping them (the needle stays).
    void deactivate();
    bool isActive() const { return m_active; }

    // After `report`'s edit of `storage`: matches after the edit move, matches the edit touched
    // go, and the text around the edit is searched again. Costs O(matches + needle + inserted).
    // Nothing happens while the search is not active.
    void update(TextStorage &storage, const EditReport &report);

    // Ascending start positions; each match is needle().size() units long.
    const std::vector<std::size_t> &matches() const { return m_matches; }
    // 1-based index of the match `range` covers exactly, 0 when it is none.
    std::size_t matchIndex(TextRange range) const;
    // The match after `selection` (Forward: the first starting at its start, or after its start
    // when it is not empty) or before it (Backward: the last starting before its start), wrapping
    // around the ends; none when there are no matches.
    std::optional<TextRange> next(TextRange selection, SearchDirection direction) const;


private:
    std::vector<std::size_t> find(TextStorage &storage, std::size_t from, std::size_t to) const;

    std::u16string m_needle;
    // The needle as compared: folded unit by unit unless the search is case sensitive.
    std::u16string m_folded;
    CaseSensitivity m_sensitivity = CaseSensitivity::Insensitive;
    std::vector<std::size_t> m_matches; // ascending, non-overlapping
    bool m_active = false;
};

} // namespace TextView
