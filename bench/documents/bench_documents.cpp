// Loading a large file, against the floor of reading it and widening its bytes to UTF-16.
// Inputs are generated into a temporary folder on first use.
#include "documents/document.h"
#include "documents/fileio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string temporaryFolder()
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/corvane-bench-XXXXXX";
        const char *made = mkdtemp(pattern);
        return std::string(made ? made : "/tmp");
    }();
    return folder;
}

// A 50 MB pretty-printed JSON document of about 2 M lines with some non-ASCII text.
const std::string &jsonFile()
{
    static const std::string path = [] {
        const std::string file = temporaryFolder() + "/large.json";
        std::ofstream out(file, std::ios::binary);
        out << "[\n";
        std::size_t written = 2;
        for (int i = 0; written < 50'000'000; ++i) {
            const std::string record = "  {\n    \"id\": " + std::to_string(i)
                                       + ",\n    \"name\": \"Zoë Ångström\",\n    \"score\": 12.5,\n"
                                         "    \"tags\": [\"alpha\", \"beta\"]\n  },\n";
            out << record;
            written += record.size();
        }
        out << "  {}\n]\n";
        return file;
    }();
    return path;
}

// A 20 MB Western European text in Windows-1252. The byte 0x98 near the end is undefined in
// Windows-1251, so the loader tries UTF-8, then Windows-1251 almost to the end, then 1252.
const std::string &windows1252File()
{
    static const std::string path = [] {
        const std::string file = temporaryFolder() + "/western.txt";
        std::ofstream out(file, std::ios::binary);
        const std::string line = "Caf\xE9 cr\xE8me br\xFBl\xE9""e \x80 12,50 \x96 d\xE9j\xE0 vu, na\xEFve fa\xE7""ade\r\n";
        for (std::size_t written = 0; written < 20'000'000; written += line.size())
            out << line;
        out << "tilde \x98 at the end\r\n";
        return file;
    }();
    return path;
}

void loadDocument(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        auto result = Documents::loadDocument(path);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(
        std::get<Documents::FileAttributes>(Documents::readAttributes(path)).size));
}

// The floor: read the bytes and widen each to one UTF-16 unit in fresh standard containers.
void floorStd(benchmark::State &state, const std::string &path)
{
    const auto size = std::size_t(std::get<Documents::FileAttributes>(Documents::readAttributes(path)).size);
    for (auto _ : state) {
        std::vector<char> bytes(size);
        const int fd = ::open(path.c_str(), O_RDONLY);
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, bytes.data() + got, size - got);
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        ::close(fd);
        std::u16string text(bytes.begin(), bytes.end());
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(size));
}

// The same floor on the large-buffer allocator the loader uses.
void floorLargeBuffer(benchmark::State &state, const std::string &path)
{
    for (auto _ : state) {
        Base::ByteBuffer bytes;
        (void)Documents::readWholeFile(path, bytes);
        Base::U16Buffer text(bytes.size());
        text.resize(bytes.size());
        for (std::size_t i = 0; i < bytes.size(); ++i)
            text[i] = char16_t(static_cast<unsigned char>(bytes[i]));
        benchmark::DoNotOptimize(text.data());
    }
}

void BM_Load_Json50MB(benchmark::State &state) { loadDocument(state, jsonFile()); }
void BM_Floor_Json50MB_StdContainers(benchmark::State &state) { floorStd(state, jsonFile()); }
void BM_Floor_Json50MB_LargeBuffer(benchmark::State &state) { floorLargeBuffer(state, jsonFile()); }
void BM_Load_Windows1252_20MB(benchmark::State &state) { loadDocument(state, windows1252File()); }
void BM_Floor_Windows1252_20MB_StdContainers(benchmark::State &state) { floorStd(state, windows1252File()); }
void BM_Floor_Windows1252_20MB_LargeBuffer(benchmark::State &state) { floorLargeBuffer(state, windows1252File()); }

} // namespace

BENCHMARK(BM_Floor_Json50MB_StdContainers)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Floor_Json50MB_LargeBuffer)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Load_Json50MB)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Floor_Windows1252_20MB_StdContainers)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Floor_Windows1252_20MB_LargeBuffer)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_Load_Windows1252_20MB)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(jsonFile().c_str());
    std::remove(windows1252File().c_str());
    ::rmdir(temporaryFolder().c_str());
    return 0;
}
