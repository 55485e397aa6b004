#include "scratchfile.h"

#include "posixfile_p.h"
#include "textcodec.h"

#include <algorithm>

#include <dirent.h>

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents::ScratchFile {

namespace {

bool makeFolders(const std::string &folder)
{
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            break;
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string dateStamp(std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%02d", local.tm_mday, local.tm_mon + 1, local.tm_year % 100);
    return text;
}

std::optional<std::string> create(const std::string &folder, std::time_t when)
{
    if (folder.empty() || !makeFolders(folder))
        return std::nullopt;
    const std::string stem = folder + "/new-" + dateStamp(when);
    std::string candidate = stem + ".txt";
    for (int n = 2;; ++n) {
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST)
            return std::nullopt;
        candidate = stem + "-" + std::to_string(n) + ".txt";
    }
}

namespace {

constexpr std::size_t titleReadBytes = 4096;

bool isBlank(char16_t unit)
{
    return unit == u' ' || unit == u'\t' || unit == u'\r' || unit == u'\n' || unit == u'\uFEFF';
}

std::u16string titleOf(std::string bytes, bool whole)
{
    // A cut inside a character would make UTF-8 fail; whole lines decode as the file does.
    if (!whole)
        if (const auto lastBreak = bytes.rfind('\n'); lastBreak != std::string::npos)
            bytes.resize(lastBreak + 1);
    auto decoded = decodeWithFallback(bytes);
    const auto *text = std::get_if<DecodedText>(&decoded);
    if (!text)
        return {};
    const std::u16string_view all = text->text.view();
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find_first_of(u"\r\n", start);
        if (end == std::u16string_view::npos)
            end = all.size();
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && isBlank(all[first]))
            ++first;
        while (last > first && isBlank(all[last - 1]))
            --last;
        if (first < last) {
            std::size_t length = std::min(last - first, titleLength);
            // Never half a surrogate pair.
            if (length < last - first && length > 0 && all[first + length - 1] >= 0xD800 && all[first + length - 1] < 0xDC00)
                --length;
            return std::u16string(all.substr(first, length));
        }
        start = end + 1;
    }
    return {};
}

} // namespace

std::vector<Note> list(const std::string &folder)
{
    std::vector<Note> notes;
    DIR *directory = ::opendir(folder.c_str());
    if (!directory)
        return notes;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(directory))
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    ::closedir(directory);
    for (const std::string &name : names) {
        Note note;
        note.path = folder + "/" + name;
        Internal::FileDescriptor fd(::open(note.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat info {};
        if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0)
            continue;
        std::string bytes(std::min<std::size_t>(titleReadBytes, std::size_t(info.st_size)), '\0');
        std::size_t got = 0;
        if (!Internal::readAll(fd.get(), bytes.data(), bytes.size(), got))
            continue;
        bytes.resize(got);
        note.title = titleOf(std::move(bytes), std::size_t(info.st_size) <= titleReadBytes);
        note.modifiedSeconds = info.st_mtim.tv_sec;
        note.modifiedNanoseconds = info.st_mtim.tv_nsec;
        notes.push_back(std::move(note));
    }
    std::sort(notes.begin(), notes.end(), [](const Note &a, const Note &b) {
        if (a.modifiedSeconds != b.modifiedSeconds)
            return a.modifiedSeconds > b.modifiedSeconds;
        if (a.modifiedNanoseconds != b.modifiedNanoseconds)
            return a.modifiedNanoseconds > b.modifiedNanoseconds;
        return a.path < b.path;
    });
    return notes;
}

} // namespace Documents::ScratchFile
