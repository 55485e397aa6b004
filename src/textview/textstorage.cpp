#include "textstorage.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <atomic>

namespace TextView {

namespace {
constexpr std::size_t MinimumGap = 4096;
}

// Points into the storage's memory. Readers announce themselves around each copy; revoking
// waits until none is inside one, so the memory may change right after.
class TextStorage::Snapshot final : public Base::TextSnapshot {
public:
    Snapshot(const char16_t *data, std::size_t gapStart, std::size_t gapLength, std::size_t length)
        : m_data(data), m_gapStart(gapStart), m_gapLength(gapLength), m_length(length)
    {
    }

    std::size_t length() const override { return m_length; }
    bool isRevoked() const override { return m_revoked.load(std::memory_order_acquire); }

    bool copy(std::size_t position, std::size_t count, char16_t *out) const override
    {
        // Fresh memory takes its page faults here rather than inside the read, where the owner's
        // next edit would wait for them (in a virtual machine each costs up to a fifth of a ms).
        auto *bytes = reinterpret_cast<volatile unsigned char *>(out);
        const std::size_t size = count * sizeof(char16_t);
        for (std::size_t at = 0; at < size; at += pageSize)
            bytes[at] = 0;
        if (size)
            bytes[size - 1] = 0;
        return read(position, count, [&out](std::u16string_view part) {
            std::memcpy(out, part.data(), part.size() * sizeof(char16_t));
            out += part.size();
        });
    }

    bool read(std::size_t position, std::size_t count,
              const std::function<void(std::u16string_view)> &visit) const override
    {
        if (position > m_length || count > m_length - position)
            return false;
        m_readers.fetch_add(1, std::memory_order_seq_cst);
        if (m_revoked.load(std::memory_order_seq_cst)) {
            m_readers.fetch_sub(1, std::memory_order_seq_cst);
            m_readers.notify_all(); // the owner may be waiting for this count to fall
            return false;
        }
        // Revoking waits while a reader is in here, so the views stay valid for the calls.
        std::size_t done = 0;
        if (position < m_gapStart) {
            done = std::min(count, m_gapStart - position);
            visit(std::u16string_view(m_data + position, done));
        }
        if (done < count)
            visit(std::u16string_view(m_data + position + done + m_gapLength, count - done));
        m_readers.fetch_sub(1, std::memory_order_seq_cst);
        if (m_revoked.load(std::memory_order_seq_cst))
            m_readers.notify_all();
        return true;
    }

