// A process that saves one file through the editor's save path, for tests that kill it midway
// or run it under limits the test process must not take on itself.
//
//   savechild PATH SIZE SEED [--fsize-limit BYTES] [--uid UID]
//
// Writes SIZE bytes of the pattern of SEED (see savepattern.h). Exit status 0 when saved, 1
// with the error on standard error when the save failed, 2 for bad arguments.
#include "savepattern.h"

#include "documents/fileio.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    const std::string path = argv[1];
    const auto size = std::size_t(std::strtoull(argv[2], nullptr, 10));
    const auto seed = unsigned(std::strtoul(argv[3], nullptr, 10));
    for (int i = 4; i + 1 < argc; i += 2) {
        const unsigned long long value = std::strtoull(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--fsize-limit") == 0) {
            rlimit limit {};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = rlim_t(value);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 2;
        } else if (std::strcmp(argv[i], "--uid") == 0) {
            if (setgid(gid_t(value)) != 0 || setuid(uid_t(value)) != 0)
                return 2;
        } else {
            return 2;
        }
    }
    const std::string bytes = SaveTests::pattern(size, seed);
    if (const auto error = Documents::writeFileAtomically(path, bytes)) {
        std::fprintf(stderr, "%s\n", error->c_str());
        return 1;
    }
    return 0;
}
