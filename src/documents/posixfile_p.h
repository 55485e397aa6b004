#pragma once

// POSIX plumbing shared by the load and save paths of this folder.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include <sys/types.h>

namespace Documents::Internal {

// Closes a descriptor on every path out of a function.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor &&other) noexcept : m_fd(other.release()) {}
    FileDescriptor &operator=(FileDescriptor &&other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = other.release();
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset();

private:
    int m_fd;
};

// Writes or reads everything, retrying on EINTR; false with errno set on failure.
bool writeAll(int fd, std::string_view bytes);
bool writeAllAt(int fd, std::string_view bytes, off_t offset);
// Reads up to `size` bytes (from `offset` for readAllAt), stopping early only at the end of the
// file.
bool readAll(int fd, char *into, std::size_t size, std::size_t &got);
bool readAllAt(int fd, char *into, std::size_t size, off_t offset, std::size_t &got);

std::string folderOf(const std::string &path);
std::string nameOf(const std::string &path);
void syncFolder(const std::string &folder);

// The file that a write to `path` must change: the final target when `path` is a symlink.
std::string resolveTarget(const std::string &path);

// A process, told apart from a later one that reuses its id by its start time (0 where the
// system does not say).
struct ProcessIdentity {
    std::int64_t pid = 0;
    std::uint64_t startTime = 0;
};
ProcessIdentity currentProcess();
// False only when the process certainly no longer runs.
bool mayBeRunning(const ProcessIdentity &process);

// A fast, non-cryptographic 64-bit digest: it tells a completed rewrite from a torn one.
std::uint64_t digest(std::string_view bytes);

// Saving must fail with EFBIG, not die, when a file-size limit (ulimit -f) is hit.
void ignoreFileSizeSignal();

} // namespace Documents::Internal
