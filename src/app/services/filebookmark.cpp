#include "filebookmark.h"
#include "filebookmark_p.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace App::FileBookmark {
namespace Internal {

namespace {

// "CVBM", then a format version; a newer version is refused rather than guessed at.
constexpr quint32 magic = 0x4356424D;
constexpr quint8 version = 1;

} // namespace

bool FileIdentity::isSameFile(const FileIdentity &other) const
{
    if (device != other.device || inode != other.inode)
        return false;
    if (hasBirthTime && other.hasBirthTime)
        return birthSeconds == other.birthSeconds && birthNanoseconds == other.birthNanoseconds;
    return true;
}

std::optional<FileIdentity> identityOf(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = QFile::encodeName(path);
    FileIdentity identity;
#ifdef __linux__
    struct statx status {};
    if (::statx(AT_FDCWD, native.constData(), 0, STATX_TYPE | STATX_INO | STATX_BTIME, &status) != 0)
        return std::nullopt;
    if (!S_ISREG(status.stx_mode))
        return std::nullopt;
    identity.device = makedev(status.stx_dev_major, status.stx_dev_minor);
    identity.inode = status.stx_ino;
    if (status.stx_mask & STATX_BTIME) {
        identity.hasBirthTime = true;
        identity.birthSeconds = status.stx_btime.tv_sec;
        identity.birthNanoseconds = status.stx_btime.tv_nsec;
    }
#else
    struct stat status {};
    if (::stat(native.constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
#endif
    const QFileInfo info(path);
    identity.folder = info.absolutePath();
    identity.name = info.fileName();
    return identity;
}

QByteArray encode(const FileIdentity &identity)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setVersion(QDataStream::Qt_6_0);
    stream << magic << version << quint64(identity.device) << quint64(identity.inode)
           << quint8(identity.hasBirthTime) << qint64(identity.birthSeconds)
           << quint32(identity.birthNanoseconds) << identity.folder << identity.name;
    return bytes;
}

std::optional<FileIdentity> decode(const QByteArray &bytes)
{
    QDataStream stream(bytes);
    stream.setVersion(QDataStream::Qt_6_0);
    quint32 readMagic = 0;
    quint8 readVersion = 0;
    stream >> readMagic >> readVersion;
    if (stream.status() != QDataStream::Ok || readMagic != magic || readVersion != version)
        return std::nullopt;
    quint64 device = 0, inode = 0;
    quint8 hasBirthTime = 0;
    qint64 birthSeconds = 0;
    quint32 birthNanoseconds = 0;
    FileIdentity identity;
    stream >> device >> inode >> hasBirthTime >> birthSeconds >> birthNanoseconds >> identity.folder
        >> identity.name;
    if (stream.status() != QDataStream::Ok || !stream.atEnd() || hasBirthTime > 1)
        return std::nullopt;
    if (!QDir::isAbsolutePath(identity.folder) || identity.name.isEmpty() || identity.name.contains('/'))
        return std::nullopt;
    identity.device = device;
    identity.inode = inode;
    identity.hasBirthTime = hasBirthTime == 1;
    identity.birthSeconds = birthSeconds;
    identity.birthNanoseconds = birthNanoseconds;
    return identity;
}

namespace {

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// A renamed file keeps its inode, so the folder's entries are matched by the inode number the
// directory itself lists, and only a match is examined further: a large folder costs one pass
// over its entries, not one stat per file.
std::optional<QString> findInFolder(const FileIdentity &wanted)
{
    DIR *folder = ::opendir(QFile::encodeName(wanted.folder).constData());
    if (!folder)
        return std::nullopt;
    std::optional<QString> found;
    while (const dirent *entry = ::readdir(folder)) {
        if (entry->d_ino != wanted.inode)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString candidate = joined(wanted.folder, name);
        const auto identity = identityOf(candidate);
        if (identity && identity->isSameFile(wanted)) {
            found = candidate;
            break;
        }
    }
    ::closedir(folder);
    return found;
}

} // namespace
} // namespace Internal

QByteArray make(const QString &path)
{
    const auto identity = Internal::identityOf(path);
    return identity ? Internal::encode(*identity) : QByteArray();
}

std::optional<Resolution> resolve(const QByteArray &bookmark)
{
    const auto wanted = Internal::decode(bookmark);
    if (!wanted)
        return std::nullopt;
    const QString original = Internal::joined(wanted->folder, wanted->name);
    const auto there = Internal::identityOf(original);
    if (there && there->isSameFile(*wanted))
        return Resolution{original, false};
    if (const auto renamed = Internal::findInFolder(*wanted))
        return Resolution{*renamed, true};
    if (there)
        return Resolution{original, true};
    return std::nullopt;
}

} // namespace App::FileBookmark
