#include "textdocument.h"

#include "base/text.h"
#include "base/utf.h"

#include <algorithm>
#include <cassert>

namespace TextView {

namespace {

// How far one character step looks along the line: a longer cluster is cut there.
constexpr std::size_t GraphemeWindow = 256;
// How far one word step scans, so that a giant unbroken line stays responsive.
constexpr std::size_t WordScanLimit = 4096;

bool isWordAt(std::u16string_view text, std::size_t position)
{
    return Base::Text::isWordCharacter(Base::Text::scalarAt(text, position).value);
}

bool isWordBefore(std::u16string_view text, std::size_t position)
{
    return Base::Text::isWordCharacter(Base::Text::scalarBefore(text, position).value);
}

} // namespace

TextDocument::TextDocument()
{
    m_storage.setObserver(this);
}

TextDocument::~TextDocument()
{
    m_storage.setObserver(nullptr);
    // Observers (views) must stop showing the document before it goes.
    assert(std::none_of(m_observers.begin(), m_observers.end(), [](auto *observer) { return observer != nullptr; }));
}

// ---- Observers ------------------------------------------------------------------------------

void TextDocument::addObserver(TextDocumentObserver *observer)
{
    if (!observer || std::find(m_observers.begin(), m_observers.end(), observer) != m_observers.end())
        return;
    m_observers.push_back(observer);
}

void TextDocument::removeObserver(TextDocumentObserver *observer)
{
    const auto found = std::find(m_observers.begin(), m_observers.end(), observer);
    if (found == m_observers.end())
        return;
    if (m_notifying > 0)
        *found = nullptr; // compacted once the notification is over
    else
        m_observers.erase(found);
}

template<typename Call>
void TextDocument::notify(Call call)
{
    ++m_notifying;
    // Observers added meanwhile wait for the next change; removed ones read as null.
    const std::size_t count = m_observers.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (TextDocumentObserver *observer = m_observers[i])
            call(observer);
    }
    if (--m_notifying == 0)
        std::erase(m_observers, nullptr);
}

void TextDocument::notifyModifiedIfChanged()
{
    const bool modified = isModified();
    if (modified == m_reportedModified)
        return;
    m_reportedModified = modified;
    notify([modified](TextDocumentObserver *observer) { observer->documentDidChangeModified(modified); });
}

// ---- Storage callbacks ----------------------------------------------------------------------

void TextDocument::textReplaced(const EditReport &report)
{
    if (!m_applying) {
        // An edit on the storage itself: no step leads back from it.
        m_state = ++m_nextState;
        m_savedState = NeverState;
    }
    // A replace-all searches once, at its end.
    if (!m_replacingAll)
        m_search.update(m_storage, report);
    notify([&report](TextDocumentObserver *observer) { observer->documentDidReplace(report); });
    if (!m_runningStep)
        notifyModifiedIfChanged();
}

void TextDocument::attributesChanged(std::size_t start, std::size_t length)
{
    notify([=](TextDocumentObserver *observer) { observer->documentDidChangeAttributes(start, length); });
}

void TextDocument::contentReset()
{
    m_state = ++m_nextState;
    m_savedState = NeverState;
    // Views showing a find bar search the new text again; the others leave it unsearched.
    const bool hadMatches = m_search.isActive();
    m_search.deactivate();
    notify([](TextDocumentObserver *observer) { observer->documentDidReset(); });
    if (hadMatches)
        notify([](TextDocumentObserver *observer) { observer->documentDidChangeMatches(); });
    notifyModifiedIfChanged();
}

// ---- Text and edits -------------------------------------------------------------------------

void TextDocument::setText(Base::U16Buffer &&buffer)
{
    m_history.endCoalescing();
    m_storage.setText(std::move(buffer));
}

void TextDocument::setText(std::u16string_view text)
{
    m_history.endCoalescing();
    m_storage.setText(text);
}

EditReport TextDocument::apply(std::size_t position, std::size_t removed, std::u16string_view text,
                               std::uint8_t insertedClass)
{
    m_applying = true;
    const EditReport report = m_storage.replace(position, removed, text, insertedClass);
    m_applying = false;
    return report;
}

