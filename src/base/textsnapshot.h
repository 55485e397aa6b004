#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace Base {

// A text that background work reads piece by piece while its owner may take it back: the text
// view's storage hands one to each background job instead of a copy of a 50 MB document, and
// revokes it before it changes the memory the snapshot points into. A reader copies what it
// needs in pieces and gives up once `copy` fails, which every edit causes; a job whose snapshot
// was revoked is stale anyway. Thread-safe for any number of readers.
class TextSnapshot {
public:
    virtual ~TextSnapshot() = default;

    // Length in UTF-16 units, fixed for the snapshot's life.
    virtual std::size_t length() const = 0;
    // Copies [position, position + count) into `out` (the range must lie within the text).
    // False once the snapshot was revoked; `out` is then unspecified.
    virtual bool copy(std::size_t position, std::size_t count, char16_t *out) const = 0;
    // True once revoked: the reader should stop.
    virtual bool isRevoked() const = 0;

    // Hands [position, position + count) to `visit` without copying it where the owner can: as
    // one view, or two where the owner's memory is split, each valid only during its call. The
    // owner cannot take the text back during a call, so keep each one short (a piece of a few
    // kilobytes). False once revoked; nothing, or only a first part, was visited then.
    virtual bool read(std::size_t position, std::size_t count,
                      const std::function<void(std::u16string_view)> &visit) const
    {
        std::u16string piece(count, u'\0');
        if (!copy(position, count, piece.data()))
            return false;
        visit(piece);
        return true;
    }
};

// A snapshot of text that never changes (tests, the command-line tools).
class FixedTextSnapshot final : public TextSnapshot {
public:
    explicit FixedTextSnapshot(std::u16string_view text) : m_text(text) {}
    std::size_t length() const override { return m_text.size(); }
    bool copy(std::size_t position, std::size_t count, char16_t *out) const override
    {
        m_text.copy(out, count, position);
        return true;
    }
    bool isRevoked() const override { return false; }
    bool read(std::size_t position, std::size_t count,
              const std::function<void(std::u16string_view)> &visit) const override
    {
        visit(m_text.substr(position, count));
        return true;
    }

private:
    std::u16string_view m_text;
};

} // namespace Base
