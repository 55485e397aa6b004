#pragma once

#include <QByteArray>
#include <QString>

namespace App {

// The small files the application keeps its state in (the settings, the user's mimeapps.list)
// are read only when they are regular files of a bounded size. Whatever else may sit at their
// place (a named pipe, which blocks a reader until someone writes, a device such as /dev/zero,
// which never ends, a file of gigabytes) counts as unusable: the caller goes on without it and
// never writes over it. Symbolic links are followed, as dotfile managers link these files.
namespace StateFile {

// Larger files are not state files of ours: 1 MiB.
inline constexpr qint64 maximumSize = 1 << 20;

enum class Status {
    Absent,     // nothing there (or a path through something that is not a folder)
    Regular,    // a regular file of at most the limit
    NotRegular, // a pipe, device, socket or folder
    TooLarge,   // a regular file over the limit
    Unreadable, // the system refused to look at it or open it
};

struct Contents {
    Status status = Status::Absent;
    QByteArray bytes; // the file's bytes when status is Regular, else empty
};

// What `path` names, from its status alone: nothing is opened.
Status inspect(const QString &path, qint64 limit = maximumSize);

// Reads `path` when it is a regular file of at most `limit` bytes. The file is opened without
// blocking and checked again on the open descriptor, so that a pipe put in its place between
// the look and the open is refused too, and never more than `limit` + 1 bytes are read.
Contents read(const QString &path, qint64 limit = maximumSize);

// Whether a caller may go on with what is there: nothing yet, or a regular file within the limit.
inline bool isUsable(Status status)
{
    return status == Status::Absent || status == Status::Regular;
}

} // namespace StateFile

} // namespace App