EditReport TextDocument::replace(TextRange range, std::u16string_view replacement, Coalescing coalescing,
                                 std::uint8_t insertedClass)
{
    const std::size_t size = m_storage.length();
    range.location = std::min(range.location, size);
    range.length = std::min(range.length, size - range.location);
    if (coalescing == Coalescing::Allowed)
        m_history.checkCoalescing({range.location, replacement.size()});
    else
        m_history.endCoalescing();
    const ContentState before = m_state;
    m_state = ++m_nextState;
    m_history.record({range.location, text(range), replacement.size()}, before);
    return apply(range.location, range.length, replacement, insertedClass);
}

void TextDocument::beginUndoGroup()
{
    m_history.beginGroup();
}

void TextDocument::endUndoGroup()
{
    m_history.endGroup();
}

void TextDocument::breakUndoCoalescing()
{
    m_history.endCoalescing();
}

std::optional<TextRange> TextDocument::runStep(bool undoing)
{
    std::optional<UndoStep> step = undoing ? m_history.takeUndo() : m_history.takeRedo();
    if (!step)
        return std::nullopt;
    // Later edits were made on the text earlier ones left: invert them newest first. Each
    // inversion is recorded as it runs, so that the opposite step replays them in reverse.
    UndoStep inverse;
    inverse.restores = m_state;
    std::optional<TextRange> last;
    m_runningStep = true;
    for (auto edit = step->edits.rbegin(); edit != step->edits.rend(); ++edit) {
        std::u16string current = m_storage.text(edit->position, edit->insertedLength);
        const EditReport report = apply(edit->position, edit->insertedLength, edit->removed, 0);
        inverse.edits.push_back({report.position, std::move(current), edit->removed.size()});
        last = TextRange{report.position, edit->removed.size()};
    }
    m_runningStep = false;
    m_state = step->restores;
    if (undoing)
        m_history.pushRedo(std::move(inverse));
    else
        m_history.pushUndo(std::move(inverse));
    notifyModifiedIfChanged();
    return last;
}

std::optional<TextRange> TextDocument::undo()
{
    return runStep(true);
}

std::optional<TextRange> TextDocument::redo()
{
    return runStep(false);
}

void TextDocument::clearUndoHistory()
{
    m_history.clear();
}

void TextDocument::markSavePoint()
{
    m_savedState = m_state;
    notifyModifiedIfChanged();
}

// ---- Search ---------------------------------------------------------------------------------

void TextDocument::setSearch(std::u16string_view needle, CaseSensitivity sensitivity)
{
    m_search.setNeedle(needle, sensitivity);
    recomputeMatches();
}

void TextDocument::recomputeMatches()
{
    m_search.recompute(m_storage);
    notify([](TextDocumentObserver *observer) { observer->documentDidChangeMatches(); });
}

void TextDocument::deactivateSearch()
{
    if (!m_search.isActive())
        return;
    m_search.deactivate();
    notify([](TextDocumentObserver *observer) { observer->documentDidChangeMatches(); });
}

std::optional<TextRange> TextDocument::replaceMatch(TextRange range, std::u16string_view replacement)
{
    if (m_search.matchIndex(range) == 0)
        return std::nullopt;
    replace(range, replacement);
    return TextRange{range.location, replacement.size()};
}

std::size_t TextDocument::replaceAllMatches(std::u16string_view replacement,
                                            const std::function<bool(TextRange)> &shouldReplace)
{
    if (m_search.matches().empty())
        return 0;
    const std::vector<std::size_t> matches = m_search.matches();
    const std::size_t length = m_search.needle().size();
    breakUndoCoalescing();
    beginUndoGroup();
    // From the end, so that the positions still to be replaced stay valid.
    std::size_t replaced = 0;
    m_runningStep = true;
    m_replacingAll = true;
    for (auto match = matches.rbegin(); match != matches.rend(); ++match) {
        const TextRange range{*match, length};
        if (shouldReplace && !shouldReplace(range))
            continue;
        replace(range, replacement);
        ++replaced;
    }
    m_replacingAll = false;
    m_runningStep = false;
    endUndoGroup();
    recomputeMatches();
    notifyModifiedIfChanged();
    return replaced;
}

// ---- Characters, words and lines ------------------------------------------------------------

