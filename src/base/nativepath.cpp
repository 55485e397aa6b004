#include "nativepath.h"

#include <QStringList>

namespace Base {

namespace {

constexpr char16_t escapeBase = 0xDC00;

// Length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t validSequence(std::string_view bytes, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    char32_t minimum = 0;
    char32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString pathFromNative(std::string_view bytes)
{
    QString path;
    path.reserve(qsizetype(bytes.size()));
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t length = validSequence(bytes, at);
        if (length == 0) {
            path.append(QChar(char16_t(escapeBase + static_cast<unsigned char>(bytes[at]))));
            ++at;
            continue;
        }
        path.append(QString::fromUtf8(bytes.data() + at, qsizetype(length)));
        at += length;
    }
    return path;
}

std::string nativeFromPath(const QString &path)
{
    std::string bytes;
    bytes.reserve(std::size_t(path.size()));
    qsizetype runStart = 0;
    const auto flush = [&](qsizetype end) {
        if (end > runStart)
            bytes += path.mid(runStart, end - runStart).toStdString();
    };
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path.at(i).unicode();
        const bool escaped = unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF
                             && !(i > 0 && path.at(i - 1).isHighSurrogate());
        if (!escaped)
            continue;
        flush(i);
        bytes += char(unit - escapeBase);
        runStart = i + 1;
    }
    flush(path.size());
    return bytes;
}

QStringList argumentsFromNative(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << pathFromNative(argv[i]);
    return arguments;
}

} // namespace Base
