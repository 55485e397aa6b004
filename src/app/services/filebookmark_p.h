#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace App::FileBookmark::Internal {

// What a bookmark holds. Two identities name the same file when device and inode agree and,
// when both know it, the birth time too: inode numbers are reused after a deletion, birth times
// tell the new file from the old one.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool hasBirthTime = false;
    std::int64_t birthSeconds = 0;
    std::uint32_t birthNanoseconds = 0;
    QString folder; // absolute, as the path was given (not canonical)
    QString name;

    bool isSameFile(const FileIdentity &other) const;
};

// The identity of the regular file at `path`, or nothing.
std::optional<FileIdentity> identityOf(const QString &path);

QByteArray encode(const FileIdentity &identity);
std::optional<FileIdentity> decode(const QByteArray &bytes);

} // namespace App::FileBookmark::Internal
