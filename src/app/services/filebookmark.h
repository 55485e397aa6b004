#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace App {

// A persistent reference to a file that still finds it after it was given a new name in its
// folder. Linux has no such service, so the bytes hold an identity of our own (device, inode,
// birth time where the file system records one, and the folder and name the file had); callers
// treat them as opaque.
namespace FileBookmark {

// The bookmark of the regular file at `path` (symbolic links followed); empty when the file
// cannot be examined.
QByteArray make(const QString &path);

struct Resolution {
    QString path;
    // True when the bookmark no longer describes the file as it is (renamed, or replaced by a
    // new file under the same name): make a fresh one for `path`.
    bool isStale = false;
};

// Where the file of `bookmark` is now, in this order:
// 1. the path it was made for, when that is still the same file (same device and inode): not stale;
// 2. a regular file in the same folder that is that file (renamed within its folder): stale;
// 3. the path it was made for, when a different regular file is there now (a save that
//    replaced the file by a new one): stale.
// Nothing when the bytes do not decode or none of these holds (moved elsewhere, deleted).
std::optional<Resolution> resolve(const QByteArray &bookmark);

} // namespace FileBookmark
} // namespace App
