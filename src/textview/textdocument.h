#pragma once

#include "textview/textrange.h"
#include "textview/textsearch.h"
#include "textview/textstorage.h"
#include "textview/undohistory.h"

#include "base/largebuffer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TextView {

// Told about every change of a TextDocument, synchronously, on the thread that made it. A
// callback may read the document, and search it, but must not change its text.
class TextDocumentObserver {
public:
    virtual ~TextDocumentObserver() = default;
    // After every replacement of text, made through the document or on its storage directly;
    // the storage, the search matches and the history already show it.
    virtual void documentDidReplace(const EditReport &report) = 0;
    // Syntax classes or decorations changed over [start, start + length); the text did not.
    virtual void documentDidChangeAttributes(std::size_t start, std::size_t length) = 0;
    // The whole content was replaced (setText(), or setText() on the storage).
    virtual void documentDidReset() = 0;
    // isModified() changed; told after the change that caused it.
    virtual void documentDidChangeModified(bool modified) { (void)modified; }
    // The search matches were recomputed or dropped (not after an edit: documentDidReplace
    // already covers that).
    virtual void documentDidChangeMatches() {}
};

// Whether a typing edit may join the open typing step (see UndoHistory).
enum class Coalescing { Allowed, Breaks };

// A text being edited: its storage, its undo history, the state the text was last saved in, a
// search kept current edit by edit and the Unicode rules for moving by characters and words.
// Views show it and edit it through it; any number of them, each with its own selection and
// layout, hear of every change through the observers. Qt-free.
//
// Units: every position and length is in UTF-16 code units; every range is half-open,
// [location, location + length). Arguments out of range are clamped to the text, never trusted.
// Line breaks are LF.
//
// The document owns its storage. Observers are not owned: each removes itself before it dies,
// and the document must outlive every observer still registered (and every view showing it).
class TextDocument : private TextStorageObserver {
public:
    TextDocument();
    ~TextDocument() override;
    TextDocument(const TextDocument &) = delete;
    TextDocument &operator=(const TextDocument &) = delete;
    TextDocument(TextDocument &&) = delete;
    TextDocument &operator=(TextDocument &&) = delete;

    // ---- Text -----------------------------------------------------------------------------

    // The text with its line index, syntax classes and decorations. Attributes are set on the
    // storage directly (observers hear of them). A text edit made on the storage directly is
    // shown and searched like any other but bypasses the history: no undo step, and the saved
    // state can no longer be reached (call markSavePoint() when that text is what was saved,
    // e.g. text another program appended to the file).
    TextStorage &storage() { return m_storage; }
    const TextStorage &storage() const { return m_storage; }
    std::size_t length() const { return m_storage.length(); }
    // A copy of `range` (clamped).
    std::u16string text(TextRange range) const { return m_storage.text(range.location, range.length); }
    // Counts every change of the text (edits, undo, redo, setText); attributes do not count.
    std::uint64_t revision() const { return m_storage.revision(); }

    // Replaces the whole content, adopting `buffer` without a copy. Not an undoable edit: the
    // history is kept (the caller clears it with clearUndoHistory() when another text is
    // loaded), typing stops coalescing, and the text counts as modified until markSavePoint().
    void setText(Base::U16Buffer &&buffer);
    void setText(std::u16string_view text);

    // ---- Edits and undo -------------------------------------------------------------------

    // Replaces `range` by `replacement` as one undoable edit, the new units getting syntax class
    // `insertedClass`. With Coalescing::Allowed the edit joins the open typing step when it
    // continues it (see UndoHistory); Coalescing::Breaks closes that step first. Inside
    // beginUndoGroup()/endUndoGroup() the edit joins the open group. Returns what the storage
    // reported (the range as clamped, in `position` and `removed`).
    EditReport replace(TextRange range, std::u16string_view replacement, Coalescing coalescing = Coalescing::Breaks,
                       std::uint8_t insertedClass = 0);

    // Edits between these calls undo and redo as one step (a replace-all, a reformat). Groups
    // nest into the outermost; unbalanced ends are ignored. Typing inside a group joins it.
    void beginUndoGroup();
    void endUndoGroup();
    // Closes the open typing step: the next keystroke starts a new one.
    void breakUndoCoalescing();
    bool isCoalescing() const { return m_history.isCoalescing(); }
    // Where typing last put text while coalescing; none when typing is not coalescing.
    std::optional<TextRange> coalescingRange() const { return m_history.coalescingRange(); }

    // An open group or typing step with an edit counts as something to undo.
    bool canUndo() const { return m_history.canUndo(); }
    bool canRedo() const { return m_history.canRedo(); }
    // Closed steps (an open typing step is not counted until it closes).
    std::size_t undoCount() const { return m_history.undoCount(); }
    std::size_t redoCount() const { return m_history.redoCount(); }
    // Closes open groups and undoes (redoes) the newest step, restored text getting syntax
    // class 0. Returns where the last edit applied put its text, for the caret; none when
    // there was nothing to undo (redo). A new edit after an undo drops what is left to redo.
    std::optional<TextRange> undo();
    std::optional<TextRange> redo();
    // Forgets every step (another text was loaded); does not touch the save point.
    void clearUndoHistory();

    // ---- Saved state ----------------------------------------------------------------------

