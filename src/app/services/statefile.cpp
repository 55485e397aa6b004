#include "statefile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace App::StateFile {

namespace {

Status statusOf(const struct stat &status, qint64 limit)
{
    if (!S_ISREG(status.st_mode))
        return Status::NotRegular;
    return status.st_size > limit ? Status::TooLarge : Status::Regular;
}

Status failure(int error)
{
    return error == ENOENT || error == ENOTDIR ? Status::Absent : Status::Unreadable;
}

} // namespace

Status inspect(const QString &path, qint64 limit)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return failure(errno);
    return statusOf(status, limit);
}

Contents read(const QString &path, qint64 limit)
{
    const QByteArray native = QFile::encodeName(path);
    // Looked at first: opening some devices has effects of its own (a tape rewinds).
    if (const Status seen = inspect(path, limit); seen != Status::Regular)
        return {seen, {}};
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {failure(errno), {}};
    struct stat status {};
    Contents contents;
    if (::fstat(fd, &status) != 0) {
        contents.status = Status::Unreadable;
    } else if (const Status opened = statusOf(status, limit); opened != Status::Regular) {
        contents.status = opened;
    } else {
        // One byte more than the limit tells a file that grew past it since it was looked at.
        QByteArray bytes;
        bytes.reserve(qsizetype(std::min<qint64>(status.st_size, limit)) + 1);
        char chunk[64 * 1024];
        contents.status = Status::Regular;
        while (bytes.size() <= limit) {
            const auto wanted = std::min<qint64>(qint64(sizeof chunk), limit + 1 - bytes.size());
            const ssize_t n = ::read(fd, chunk, size_t(wanted));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                contents.status = Status::Unreadable;
                break;
            }
            if (n == 0)
                break;
            bytes.append(chunk, n);
        }
        if (contents.status == Status::Regular && bytes.size() > limit)
            contents.status = Status::TooLarge;
        if (contents.status == Status::Regular)
            contents.bytes = std::move(bytes);
    }
    ::close(fd);
    return contents;
}

} // namespace App::StateFile
