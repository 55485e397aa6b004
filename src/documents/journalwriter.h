#pragma once

#include "documents/editjournal.h"
#include "documents/encoding.h"

#include "base/textsnapshot.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

namespace Documents::EditJournal {

// Makes `folder` (and its parents) and checks that it is private: a folder of this user with
// mode 0700 (a folder of ours with a wider mode is narrowed). False when it cannot be.
bool preparePrivateFolder(const std::string &folder);

// A journal file held by this process: open, and locked (flock) for as long as the handle
// lives, so that no other process takes it for an orphan.
class LockedFile {
public:
    LockedFile() = default;
    LockedFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~LockedFile();
    LockedFile(LockedFile &&other) noexcept;
    LockedFile &operator=(LockedFile &&other) noexcept;
    LockedFile(const LockedFile &) = delete;
    LockedFile &operator=(const LockedFile &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string &path() const { return m_path; }
    // Deletes the file, then lets it go.
    void remove();
    // Lets the file go, leaving it where it is.
    void close();

private:
    int m_fd = -1;
    std::string m_path;
};

// A journal another process left behind (its lock could be taken), read and locked by this one.
struct Orphan {
    LockedFile file;
    // The journal, or why it cannot be read.
    std::variant<Decoded, std::string> content;
};

// Every journal in `folder` that no living process holds: each locked for the caller. Journals
// of live processes, and temporary files being written, are left alone; temporary files a
// killed writer left are deleted.
std::vector<Orphan> takeOrphans(const std::string &folder);

// Writes one document's journal on a thread of its own, in the order asked: a rewrite (a base
// text and the records after it, in a new file renamed over the old one) or records appended
// to the current file and synced (fdatasync) once per batch. The caller decides how often to
// hand work over; each call only queues it. Failures are never fatal: a base that cannot be
// had (the file changed under the load's version, a snapshot taken back) leaves the current
// journal as it was and sets needsBase(), and the caller sends a rewrite from its own text.
class Writer {
public:
    // Where the base text of a rewrite comes from.
    struct FromFile {
        std::string path;
        Encoding encoding = Encoding::Utf8;
        DiskVersion version;
        // Units the text had then: a decode that gives another length is not that text.
        std::size_t length = 0;
    };
    struct FromText {
        std::shared_ptr<const std::u16string> text;
    };
    struct FromSnapshot {
        std::shared_ptr<const Base::TextSnapshot> snapshot;
    };
    using BaseText = std::variant<FromFile, FromText, FromSnapshot>;

    explicit Writer(std::string folder);
    // Finishes the work queued, then stops; the journal file stays unless removed.
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void rewrite(Header header, BaseText base, std::vector<Record> records);
    void append(std::vector<Record> records);
    // Deletes the journal (its edits reached the disk, or were given up).
    void remove();
    // Lets the journal file go as it is, for a later start to offer.
    void release();
    // Takes `file` as the current journal: appends go to it, a rewrite replaces it.
    void adopt(LockedFile file);

    // True once a base could not be had; reading it clears it.
    bool takeNeedsBase() { return m_needsBase.exchange(false); }
    // Blocks until everything queued so far is done (tests, and before a clean exit).
    void waitUntilIdle();
    // The current journal file, empty when there is none.
    std::string currentPath() const;
    // The last failure to write, empty when the last operation succeeded.
    std::string lastError() const;

private:
    struct Rewrite {
        Header header;
        BaseText base;
        std::vector<Record> records;
    };
    struct Append {
        std::vector<Record> records;
    };
    struct Remove {};
    struct Release {};
    struct Adopt {
        std::shared_ptr<LockedFile> file;
    };
    using Operation = std::variant<Rewrite, Append, Remove, Release, Adopt>;

    void enqueue(Operation operation);
    void run();
    void perform(Rewrite &rewrite);
    void perform(Append &append);
    void perform(Remove &);
    void perform(Release &);
    void perform(Adopt &adopt);
    void setError(std::string error);

    const std::string m_folder;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Operation> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::atomic<bool> m_needsBase{false};
    std::string m_error;
    std::string m_currentPath;
    // Writer thread only.
    LockedFile m_file;
    std::thread m_thread;
};

} // namespace Documents::EditJournal
