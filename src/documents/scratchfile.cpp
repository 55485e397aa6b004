#include "scratchfile.h"

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

} // namespace Documents::ScratchFile
