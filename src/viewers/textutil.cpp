#include "viewers/textutil_p.h"

namespace Viewers::Internal {

bool isBlank(std::u16string_view text)
{
    for (char16_t c : text) {
        if (!isWhitespaceOrNewline(c))
            return false;
    }
    return true;
}

namespace {

template<typename Out>
bool encode(std::u16string_view text, Out &out)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    char block[256];
    std::size_t used = 0;
    auto flush = [&] {
        out.append(block, used);
        used = 0;
    };
    while (i < n) {
        if (used > sizeof(block) - 4)
            flush();
        const char16_t c = text[i];
        if (c < 0x80) {
            block[used++] = char(c);
            ++i;
        } else if (c < 0x800) {
            block[used++] = char(0xC0 | (c >> 6));
            block[used++] = char(0x80 | (c & 0x3F));
            ++i;
        } else if (c < 0xD800 || c > 0xDFFF) {
            block[used++] = char(0xE0 | (c >> 12));
            block[used++] = char(0x80 | ((c >> 6) & 0x3F));
            block[used++] = char(0x80 | (c & 0x3F));
            ++i;
        } else {
            if (c > 0xDBFF || i + 1 >= n || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                flush();
                return false;
            }
            const char32_t scalar = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            block[used++] = char(0xF0 | (scalar >> 18));
            block[used++] = char(0x80 | ((scalar >> 12) & 0x3F));
            block[used++] = char(0x80 | ((scalar >> 6) & 0x3F));
            block[used++] = char(0x80 | (scalar & 0x3F));
            i += 2;
        }
    }
    flush();
    return true;
}

} // namespace

bool appendUtf8(std::u16string_view text, Base::ByteBuffer &out)
{
    out.reserve(out.size() + text.size() + text.size() / 2 + 16);
    return encode(text, out);
}

bool appendUtf8(std::u16string_view text, std::string &out)
{
    out.reserve(out.size() + text.size());
    return encode(text, out);
}

void appendUtf16(std::string_view utf8, std::u16string &out)
{
    out.reserve(out.size() + utf8.size());
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const std::size_t n = utf8.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = p[i];
        char32_t scalar;
        std::size_t length;
        if (b < 0x80) {
            scalar = b;
            length = 1;
        } else if (b < 0xE0 && i + 1 < n) {
            scalar = (char32_t(b & 0x1F) << 6) | (p[i + 1] & 0x3F);
            length = 2;
        } else if (b < 0xF0 && i + 2 < n) {
            scalar = (char32_t(b & 0x0F) << 12) | (char32_t(p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
            length = 3;
        } else if (i + 3 < n) {
            scalar = (char32_t(b & 0x07) << 18) | (char32_t(p[i + 1] & 0x3F) << 12) | (char32_t(p[i + 2] & 0x3F) << 6)
                | (p[i + 3] & 0x3F);
            length = 4;
        } else {
            scalar = 0xFFFD;
            length = n - i;
        }
        if (scalar >= 0x10000) {
            out.push_back(char16_t(0xD800 + ((scalar - 0x10000) >> 10)));
            out.push_back(char16_t(0xDC00 + ((scalar - 0x10000) & 0x3FF)));
        } else {
            out.push_back(char16_t(scalar));
        }
        i += length;
    }
}

} // namespace Viewers::Internal
