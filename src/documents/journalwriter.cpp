#include "journalwriter.h"

#include "document.h"
#include "posixfile_p.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents::EditJournal {

using Internal::FileDescriptor;

namespace {

constexpr std::string_view journalSuffix = ".cvj";
constexpr std::string_view temporaryPrefix = ".tmp-";
// Units copied from a snapshot per piece: short enough that the owner never waits long.
constexpr std::size_t snapshotPiece = 64 * 1024;

std::int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// A name no other journal has had: this process, its start and a count.
std::string freshJournalName()
{
    static std::atomic<std::uint64_t> counter{0};
    const Internal::ProcessIdentity self = Internal::currentProcess();
    return std::to_string(self.pid) + "-" + std::to_string(self.startTime) + "-"
           + std::to_string(counter.fetch_add(1)) + "-" + std::to_string(nowMs()) + std::string(journalSuffix);
}

// Locks `fd` for this process; true when no one else held it. The lock belongs to the open file,
// so a file renamed over or deleted meanwhile is checked by the caller (sameFile).
bool tryLock(int fd)
{
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// True while `path` still names the file open as `fd`.
bool sameFile(int fd, const std::string &path)
{
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev
           && open.st_ino == named.st_ino;
}

std::optional<std::string> readWhole(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    std::string bytes(std::size_t(info.st_size), '\0');
    std::size_t got = 0;
    if (!Internal::readAllAt(fd, bytes.data(), bytes.size(), 0, got))
        return std::nullopt;
    bytes.resize(got);
    return bytes;
}

} // namespace

bool preparePrivateFolder(const std::string &folder)
{
    if (folder.empty())
        return false;
    // Parents as the user's umask has them; the folder itself private.
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        ::mkdir(folder.substr(0, slash).c_str(), 0777);
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return false;
    return true;
}

// ---- LockedFile -------------------------------------------------------------------------------

LockedFile::~LockedFile()
{
    close();
}

LockedFile::LockedFile(LockedFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
}

LockedFile &LockedFile::operator=(LockedFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

void LockedFile::remove()
{
    // Unlinked while still locked: no one can take the name for an orphan in between.
    if (m_fd >= 0 && sameFile(m_fd, m_path))
        ::unlink(m_path.c_str());
    close();
}

void LockedFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

// ---- Orphans ----------------------------------------------------------------------------------

std::vector<Orphan> takeOrphans(const std::string &folder)
{
    std::vector<Orphan> found;
    DIR *directory = ::opendir(folder.c_str());
    if (!directory)
        return found;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(directory))
        names.emplace_back(entry->d_name);
    ::closedir(directory);
    std::sort(names.begin(), names.end());
    for (const std::string &name : names) {
        const bool temporary = name.rfind(temporaryPrefix, 0) == 0;
        if (!temporary && !endsWith(name, journalSuffix))
            continue;
        const std::string path = folder + "/" + name;
        FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
        if (!fd.valid())
            continue;
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || !tryLock(fd.get()))
            continue; // Another process writes it.
        if (!sameFile(fd.get(), path))
            continue; // Renamed over or deleted before the lock came: not this name's file any more.
        if (temporary) {
            ::unlink(path.c_str()); // A rewrite that a kill cut short; the journal it replaced stays.
            continue;
        }
        const auto bytes = readWhole(fd.get());
        Orphan orphan{LockedFile(fd.release(), path),
                      bytes ? decode(*bytes) : std::variant<Decoded, std::string>(std::string("unreadable"))};
        found.push_back(std::move(orphan));
    }
    return found;
}

// ---- Writer -----------------------------------------------------------------------------------

Writer::Writer(std::string folder) : m_folder(std::move(folder))
{
    m_thread = std::thread([this] { run(); });
}

Writer::~Writer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Writer::rewrite(Header header, BaseText base, std::vector<Record> records)
{
    enqueue(Rewrite{std::move(header), std::move(base), std::move(records)});
}

void Writer::append(std::vector<Record> records)
{
    if (!records.empty())
        enqueue(Append{std::move(records)});
}

void Writer::remove()
{
    enqueue(Remove{});
}

void Writer::release()
{
    enqueue(Release{});
}

void Writer::adopt(LockedFile file)
{
    enqueue(Adopt{std::make_shared<LockedFile>(std::move(file))});
}

void Writer::enqueue(Operation operation)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(operation));
    }
    m_wake.notify_one();
}

void Writer::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

std::string Writer::currentPath() const
{
    std::lock_guard lock(m_mutex);
    return m_currentPath;
}

std::string Writer::lastError() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}

void Writer::setError(std::string error)
{
    std::lock_guard lock(m_mutex);
    m_error = std::move(error);
}

