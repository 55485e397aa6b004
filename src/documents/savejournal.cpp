#include "savejournal.h"
#include "savejournal_p.h"

#include "documents/fileio.h"
#include "filereplace_p.h"
#include "posixfile_p.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace Documents {

namespace Internal {

namespace {

constexpr char journalMagic[8] = {'C', 'V', 'J', 'R', 'N', 'L', '0', '1'};

// The journal is this header followed by the old contents. It is written under a temporary
// name and linked into place only when complete, so a journal that exists is whole.
struct JournalHeader {
    char magic[8] = {};
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t pid = 0;
    std::uint64_t startTime = 0;
    std::uint64_t oldSize = 0;
    std::uint64_t oldDigest = 0;
    std::uint64_t newSize = 0;
    std::uint64_t newDigest = 0;
    std::uint64_t headerDigest = 0;

    std::string_view checkedBytes() const
    {
        return {reinterpret_cast<const char *>(this), offsetof(JournalHeader, headerDigest)};
    }
    bool isSound() const
    {
        return std::memcmp(magic, journalMagic, sizeof magic) == 0 && headerDigest == digest(checkedBytes());
    }
};
static_assert(sizeof(JournalHeader) == 80);

bool readFile(int fd, std::size_t size, std::string &into)
{
    into.assign(size, '\0');
    std::size_t got = 0;
    if (!readAll(fd, into.data(), size, got))
        return false;
    into.resize(got);
    return true;
}

bool putContents(int fd, std::string_view bytes)
{
    return writeAllAt(fd, bytes, 0) && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// Publishes a complete journal under its fixed name without replacing one that exists.
bool publishJournal(const std::string &temporaryPath, const std::string &journalPath)
{
    if (::link(temporaryPath.c_str(), journalPath.c_str()) == 0) {
        ::unlink(temporaryPath.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // File systems without hard links: a rename, after checking that the name is free.
    if (::access(journalPath.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(temporaryPath.c_str(), journalPath.c_str()) == 0;
}

enum class Settled { NoJournal, LeftAlone, Untouched, Finished, Restored, Failed };

struct Settlement {
    Settled kind = Settled::NoJournal;
    std::string failure; // The system's error text when kind is Failed.
};

// Settles the journal of `target` if one exists (see recoverInterruptedSave). A journal of this
// process counts as settled only for `fromSave`: saves run one at a time, but a load on another
// thread must not undo a rewrite in progress.
Settlement settleJournal(const std::string &target, bool fromSave)
{
    const std::string journalPath = journalPathFor(target);
    FileDescriptor journal(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!journal.valid())
        return {errno == ENOENT ? Settled::NoJournal : Settled::LeftAlone, {}};
    JournalHeader header;
    std::size_t got = 0;
    if (!readAll(journal.get(), reinterpret_cast<char *>(&header), sizeof header, got) || got != sizeof header
        || !header.isSound())
        return {Settled::LeftAlone, {}}; // Not one of ours, or damaged: never act on it.
    const ProcessIdentity owner{header.pid, header.startTime};
    const ProcessIdentity self = currentProcess();
    const bool ours = owner.pid == self.pid && owner.startTime == self.startTime;
    if (ours ? !fromSave : mayBeRunning(owner))
        return {Settled::LeftAlone, {}};

    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return {Settled::LeftAlone, {}};
    if (std::uint64_t(info.st_dev) != header.device || std::uint64_t(info.st_ino) != header.inode) {
        // The file was replaced since: the journal speaks of contents that are gone.
        ::unlink(journalPath.c_str());
        return {Settled::Untouched, {}};
    }
    FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!file.valid())
        file = FileDescriptor(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return {Settled::Failed, systemErrorText(errno)};
    std::string current;
    if (!readFile(file.get(), std::size_t(info.st_size), current))
        return {Settled::Failed, systemErrorText(errno)};
    const std::uint64_t currentDigest = digest(current);
    if (current.size() == header.newSize && currentDigest == header.newDigest) {
        ::fsync(file.get());
        ::unlink(journalPath.c_str());
        return {Settled::Finished, {}};
    }
    if (current.size() == header.oldSize && currentDigest == header.oldDigest) {
        ::unlink(journalPath.c_str());
        return {Settled::Untouched, {}};
    }
    std::string old;
    if (!readFile(journal.get(), std::size_t(header.oldSize), old))
        return {Settled::Failed, systemErrorText(errno)};
    if (old.size() != header.oldSize || digest(old) != header.oldDigest)
        return {Settled::Failed, systemErrorText(EIO)};
    if (!putContents(file.get(), old))
        return {Settled::Failed, systemErrorText(errno == 0 ? EBADF : errno)};
    ::unlink(journalPath.c_str());
    syncFolder(folderOf(target));
    return {Settled::Restored, {}};
}

} // namespace

std::optional<std::string> rewriteInPlace(const std::string &target, std::string_view bytes,
                                          const struct stat &existing)
{
    FileDescriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!file.valid())
        return systemErrorText(errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0)
        return systemErrorText(errno);
    if (info.st_dev != existing.st_dev || info.st_ino != existing.st_ino)
        return systemErrorText(EAGAIN); // Replaced under our feet; the next save tries again.

    const std::string journalPath = journalPathFor(target);
    if (settleJournal(target, true).kind == Settled::LeftAlone || ::access(journalPath.c_str(), F_OK) == 0)
        return std::string("Another save of this file has not finished");

    std::string old;
    if (!readFile(file.get(), std::size_t(info.st_size), old))
        return systemErrorText(errno);

    JournalHeader header;
    std::memcpy(header.magic, journalMagic, sizeof header.magic);
    header.device = std::uint64_t(info.st_dev);
    header.inode = std::uint64_t(info.st_ino);
    const Internal::ProcessIdentity self = currentProcess();
    header.pid = self.pid;
    header.startTime = self.startTime;
    header.oldSize = old.size();
    header.oldDigest = digest(old);
    header.newSize = bytes.size();
    header.newDigest = digest(bytes);
    header.headerDigest = digest(header.checkedBytes());
    {
        std::string temporaryPath;
        FileDescriptor journal = createTemporaryBeside(target, temporaryPath, 0600);
        if (!journal.valid())
            return systemErrorText(errno);
        const bool written = writeAllAt(journal.get(), {reinterpret_cast<const char *>(&header), sizeof header}, 0)
                             && writeAllAt(journal.get(), old, off_t(sizeof header)) && ::fsync(journal.get()) == 0;
        const int error = errno;
        journal.reset();
        if (!written || !publishJournal(temporaryPath, journalPath)) {
            const int publishError = written ? errno : error;
            ::unlink(temporaryPath.c_str());
            return systemErrorText(publishError);
        }
        syncFolder(folderOf(target));
    }

    if (!putContents(file.get(), bytes)) {
        const int error = errno;
        if (putContents(file.get(), old)) {
            ::unlink(journalPath.c_str());
            return systemErrorText(error);
        }
        return systemErrorText(error) + " (the previous contents are kept in " + journalPath + ")";
    }
    ::unlink(journalPath.c_str());
    return std::nullopt;
}

} // namespace Internal

std::optional<Base::Message> recoverInterruptedSave(const std::string &path)
{
    const std::string target = Internal::resolveTarget(path);
    const std::string name = Internal::nameOf(target);
    const auto settled = Internal::settleJournal(target, false);
    switch (settled.kind) {
    case Internal::Settled::Finished:
        return Base::Message{"An interrupted save of %@ had written the new text in full; the file holds it.", {name}};
    case Internal::Settled::Restored:
        return Base::Message{"An interrupted save of %@ left the file half written; its previous contents were restored.",
                             {name}};
    case Internal::Settled::Failed:
        return Base::Message{"An interrupted save of %@ left the file half written, and its previous contents could "
                             "not be put back (%@). They are kept in %@.",
                             {name, settled.failure, Internal::journalPathFor(target)}};
    case Internal::Settled::NoJournal:
    case Internal::Settled::LeftAlone:
    case Internal::Settled::Untouched:
        break;
    }
    return std::nullopt;
}

} // namespace Documents