    // The text as it is now is what was saved.
    void markSavePoint();
    // The text differs from the one at the last markSavePoint(), as far as the history can
    // tell: undoing or redoing back to the saved text makes it unmodified again; once an edit
    // drops the redo steps that led back there, or an edit bypasses the history, the saved text
    // cannot be reached and the document stays modified until the next markSavePoint(). A new
    // document (empty) counts as saved.
    bool isModified() const { return m_savedState != m_state; }

    // ---- Observers ------------------------------------------------------------------------

    // Adds `observer` once (adding it again does nothing); called in the order added. An
    // observer added during a notification is first told of the next change.
    void addObserver(TextDocumentObserver *observer);
    // Safe during a notification: a removed observer is not called again.
    void removeObserver(TextDocumentObserver *observer);

    // ---- Search ---------------------------------------------------------------------------

    // Sets the needle and finds every match (O(n)); the matches stay current after every edit
    // until deactivateSearch(). An empty needle has no matches.
    void setSearch(std::u16string_view needle, CaseSensitivity sensitivity);
    const std::u16string &searchNeedle() const { return m_search.needle(); }
    CaseSensitivity searchCaseSensitivity() const { return m_search.caseSensitivity(); }
    // Finds the matches of the current needle again (e.g. when a find bar opens).
    void recomputeMatches();
    // Drops the matches and stops updating them; the needle stays for a later search.
    void deactivateSearch();
    bool isSearchActive() const { return m_search.isActive(); }
    // Ascending start positions, each match searchNeedle().size() units long, never overlapping.
    const std::vector<std::size_t> &matches() const { return m_search.matches(); }
    // 1-based index of the match `range` covers exactly, 0 when it covers none.
    std::size_t matchIndex(TextRange range) const { return m_search.matchIndex(range); }
    // The next match forwards from `selection` (the first at its start, or after its start when
    // it is not empty) or backwards (the last before its start), wrapping around the ends of
    // the text; none when there are no matches.
    std::optional<TextRange> nextMatch(TextRange selection, SearchDirection direction) const
    {
        return m_search.next(selection, direction);
    }
    // Replaces `range` by `replacement` as one undoable edit when `range` is exactly a match;
    // returns where the replacement went, none (and no edit) otherwise.
    std::optional<TextRange> replaceMatch(TextRange range, std::u16string_view replacement);
    // Replaces every match by `replacement` as one undo step, from the last match to the first,
    // skipping those `shouldReplace` (when given) refuses. Returns how many were replaced and
    // leaves the matches recomputed.
    std::size_t replaceAllMatches(std::u16string_view replacement,
                                  const std::function<bool(TextRange)> &shouldReplace = {});

    // ---- Characters, words and lines ------------------------------------------------------

    // Caret movement by user-perceived characters (extended grapheme clusters through utf8proc,
    // the rule the status bar counts columns with). A line break is a character of its own; a
    // step never looks further than 256 units along the line. At the ends of the text the
    // position stays. Neither result splits a surrogate pair.
    std::size_t nextGrapheme(std::size_t position) const;
    std::size_t previousGrapheme(std::size_t position) const;
    // Word movement within the line by Base::Text::isWordCharacter (letters, marks, numbers,
    // underscore): to the end of the next word, or the start of the previous one. At a line's
    // end (start) the step crosses the line break; no step scans more than 4096 units, so that
    // a giant line stays responsive.
    std::size_t nextWordEnd(std::size_t position) const;
    std::size_t previousWordStart(std::size_t position) const;
    // The word around `position` (searched at most 4096 units each way, within the line), else
    // the character at it, else an empty range at it (the end of a line).
    TextRange wordAt(std::size_t position) const;
    // The line holding `position`: without its break, and with it (when it has one).
    std::size_t lineStartOf(std::size_t position) const;
    std::size_t lineEndOf(std::size_t position) const;
    TextRange lineRangeWithBreak(std::size_t position) const;

private:
    void textReplaced(const EditReport &report) override;
    void attributesChanged(std::size_t start, std::size_t length) override;
    void contentReset() override;

    // Applies one replacement to the storage as the document's own edit.
    EditReport apply(std::size_t position, std::size_t removed, std::u16string_view text, std::uint8_t insertedClass);
    std::optional<TextRange> runStep(bool undoing);
    void notifyModifiedIfChanged();
    template<typename Call>
    void notify(Call call);

    TextStorage m_storage;
    UndoHistory m_history;
    TextSearch m_search;
    std::vector<TextDocumentObserver *> m_observers; // null entries: removed while notifying
    int m_notifying = 0;
    // Content states: m_state names the text as it is; m_savedState the saved one, or
    // NeverState when the saved text cannot come back. Fresh states come from m_nextState.
    static constexpr ContentState NeverState = ~ContentState(0);
    ContentState m_state = 0;
    ContentState m_savedState = 0;
    ContentState m_nextState = 0;
    bool m_reportedModified = false;
    // True while the document itself changes the storage, so that its callbacks tell the
    // document's edits from edits made on the storage directly.
    bool m_applying = false;
    // True while a multi-edit step runs: the modified state is told once, at its end.
    bool m_runningStep = false;
    // True during replaceAllMatches(), which searches once when it is done.
    bool m_replacingAll = false;
};

} // namespace TextView