    // Sleeps rather than spins until the readers are out: on a busy machine a reader inside a
    // piece may be waiting for a processor, and a spinning owner would keep one from it for a
    // whole time slice while the user types.
    void revoke()
    {
        m_revoked.store(true, std::memory_order_seq_cst);
        for (int readers = m_readers.load(std::memory_order_seq_cst); readers != 0;
             readers = m_readers.load(std::memory_order_seq_cst))
            m_readers.wait(readers, std::memory_order_seq_cst);
    }

private:
    static constexpr std::size_t pageSize = 4096;
    const char16_t *m_data;
    std::size_t m_gapStart;
    std::size_t m_gapLength;
    std::size_t m_length;
    mutable std::atomic<int> m_readers{0};
    std::atomic<bool> m_revoked{false};
};

TextStorage::TextStorage()
{
    ensureGap(MinimumGap);
}

TextStorage::~TextStorage()
{
    revokeSnapshots();
}

std::shared_ptr<const Base::TextSnapshot> TextStorage::snapshot()
{
    if (auto live = m_snapshot.lock(); live && !live->isRevoked())
        return live;
    auto made = std::make_shared<Snapshot>(m_text.data(), m_gapStart, gapLength(), length());
    m_snapshot = made;
    return made;
}

void TextStorage::revokeSnapshots()
{
    if (auto live = m_snapshot.lock())
        live->revoke();
    m_snapshot.reset();
}

void TextStorage::setText(Base::U16Buffer &&buffer)
{
    revokeSnapshots();
    const std::size_t size = buffer.size();
    m_text = std::move(buffer);
    m_classes = {};
    m_capacity = m_text.capacity();
    m_text.resize(m_capacity);
    m_gapStart = size;
    m_gapEnd = m_capacity;
    m_decorations.clear();
    rebuildLines();
    ++m_revision;
    if (m_observer)
        m_observer->contentReset();
}

void TextStorage::setText(std::u16string_view text)
{
    Base::U16Buffer buffer(text.size() + MinimumGap);
    buffer.append(text.data(), text.size());
    setText(std::move(buffer));
}

void TextStorage::rebuildLines()
{
    std::vector<std::uint32_t> lengths;
    const char16_t *data = m_text.data();
    std::size_t lineStartAt = 0;
    // Scan both halves around the gap; positions are logical.
    auto scan = [&](std::size_t from, std::size_t to, std::size_t logicalOffset) {
        for (std::size_t i = from; i < to; ++i) {
            if (data[i] == u'\n') {
                const std::size_t logical = i - from + logicalOffset;
                lengths.push_back(std::uint32_t(logical - lineStartAt));
                lineStartAt = logical + 1;
            }
        }
    };
    scan(0, m_gapStart, 0);
    scan(m_gapEnd, m_capacity, m_gapStart);
    lengths.push_back(std::uint32_t(length() - lineStartAt)); // the last line, after the last line feed
    m_lines.assign(lengths);
}

std::size_t TextStorage::copy(std::size_t position, std::size_t count, char16_t *out) const
{
    const std::size_t size = length();
    position = std::min(position, size);
    count = std::min(count, size - position);
    const char16_t *data = m_text.data();
    std::size_t done = 0;
    if (position < m_gapStart) {
        const std::size_t first = std::min(count, m_gapStart - position);
        std::memcpy(out, data + position, first * sizeof(char16_t));
        done = first;
    }
    if (done < count)
        std::memcpy(out + done, data + position + done + gapLength(), (count - done) * sizeof(char16_t));
    return count;
}

std::u16string TextStorage::text(std::size_t position, std::size_t count) const
{
    position = std::min(position, length());
    count = std::min(count, length() - position);
    std::u16string out(count, u'\0');
    copy(position, count, out.data());
    return out;
}

std::u16string_view TextStorage::view(std::size_t position, std::size_t count)
{
    position = std::min(position, length());
    count = std::min(count, length() - position);
    if (position < m_gapStart && position + count > m_gapStart) {
        revokeSnapshots();
        // Move the gap to whichever end of the range is cheaper.
        const std::size_t before = m_gapStart - position, after = position + count - m_gapStart;
        moveGap(before <= after ? position : position + count);
    }
    const char16_t *data = m_text.data();
    return {data + (position < m_gapStart ? position : position + gapLength()), count};
}

void TextStorage::moveGap(std::size_t position)
{
    if (position == m_gapStart)
        return;
    char16_t *data = m_text.data();
    std::uint8_t *classes = hasClasses() ? m_classes.data() : nullptr;
    const std::size_t gap = gapLength();
    if (position < m_gapStart) {
        const std::size_t count = m_gapStart - position;
        std::memmove(data + position + gap, data + position, count * sizeof(char16_t));
        if (classes)
            std::memmove(classes + position + gap, classes + position, count);
    } else {
        const std::size_t count = position - m_gapStart;
        std::memmove(data + m_gapStart, data + m_gapEnd, count * sizeof(char16_t));
        if (classes)
            std::memmove(classes + m_gapStart, classes + m_gapEnd, count);
    }
    m_gapStart = position;
    m_gapEnd = position + gap;
}

void TextStorage::ensureGap(std::size_t needed)
{
    if (gapLength() >= needed)
        return;
    const std::size_t size = length();
    // Big texts grow by a bounded step: edits are local, and a small step stays within the slack
    // of the huge-page mapping so that growing rarely copies the whole text.
    // A big insertion (appended log text, a paste) suggests more of the same: grow by an eighth
    // then, so that a stream of them copies the text once per eighth, not once per insertion.
    const std::size_t bounded = needed > 65536 ? size / 8 : std::min<std::size_t>(size / 8, 65536);
    const std::size_t step = std::max(needed, std::max(MinimumGap, bounded));
    const std::size_t newCapacity = size + step;
    const std::size_t tail = m_capacity - m_gapEnd;
    const std::size_t newGapEnd = newCapacity - tail;
    m_text.reserve(newCapacity);
    m_text.resize(newCapacity);
    std::memmove(m_text.data() + newGapEnd, m_text.data() + m_gapEnd, tail * sizeof(char16_t));
    if (hasClasses()) {
        m_classes.reserve(newCapacity);
        m_classes.resize(newCapacity);
        std::memmove(m_classes.data() + newGapEnd, m_classes.data() + m_gapEnd, tail);
    }
    m_capacity = newCapacity;
    m_gapEnd = newGapEnd;
}

void TextStorage::ensureClasses()
{
    if (hasClasses())
        return;
    m_classes.resize(m_capacity);
    std::memset(m_classes.data(), 0, m_capacity);
}

EditReport TextStorage::replace(std::size_t position, std::size_t removed, std::u16string_view inserted,
                                std::uint8_t insertedClass)
{
    revokeSnapshots();
    const std::size_t size = length();
    position = std::min(position, size);
    removed = std::min(removed, size - position);

    EditReport report;
    report.position = position;
    report.removed = removed;
    report.inserted = inserted.size();
    const std::size_t firstLine = m_lines.lineAt(position);
    const std::size_t lastLine = m_lines.lineAt(position + removed);
    report.firstLine = firstLine;
    report.removedLineBreaks = lastLine - firstLine;

    // Line bookkeeping before the text moves: the prefix of the first line and the suffix of
    // the last line survive around the inserted pieces.
    const std::size_t prefix = position - m_lines.lineStart(firstLine);
    const std::size_t lastEnd = m_lines.lineStart(lastLine) + m_lines.lineLength(lastLine);
    const std::size_t suffix = lastEnd - (position + removed);

    ensureGap(inserted.size() + 1);
    moveGap(position);
    m_gapEnd += removed;
    std::memcpy(m_text.data() + m_gapStart, inserted.data(), inserted.size() * sizeof(char16_t));
    if (hasClasses())
        std::memset(m_classes.data() + m_gapStart, insertedClass, inserted.size());
    else if (insertedClass != 0 && !inserted.empty()) {
        ensureClasses();
        std::memset(m_classes.data() + m_gapStart, insertedClass, inserted.size());
    }
    m_gapStart += inserted.size();

    std::vector<std::uint32_t> pieces;
    std::size_t pieceStart = 0;
    for (std::size_t i = 0; i < inserted.size(); ++i) {
        if (inserted[i] == u'\n') {
            pieces.push_back(std::uint32_t(i - pieceStart));
            pieceStart = i + 1;
        }
    }
    pieces.push_back(std::uint32_t(inserted.size() - pieceStart));
    report.insertedLineBreaks = pieces.size() - 1;
    pieces.front() += std::uint32_t(prefix);
    pieces.back() += std::uint32_t(suffix);
    m_lines.replaceLines(firstLine, lastLine - firstLine + 1, pieces.data(), pieces.size());

    adjustDecorations(position, removed, inserted.size());
    report.revision = ++m_revision;
    if (m_observer)
        m_observer->textReplaced(report);
    return report;
}

void TextStorage::adjustDecorations(std::size_t position, std::size_t removed, std::size_t inserted)
{
    const std::size_t removedEnd = position + removed;
    for (auto it = m_decorations.begin(); it != m_decorations.end();) {
        std::size_t start = it->start, end = it->start + it->length;
        auto map = [&](std::size_t p, bool isEnd) {
            if (p < position)
                return p;
            if (p >= removedEnd && !(isEnd && p == position && removed == 0))
                return p - removed + inserted;
            // Inside the removed span: collapse to the edit, an end keeps the inserted text.
            return isEnd ? position + inserted : position;
        };
        const std::size_t newStart = map(start, false);
        const std::size_t newEnd = std::max(newStart, map(end, true));
        if (newEnd == newStart && it->length != 0) {
            it = m_decorations.erase(it);
            continue;
        }
        it->start = newStart;
        it->length = newEnd - newStart;
        ++it;
    }
}

std::size_t TextStorage::copyClasses(std::size_t position, std::size_t count, std::uint8_t *out) const
{
    const std::size_t size = length();
    position = std::min(position, size);
    count = std::min(count, size - position);
    if (!hasClasses()) {
        std::memset(out, 0, count);
        return count;
    }
    const std::uint8_t *data = m_classes.data();
    std::size_t done = 0;
    if (position < m_gapStart) {
        done = std::min(count, m_gapStart - position);
        std::memcpy(out, data + position, done);
    }
    if (done < count)
        std::memcpy(out + done, data + position + done + gapLength(), count - done);
    return count;
}

void TextStorage::setClass(std::size_t position, std::size_t count, std::uint8_t syntaxClass)
{
    const std::size_t size = length();
    position = std::min(position, size);
    count = std::min(count, size - position);
    if (count == 0 || (!hasClasses() && syntaxClass == 0))
        return;
    ensureClasses();
    std::uint8_t *data = m_classes.data();
    std::size_t done = 0;
    if (position < m_gapStart) {
        done = std::min(count, m_gapStart - position);
        std::memset(data + position, syntaxClass, done);
    }
    if (done < count)
        std::memset(data + position + done + gapLength(), syntaxClass, count - done);
    noteAttributes(position, count);
}

void TextStorage::setClasses(std::size_t position, const std::uint8_t *classes, std::size_t count)
{
    const std::size_t size = length();
    position = std::min(position, size);
    count = std::min(count, size - position);
    if (count == 0)
        return;
    ensureClasses();
    std::uint8_t *data = m_classes.data();
    std::size_t done = 0;
    if (position < m_gapStart) {
        done = std::min(count, m_gapStart - position);
        std::memcpy(data + position, classes, done);
    }
    if (done < count)
        std::memcpy(data + position + done + gapLength(), classes + done, count - done);
    noteAttributes(position, count);
}

void TextStorage::addDecoration(const Decoration &decoration)
{
    Decoration clamped = decoration;
    clamped.start = std::min(clamped.start, length());
    clamped.length = std::min(clamped.length, length() - clamped.start);
    m_decorations.push_back(clamped);
    noteAttributes(clamped.start, clamped.length);
}

void TextStorage::removeDecorations(std::size_t start, std::size_t length)
{
    const std::size_t end = start + length;
    std::vector<Decoration> kept;
    bool changed = false;
    for (const Decoration &d : m_decorations) {
        const std::size_t dEnd = d.start + d.length;
        if (dEnd <= start || d.start >= end || d.length == 0) {
            if (!(d.length == 0 && d.start >= start && d.start < end)) {
                kept.push_back(d);
                continue;
            }
            changed = true;
            continue;
        }
        changed = true;
        if (d.start < start) {
            Decoration left = d;
            left.length = start - d.start;
            kept.push_back(left);
        }
        if (dEnd > end) {
            Decoration right = d;
            right.start = end;
            right.length = dEnd - end;
            kept.push_back(right);
        }
    }
    if (changed) {
        m_decorations = std::move(kept);
        noteAttributes(start, length);
    }
}

void TextStorage::beginEditing()
{
    ++m_editingDepth;
}

void TextStorage::endEditing()
{
    if (m_editingDepth == 0)
        return;
    if (--m_editingDepth == 0 && m_dirty) {
        m_dirty = false;
        if (m_observer)
            m_observer->attributesChanged(m_dirtyStart, m_dirtyEnd - m_dirtyStart);
    }
}

void TextStorage::noteAttributes(std::size_t start, std::size_t length)
{
    if (m_editingDepth == 0) {
        if (m_observer)
            m_observer->attributesChanged(start, length);
        return;
    }
    if (!m_dirty) {
        m_dirty = true;
        m_dirtyStart = start;
        m_dirtyEnd = start + length;
    } else {
        m_dirtyStart = std::min(m_dirtyStart, start);
        m_dirtyEnd = std::max(m_dirtyEnd, start + length);
    }
}

} // namespace TextView
