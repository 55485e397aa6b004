// The viewer models on large inputs, each against a plain pass over the same text in the same
// run (the floor): CSV parse of 50 MB, its delimiter detection, ragged rows and a sort by one
// column (against a plain std::stable_sort of row indices by the cells as strings), JSON tree build of 50 MB (time and peak memory),
// Markdown blocks of 5 MB, and Markdown's hostile shapes of 2 MiB (time and peak memory).
#include "inputs_p.h"

#include "viewers/csvdialect.h"
#include "viewers/csvparser.h"
#include "viewers/csvsort.h"
#include "viewers/jsontree.h"
#include "viewers/mdblock.h"

#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

// The floor: one pass that reads every unit (counting line breaks).
void plainPass(benchmark::State &state, const std::u16string &text)
{
    for (auto _ : state) {
        const auto lines = std::count(text.begin(), text.end(), u'\n');
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

// Peak resident memory in KiB since the last reset.
long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}
// Freed heap pages stay resident unless given back; without this, the memory of one iteration
// would count as the next one's starting point.
void releaseFreeMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
void resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

// Bytes are counted as the file's size would be for ASCII text: one per UTF-16 unit.
void BM_CsvFloor(benchmark::State &state) { plainPass(state, BenchInputs::csv()); }
void BM_CsvParse(benchmark::State &state)
{
    const std::u16string &text = BenchInputs::csv();
    std::size_t rows = 0;
    for (auto _ : state) {
        const Viewers::CSVTable table = Viewers::CSVParser::parse(text);
        rows = table.rowCount();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = double(rows);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
void BM_CsvColumnWidths(benchmark::State &state)
{
    const Viewers::CSVTable table = Viewers::CSVParser::parse(BenchInputs::csv());
    for (auto _ : state)
        benchmark::DoNotOptimize(Viewers::columnWidths(table));
}

void BM_CsvDetectDelimiter(benchmark::State &state)
{
    const std::u16string &text = BenchInputs::csv();
    for (auto _ : state)
        benchmark::DoNotOptimize(Viewers::detectDelimiter(text));
}
void BM_CsvRaggedRows(benchmark::State &state)
{
    const Viewers::CSVTable table = Viewers::CSVParser::parse(BenchInputs::csv());
    for (auto _ : state)
        benchmark::DoNotOptimize(table.raggedRows().size());
    state.counters["rows"] = double(table.rowCount());
}

// Columns of the benchmark CSV: 0 id (numbers, already in order), 3 amount (numbers in a
// saw-tooth), 6 note (one quoted text repeated: every comparison runs to the end), 7 code
// (text with a common prefix).
const Viewers::CSVTable &benchTable()
{
    static const Viewers::CSVTable table = Viewers::CSVParser::parse(BenchInputs::csv());
    return table;
}
void BM_CsvSortColumn(benchmark::State &state)
{
    const Viewers::CSVTable &table = benchTable();
    const auto column = std::size_t(state.range(0));
    const auto order = state.range(1) ? Viewers::CSVSortOrder::Descending : Viewers::CSVSortOrder::Ascending;
    for (auto _ : state)
        benchmark::DoNotOptimize(Viewers::sortedRowOrder(table, column, order).size());
    state.counters["rows"] = double(table.rowCount());
}
// The plain way: every cell of the column as its own string, and a stable sort of the row
// indices by those strings (text order only, no numbers).
void BM_CsvSortPlainStrings(benchmark::State &state)
{
    const Viewers::CSVTable &table = benchTable();
    const auto column = std::size_t(state.range(0));
    for (auto _ : state) {
        std::vector<std::u16string> cells(table.rowCount());
        for (std::size_t row = 0; row < cells.size(); ++row)
            cells[row] = table.cell(row, column);
        std::vector<std::uint32_t> order(cells.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return cells[a] < cells[b]; });
        benchmark::DoNotOptimize(order.data());
    }
    state.counters["rows"] = double(table.rowCount());
}

void BM_JsonFloor(benchmark::State &state) { plainPass(state, BenchInputs::json()); }
void BM_JsonTreeBuild(benchmark::State &state)
{
    const std::u16string &text = BenchInputs::json();
    long peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const long before = residentKiB();
        resetPeak();
        state.ResumeTiming();
        const auto result = Viewers::JSONTreeBuilder::build(text);
        benchmark::DoNotOptimize(result.isOk());
        state.PauseTiming();
        peak = std::max(peak, peakResidentKiB() - before);
        state.ResumeTiming();
    }
    state.counters["peakMiB"] = double(peak) / 1024.0;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
void BM_JsonDefaultRows(benchmark::State &state)
{
    const auto result = Viewers::JSONTreeBuilder::build(BenchInputs::json());
    std::size_t rows = 0;
    for (auto _ : state) {
        const auto visible = Viewers::visibleRows(result.root(), Viewers::defaultExpanded(result.root()));
        rows = visible.size();
    }
    state.counters["rows"] = double(rows);
}

void BM_MarkdownFloor(benchmark::State &state) { plainPass(state, BenchInputs::markdown()); }
void BM_MarkdownParse(benchmark::State &state)
{
    const std::u16string &text = BenchInputs::markdown();
    std::size_t blocks = 0;
    for (auto _ : state) {
        const auto parsed = Viewers::MDBlock::parse(text);
        blocks = parsed.size();
    }
    state.counters["blocks"] = double(blocks);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
// md4c's pathological shapes: 100,000 unclosed emphasis markers and backquotes in one line.
void BM_MarkdownPathological(benchmark::State &state)
{
    std::u16string text;
    for (int i = 0; i < 100'000; ++i)
        text += state.range(0) == 0 ? u"*a " : u"`a ";
    for (auto _ : state)
        benchmark::DoNotOptimize(Viewers::MDBlock::parse(text).size());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

// Hostile shapes of 2 MiB each, every one against the floor over the same text: one line of
// "*_`[" repeated (every character a delimiter), one line of "`a" repeated, blank lines, and
// list items. Linear time and a few bytes per input unit whatever the shape (peakMiB).
const std::u16string &hostileMarkdown(std::int64_t shape)
{
    static const std::u16string texts[4] = {
        [] {
            std::u16string out;
            while (out.size() < 2'097'152)
                out += u"*_`[";
            return out;
        }(),
        [] {
            std::u16string out;
            while (out.size() < 2'097'152)
                out += u"`a";
            return out;
        }(),
        std::u16string(2'097'152, u'\n'),
        [] {
            std::u16string out;
            while (out.size() < 2'097'152)
                out += u"- a\n";
            return out;
        }(),
    };
    return texts[std::clamp<std::int64_t>(shape, 0, 3)];
}
void BM_MarkdownHostileFloor(benchmark::State &state) { plainPass(state, hostileMarkdown(state.range(0))); }
void BM_MarkdownHostile(benchmark::State &state)
{
    const std::u16string &text = hostileMarkdown(state.range(0));
    long peak = 0;
    std::size_t blocks = 0;
    for (auto _ : state) {
        state.PauseTiming();
        releaseFreeMemory();
        const long before = residentKiB();
        resetPeak();
        state.ResumeTiming();
        const auto parsed = Viewers::MDBlock::parse(text);
        blocks = parsed.size();
        benchmark::DoNotOptimize(blocks);
        state.PauseTiming();
        peak = std::max(peak, peakResidentKiB() - before);
        state.ResumeTiming();
    }
    state.counters["blocks"] = double(blocks);
    state.counters["peakMiB"] = double(peak) / 1024.0;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

} // namespace

BENCHMARK(BM_CsvFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvColumnWidths)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CsvDetectDelimiter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CsvRaggedRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvSortColumn)->ArgsProduct({{0, 3, 6, 7}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvSortPlainStrings)->Arg(0)->Arg(3)->Arg(6)->Arg(7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonTreeBuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonDefaultRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownParse)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownPathological)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownHostileFloor)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MarkdownHostile)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