std::size_t TextDocument::lineStartOf(std::size_t position) const
{
    return m_storage.lineStart(m_storage.lineAt(position));
}

std::size_t TextDocument::lineEndOf(std::size_t position) const
{
    const std::size_t line = m_storage.lineAt(position);
    return m_storage.lineStart(line) + m_storage.lineLength(line);
}

TextRange TextDocument::lineRangeWithBreak(std::size_t position) const
{
    const std::size_t start = lineStartOf(position);
    const std::size_t end = std::min(lineEndOf(position) + 1, m_storage.length());
    return {start, end - start};
}

std::size_t TextDocument::nextGrapheme(std::size_t position) const
{
    const std::size_t length = m_storage.length();
    if (position >= length)
        return length;
    const std::size_t end = lineEndOf(position);
    if (position == end)
        return position + 1;
    const std::u16string window = m_storage.text(position, std::min(end - position, GraphemeWindow));
    std::size_t next = position + std::max<std::size_t>(1, Base::Text::nextGraphemeBoundary(window, 0));
    // A cluster longer than the window is cut at its edge, never inside a surrogate pair.
    if (next < length && Base::Utf::isLowSurrogate(m_storage.at(next)) && Base::Utf::isHighSurrogate(m_storage.at(next - 1)))
        ++next;
    return next;
}

std::size_t TextDocument::previousGrapheme(std::size_t position) const
{
    position = std::min(position, m_storage.length());
    if (position == 0)
        return 0;
    const std::size_t start = lineStartOf(position);
    if (position == start)
        return position - 1;
    const std::size_t windowLength = std::min(position - start, GraphemeWindow);
    const std::u16string window = m_storage.text(position - windowLength, windowLength);
    std::size_t previous = position - windowLength + Base::Text::previousGraphemeBoundary(window, windowLength);
    if (previous > 0 && Base::Utf::isLowSurrogate(m_storage.at(previous))
        && Base::Utf::isHighSurrogate(m_storage.at(previous - 1)))
        --previous;
    return previous;
}

std::size_t TextDocument::nextWordEnd(std::size_t position) const
{
    const std::size_t lineEnd = lineEndOf(position);
    if (position >= lineEnd)
        return std::min(position + 1, m_storage.length());
    const std::u16string window = m_storage.text(position, std::min(lineEnd - position, WordScanLimit));
    std::size_t i = 0;
    while (i < window.size() && !isWordAt(window, i))
        i += Base::Text::scalarAt(window, i).units;
    while (i < window.size() && isWordAt(window, i))
        i += Base::Text::scalarAt(window, i).units;
    return position + std::min(i, window.size());
}

std::size_t TextDocument::previousWordStart(std::size_t position) const
{
    const std::size_t lineStart = lineStartOf(position);
    if (position <= lineStart)
        return position > 0 ? position - 1 : 0;
    const std::size_t start = std::max(lineStart, position > WordScanLimit ? position - WordScanLimit : 0);
    const std::u16string window = m_storage.text(start, position - start);
    std::size_t i = window.size();
    while (i > 0 && !isWordBefore(window, i))
        i -= Base::Text::scalarBefore(window, i).units;
    while (i > 0 && isWordBefore(window, i))
        i -= Base::Text::scalarBefore(window, i).units;
    return start + i;
}

TextRange TextDocument::wordAt(std::size_t position) const
{
    position = std::min(position, m_storage.length());
    const std::size_t start = std::max(lineStartOf(position), position > WordScanLimit ? position - WordScanLimit : 0);
    const std::size_t end = std::min(lineEndOf(position), position + WordScanLimit);
    const std::u16string window = m_storage.text(start, end - start);
    const std::size_t at = position - start;
    if (at < window.size() && isWordAt(window, at)) {
        std::size_t a = at, b = at;
        while (a > 0 && isWordBefore(window, a))
            a -= Base::Text::scalarBefore(window, a).units;
        while (b < window.size() && isWordAt(window, b))
            b += Base::Text::scalarAt(window, b).units;
        b = std::min(b, window.size());
        return {start + a, b - a};
    }
    if (at < window.size())
        return {position, nextGrapheme(position) - position};
    return {position, 0};
}

} // namespace TextView