void Writer::run()
{
    // At the priority of the window's jobs, not below: an edit revokes the snapshot this thread
    // may be copying and waits for the piece in hand, which a starved thread would hold long.
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            if (m_stopping)
                break;
            continue;
        }
        // The whole batch, then one sync for all its appends.
        std::deque<Operation> batch = std::move(m_queue);
        m_queue.clear();
        m_busy = true;
        lock.unlock();
        bool appended = false;
        for (Operation &operation : batch) {
            appended = appended || std::holds_alternative<Append>(operation);
            std::visit([this](auto &op) { perform(op); }, operation);
        }
        if (appended && m_file.isOpen())
            ::fdatasync(m_file.fd());
        const std::string path = m_file.isOpen() ? m_file.path() : std::string();
        lock.lock();
        m_currentPath = path;
        m_busy = false;
        if (m_queue.empty())
            m_idle.notify_all();
    }
    lock.unlock();
    m_idle.notify_all();
}

void Writer::perform(Rewrite &rewrite)
{
    // The base text first: without it there is nothing to write.
    std::optional<std::variant<LoadedText, Base::Message>> loaded;
    std::optional<std::u16string_view> owned;
    std::shared_ptr<const Base::TextSnapshot> snapshot;
    if (auto *file = std::get_if<FromFile>(&rewrite.base)) {
        loaded = decodeForLoad(file->path, file->encoding);
        auto *text = std::get_if<LoadedText>(&*loaded);
        if (!text || !text->version || changedOnDisk(file->version, *text->version)
            || text->text.size() != file->length) {
            m_needsBase = true;
            return;
        }
        owned = text->text.view();
    } else if (auto *given = std::get_if<FromText>(&rewrite.base)) {
        owned = std::u16string_view(*given->text);
    } else {
        snapshot = std::get<FromSnapshot>(rewrite.base).snapshot;
    }
    const std::size_t units = owned ? owned->size() : snapshot->length();

    if (!preparePrivateFolder(m_folder)) {
        setError("the journal folder is not private");
        return;
    }
    std::string temporary = m_folder + "/" + std::string(temporaryPrefix) + "XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.valid()) {
        setError(systemErrorText(errno));
        return;
    }
    // Locked before it has a journal's name, so that no start ever sees it unlocked.
    ::flock(fd.get(), LOCK_EX);
    const auto fail = [&](std::string error) {
        ::unlink(temporary.c_str());
        setError(std::move(error));
    };

    std::string chunk = encodeHeader(rewrite.header) + encodeTextStart(units);
    std::uint32_t textCrc = 0;
    bool ok = Internal::writeAll(fd.get(), chunk);
    std::u16string piece;
    for (std::size_t at = 0; ok && at < units; at += snapshotPiece) {
        const std::size_t count = std::min(snapshotPiece, units - at);
        std::u16string_view view;
        if (owned) {
            view = owned->substr(at, count);
        } else {
            piece.resize(count);
            if (!snapshot->copy(at, count, piece.data())) {
                // Taken back by an edit: the journal as it was still holds, with its records.
                ::unlink(temporary.c_str());
                m_needsBase = !m_file.isOpen();
                return;
            }
            view = piece;
        }
        chunk.clear();
        appendUnits(chunk, view);
        textCrc = crc32(textCrc, chunk);
        ok = Internal::writeAll(fd.get(), chunk);
    }
    chunk = encodeTextEnd(textCrc);
    for (const Record &record : rewrite.records)
        appendRecord(chunk, record);
    ok = ok && Internal::writeAll(fd.get(), chunk) && ::fdatasync(fd.get()) == 0;
    if (!ok) {
        fail(systemErrorText(errno));
        return;
    }
    const std::string target = m_file.isOpen() ? m_file.path() : m_folder + "/" + freshJournalName();
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        fail(systemErrorText(errno));
        return;
    }
    Internal::syncFolder(m_folder);
    // The old file (renamed over) goes with its lock.
    m_file = LockedFile(fd.release(), target);
    setError({});
}

void Writer::perform(Append &append)
{
    if (!m_file.isOpen()) {
        m_needsBase = true; // A start that failed: these edits need a base the caller still has.
        return;
    }
    std::string bytes;
    for (const Record &record : append.records)
        appendRecord(bytes, record);
    if (::lseek(m_file.fd(), 0, SEEK_END) < 0 || !Internal::writeAll(m_file.fd(), bytes)) {
        setError(systemErrorText(errno));
        // A half-written record ends the journal when read, and what follows it with it: the
        // caller's next rewrite replaces the file.
        m_needsBase = true;
        return;
    }
    setError({});
}

void Writer::perform(Remove &)
{
    m_file.remove();
    if (!m_file.isOpen())
        Internal::syncFolder(m_folder);
}

void Writer::perform(Release &)
{
    m_file.close();
}

void Writer::perform(Adopt &adopt)
{
    m_file = std::move(*adopt.file);
}

} // namespace Documents::EditJournal
