#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace Base {

// File names on Linux are bytes, usually but not always UTF-8. A name is carried in a QString
// without loss: valid UTF-8 decodes as usual, and each byte of an invalid sequence becomes the
// lone surrogate U+DC00 + byte (bytes 0x80-0xFF only, so U+DC80-U+DCFF), which no valid text
// holds. The two functions are inverse: nativeFromPath(pathFromNative(b)) == b for all bytes b.
QString pathFromNative(std::string_view bytes);
std::string nativeFromPath(const QString &path);

// The process's arguments as given, one path-safe string each (argv[0] left out).
QStringList argumentsFromNative(int argc, char **argv);

} // namespace Base
