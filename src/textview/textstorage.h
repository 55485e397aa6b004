#pragma once

#include "base/largebuffer.h"
#include "base/textsnapshot.h"
#include "textview/lineindex.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace TextView {


// What one text replacement did, in positions before the edit (`position`, `removed`) and after
// it (`position`, `inserted`). Lines are 0-based; `firstLine` is the line holding `position`.
struct EditReport {
    std::size_t position = 0;
    std::size_t removed = 0;
    std::size_t inserted = 0;
    std::size_t firstLine = 0;
    std::size_t removedLineBreaks = 0;
    std::size_t insertedLineBreaks = 0;
    std::uint64_t revision = 0;
};

// Colour as 0xAARRGGBB, so the storage stays free of any toolkit.
using Rgba = std::uint32_t;

enum class UnderlineStyle : std::uint8_t { None, Single, Thick };

// A range painted with a background and/or underline (the error line).
struct Decoration {
    std::size_t start = 0;
    std::size_t length = 0;
    Rgba background = 0;
    UnderlineStyle underline = UnderlineStyle::None;
    Rgba underlineColor = 0;
    bool operator==(const Decoration &) const = default;
};

// Told about every change of the storage, synchronously.
class TextStorageObserver {
public:
    virtual ~TextStorageObserver() = default;
    virtual void textReplaced(const EditReport &report) = 0;
    // Syntax classes or decorations changed over [start, start + length), text unchanged.
    virtual void attributesChanged(std::size_t start, std::size_t length) = 0;
    // The whole content was replaced.
    virtual void contentReset() = 0;
};

// The text of a document: a UTF-16 gap buffer with an incrementally maintained line index, a parallel
// syntax-class byte per code unit (allocated on first use) and a list of decorations.
// All positions are UTF-16 code units; out-of-range arguments are clamped, never trusted.
class TextStorage {
public:
    TextStorage();
    ~TextStorage();
    TextStorage(const TextStorage &) = delete;
    TextStorage &operator=(const TextStorage &) = delete;

    // Adopts `buffer` as the content without copying it; its spare capacity becomes the gap.
    // Syntax classes and decorations are cleared.
    void setText(Base::U16Buffer &&buffer);
    void setText(std::u16string_view text);

    std::size_t length() const { return m_capacity - gapLength(); }
    char16_t at(std::size_t position) const
    {
        return m_text.data()[position < m_gapStart ? position : position + gapLength()];
    }
    std::u16string text(std::size_t position, std::size_t count) const;
    std::u16string text() const { return text(0, length()); }
    // Copies [position, position + count) (clamped) into `out`; returns the number copied.
    std::size_t copy(std::size_t position, std::size_t count, char16_t *out) const;
    // A contiguous view of the range; moves the gap out of it when needed (contents unchanged).
    std::u16string_view view(std::size_t position, std::size_t count);

    // Replaces [position, position + removed) by `inserted`, giving the new units `insertedClass`.
    EditReport replace(std::size_t position, std::size_t removed, std::u16string_view inserted,
                       std::uint8_t insertedClass = 0);
    std::uint64_t revision() const { return m_revision; }

    // The text as it is now, for background readers, without copying it: valid until the next
    // change of the text (or of where the gap lies), which revokes it first, waiting at most
    // for one piece a reader is copying. Until then calls at the same revision share one.
    std::shared_ptr<const Base::TextSnapshot> snapshot();

    const LineIndex &lines() const { return m_lines; }
    std::size_t lineCount() const { return m_lines.lineCount(); }
    std::size_t lineStart(std::size_t line) const { return m_lines.lineStart(line); }
    std::size_t lineLength(std::size_t line) const { return m_lines.lineLength(line); }
    std::size_t lineAt(std::size_t position) const { return m_lines.lineAt(position); }

    // Syntax classes: 0 everywhere until set.
    bool hasClasses() const { return m_classes.size() != 0; }
    std::uint8_t classAt(std::size_t position) const
    {
        if (!hasClasses())
            return 0;
        return m_classes.data()[position < m_gapStart ? position : position + gapLength()];
    }
    std::size_t copyClasses(std::size_t position, std::size_t count, std::uint8_t *out) const;
    void setClass(std::size_t position, std::size_t count, std::uint8_t syntaxClass);
    void setClasses(std::size_t position, const std::uint8_t *classes, std::size_t count);

    const std::vector<Decoration> &decorations() const { return m_decorations; }
    void addDecoration(const Decoration &decoration);
    // Cuts every decoration out of [start, start + length).
    void removeDecorations(std::size_t start, std::size_t length);

    // Attribute batches: changes between begin and end are reported once, as their union.
    // Batches nest; text edits inside a batch are still reported at once.
    void beginEditing();
    void endEditing();

    // The one observer, told synchronously. A TextDocument observes its storage and passes
    // every change on to its own observers.
    void setObserver(TextStorageObserver *observer) { m_observer = observer; }

private:
    std::size_t gapLength() const { return m_gapEnd - m_gapStart; }
    void moveGap(std::size_t position);
    void ensureGap(std::size_t needed);
    void ensureClasses();
    void rebuildLines();
    void noteAttributes(std::size_t start, std::size_t length);
    void adjustDecorations(std::size_t position, std::size_t removed, std::size_t inserted);
    // Called before anything moves or frees the text's memory.
    void revokeSnapshots();

    Base::U16Buffer m_text;            // size() == m_capacity, the gap holds garbage
    Base::LargeBuffer<std::uint8_t> m_classes; // empty, or same layout as m_text
    std::size_t m_capacity = 0;
    std::size_t m_gapStart = 0;
    std::size_t m_gapEnd = 0;
    LineIndex m_lines;
    std::vector<Decoration> m_decorations;
    std::uint64_t m_revision = 0;
    int m_editingDepth = 0;
    std::size_t m_dirtyStart = 0, m_dirtyEnd = 0;
    bool m_dirty = false;
    TextStorageObserver *m_observer = nullptr;
    class Snapshot;
    std::weak_ptr<Snapshot> m_snapshot;
};

} // namespace TextView
