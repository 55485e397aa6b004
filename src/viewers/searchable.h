#pragma once

#include "viewers/textmatch.h"

#include <cstddef>
#include <cstdint>

namespace Viewers {

// Where a find starts: after the current match (or selection), as Next and Previous do, or at
// it, so that a needle typed further keeps the match that still holds it.
enum class SearchStart : std::uint8_t { AfterCurrent, AtCurrent };

// What a find bar asks of a read-only view. Each view counts matches in its own unit (a cell of
// the table, a row of the tree, an occurrence in the preview's text) and orders them as it shows
// them. The views signal searchChanged() whenever the count or the current match may have
// changed: a new search, a newer parse, another sort, a move of the selection.
class Searchable {
public:
    virtual ~Searchable() = default;

    // Finds every match of `matcher` in what the view shows and marks them; the matches follow
    // later content (a newer parse, another sort) until the next call. An empty matcher clears
    // them. The selection and the scroll position stay.
    virtual void setSearch(TextMatcher matcher) = 0;
    virtual const TextMatcher &search() const = 0;
    virtual std::size_t matchCount() const = 0;
    // The match the view shows as current (the selected cell or row, the marked occurrence),
    // counted from 1; 0 when there is none.
    virtual std::size_t currentMatchNumber() const = 0;
    // Makes the next match in `direction` the current one, selecting it and scrolling it into
    // view: the next from the current match, or from the selection or the place in view when
    // there is none, wrapping around at either end. False, changing nothing, without matches.
    virtual bool findNext(SearchDirection direction, SearchStart start = SearchStart::AfterCurrent) = 0;
};

} // namespace Viewers
