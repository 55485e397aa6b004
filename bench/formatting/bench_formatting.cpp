// The formatting engines against their floors, measured side by side in one run:
// - validate on 34 MB of minified JSON vs RapidJSON's bare Reader on the same UTF-8 bytes;
// - reindent vs a plain copy of the same text;
// - validateNDJSON on 50 MB vs the bare Reader on each line's bytes;
// - XMLValidator on 34 MB vs libxml2's bare SAX parse of the same UTF-8 bytes;
// - jsonPathAt near the end of 50 MB of JSON (view and snapshot) vs a plain pass over the same
//   units (target: 50 ms);
// - validateNDJSONAll on 50 MB, valid and with 1,000 bad records, vs validateNDJSON on the
//   valid 50 MB (target: at least 0.8x its throughput).
// Inputs are generated here, deterministically; nothing large lives in the repository.

#include "formatting/jsonformatter.h"
#include "formatting/jsonpath.h"
#include "formatting/xmlvalidator.h"

#include "base/utf.h"

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <rapidjson/reader.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

using Formatting::JSONFormatter;
using Formatting::XMLValidator;

// ---- Inputs -------------------------------------------------------------------------------

struct Input {
    std::u16string text;
    std::string bytes; // UTF-8 of text
};

Input make(std::string bytes)
{
    Input input;
    input.text = Base::Utf::toUtf16(bytes);
    input.bytes = std::move(bytes);
    return input;
}

// One record of a typical API dump; every tenth holds non-ASCII text.
std::string jsonRecord(std::mt19937 &random, int index)
{
    std::string record = "{\"id\":" + std::to_string(index) + ",\"name\":\"user_" + std::to_string(random() % 100000)
                         + "\",\"score\":" + std::to_string(random() % 1000) + "." + std::to_string(random() % 100)
                         + ",\"active\":" + (random() % 2 ? "true" : "false") + ",\"tags\":[\"alpha\",\"beta\",\"gamma\"],"
                         + "\"address\":{\"city\":\"" + (index % 10 == 0 ? "K\xc3\xb6ln \xe2\x80\x94 M\xc3\xbcnchen" : "Springfield")
                         + "\",\"zip\":\"" + std::to_string(10000 + random() % 89999) + "\",\"geo\":[" + std::to_string(random() % 180)
                         + ".123456,-" + std::to_string(random() % 90) + ".654321]},\"note\":null,\"text\":\"Lorem ipsum dolor sit "
                         + "amet, \\\"consectetur\\\" adipiscing elit\"}";
    return record;
}

const Input &minifiedJson()
{
    static const Input input = [] {
        std::mt19937 random(42);
        std::string bytes = "[";
        for (int i = 0; bytes.size() < 34'000'000; ++i) {
            if (i)
                bytes += ',';
            bytes += jsonRecord(random, i);
        }
        bytes += "]";
        return make(std::move(bytes));
    }();
    return input;
}

const Input &ndjson()
{
    static const Input input = [] {
        std::mt19937 random(7);
        std::string bytes;
        for (int i = 0; bytes.size() < 50'000'000; ++i)
            bytes += jsonRecord(random, i) + "\n";
        return make(std::move(bytes));
    }();
    return input;
}

const Input &xml()
{
    static const Input input = [] {
        std::mt19937 random(3);
        std::string bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog xmlns:x=\"urn:example\">\n";
        for (int i = 0; bytes.size() < 34'000'000; ++i) {
            bytes += "  <item id=\"" + std::to_string(i) + "\" x:kind=\"book\" price=\"" + std::to_string(random() % 100)
                     + ".99\">\n    <title>" + (i % 10 == 0 ? "Caf\xc3\xa9 \xe2\x80\x94 na\xc3\xafve" : "The Title Of Item")
                     + "</title>\n    <author>Author &amp; Co</author>\n    <!-- note -->\n    <description>"
                     + "Lorem ipsum dolor sit amet, consectetur adipiscing elit &lt;b&gt;</description>\n  </item>\n";
        }
        bytes += "</catalog>\n";
        return make(std::move(bytes));
    }();
    return input;
}

// 50 MB of JSON as an API returns it: an object holding one long array of records.
const Input &largeJson()
{
    static const Input input = [] {
        std::mt19937 random(11);
        std::string bytes = "{\"meta\":{\"count\":0,\"source\":\"bench\"},\"items\":[";
        for (int i = 0; bytes.size() < 50'000'000; ++i) {
            if (i)
                bytes += ',';
            bytes += jsonRecord(random, i);
        }
        bytes += "]}";
        return make(std::move(bytes));
    }();
    return input;
}

// The valid NDJSON with 1,000 records spread evenly made invalid at their last character.
const Input &ndjsonWithBadRecords()
{
    static const Input input = [] {
        std::string bytes = ndjson().bytes;
        const std::size_t lines = std::size_t(std::count(bytes.begin(), bytes.end(), '\n'));
        const std::size_t every = lines / 1000;
        std::size_t line = 0;
        std::size_t broken = 0;
        for (std::size_t at = 0; at < bytes.size() && broken < 1000; ++line) {
            const std::size_t end = bytes.find('\n', at);
            if (line % every == every / 2) {
                bytes[end - 1] = ','; // "…\"}" becomes "…\","
                ++broken;
            }
            at = end + 1;
        }
        return make(std::move(bytes));
    }();
    return input;
}

void setBytes(benchmark::State &state, const Input &input)
{
    // Throughput is per UTF-8 byte of the document, the size of the file on disk.
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(input.bytes.size()));
}

// ---- JSON validation ----------------------------------------------------------------------

void BM_JsonBareReader(benchmark::State &state)
{
    const Input &input = minifiedJson();
    for (auto _ : state) {
        rapidjson::Reader reader;
        rapidjson::BaseReaderHandler<> handler;
        rapidjson::StringStream stream(input.bytes.c_str());
        const bool ok = !reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler).IsError();
        benchmark::DoNotOptimize(ok);
    }
    setBytes(state, input);
}
BENCHMARK(BM_JsonBareReader)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_JsonValidate(benchmark::State &state)
{
    const Input &input = minifiedJson();
    for (auto _ : state) {
        const auto result = JSONFormatter::validate(input.text);
        if (!result.isValid())
            state.SkipWithError("document should be valid");
        benchmark::DoNotOptimize(result);
    }
    setBytes(state, input);
}
BENCHMARK(BM_JsonValidate)->Unit(benchmark::kMillisecond)->MinTime(2);

// ---- Re-indenting -------------------------------------------------------------------------

void BM_TextCopy(benchmark::State &state)
{
    const Input &input = minifiedJson();
    for (auto _ : state) {
        Base::U16Buffer copy;
        copy.append(input.text.data(), input.text.size());
        benchmark::DoNotOptimize(copy.data());
    }
    setBytes(state, input);
}
BENCHMARK(BM_TextCopy)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_Reindent(benchmark::State &state)
{
    const Input &input = minifiedJson();
    for (auto _ : state) {
        auto pretty = JSONFormatter::reindent(input.text);
        benchmark::DoNotOptimize(pretty->data());
    }
    setBytes(state, input);
}
BENCHMARK(BM_Reindent)->Unit(benchmark::kMillisecond)->MinTime(2);

// ---- NDJSON -------------------------------------------------------------------------------

void BM_NdjsonBareReader(benchmark::State &state)
{
    const Input &input = ndjson();
    std::string line;
    for (auto _ : state) {
        std::size_t start = 0;
        bool ok = true;
        while (start < input.bytes.size() && ok) {
            const std::size_t end = input.bytes.find('\n', start);
            line.assign(input.bytes, start, end - start);
            rapidjson::Reader reader;
            rapidjson::BaseReaderHandler<> handler;
            rapidjson::StringStream stream(line.c_str());
            ok = !reader.Parse<rapidjson::kParseIterativeFlag>(stream, handler).IsError();
            start = end + 1;
        }
        benchmark::DoNotOptimize(ok);
    }
    setBytes(state, input);
}
BENCHMARK(BM_NdjsonBareReader)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_NdjsonValidate(benchmark::State &state)
{
    const Input &input = ndjson();
    for (auto _ : state) {
        const auto result = JSONFormatter::validateNDJSON(input.text);
        if (!result.isValid())
            state.SkipWithError("document should be valid");
        benchmark::DoNotOptimize(result);
    }
    setBytes(state, input);
}
BENCHMARK(BM_NdjsonValidate)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_NdjsonValidateAll(benchmark::State &state)
{
    const Input &input = ndjson();
    for (auto _ : state) {
        const auto result = JSONFormatter::validateNDJSONAll(input.text);
        if (result.state != Formatting::Validation::State::Valid)
            state.SkipWithError("document should be valid");
        benchmark::DoNotOptimize(result);
    }
    setBytes(state, input);
}
BENCHMARK(BM_NdjsonValidateAll)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_NdjsonValidateAllBad(benchmark::State &state)
{
    const Input &input = ndjsonWithBadRecords();
    for (auto _ : state) {
        // One above the fault count, so that every line is checked as in the valid run.
        const auto result = JSONFormatter::validateNDJSONAll(input.text, 1001);
        if (result.errors.size() != 1000 || result.stoppedEarly)
            state.SkipWithError("expected exactly 1,000 faults");
        benchmark::DoNotOptimize(result);
    }
    setBytes(state, input);
}
BENCHMARK(BM_NdjsonValidateAllBad)->Unit(benchmark::kMillisecond)->MinTime(2);

// ---- JSON path ----------------------------------------------------------------------------

// The caret in the last record's city, a few hundred units before the end.
std::size_t caretNearEnd(const Input &input)
{
    return input.text.rfind(u"\"city\"") + 9;
}

void BM_PathScanFloor(benchmark::State &state)
{
    // One pass over the same units that does almost nothing per unit: the memory-bound floor.
    const Input &input = largeJson();
    const std::size_t offset = caretNearEnd(input);
    for (auto _ : state) {
        const auto quotes = std::count(input.text.data(), input.text.data() + offset, u'"');
        benchmark::DoNotOptimize(quotes);
    }
    setBytes(state, input);
}
BENCHMARK(BM_PathScanFloor)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_JsonPathAtEnd(benchmark::State &state)
{
    const Input &input = largeJson();
    const std::size_t offset = caretNearEnd(input);
    for (auto _ : state) {
        const auto path = Formatting::jsonPathAt(input.text, offset);
        if (!path || !path->ends_with("].address.city"))
            state.SkipWithError("unexpected path");
        benchmark::DoNotOptimize(path);
    }
    setBytes(state, input);
}
BENCHMARK(BM_JsonPathAtEnd)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_JsonPathAtEndSnapshot(benchmark::State &state)
{
    // As the window runs it: from a snapshot, copied piece by piece.
    const Input &input = largeJson();
    const std::size_t offset = caretNearEnd(input);
    const Base::FixedTextSnapshot snapshot(input.text);
    for (auto _ : state) {
        const auto path = Formatting::jsonPathAt(snapshot, offset);
        if (!path || !path->ends_with("].address.city"))
            state.SkipWithError("unexpected path");
        benchmark::DoNotOptimize(path);
    }
    setBytes(state, input);
}
BENCHMARK(BM_JsonPathAtEndSnapshot)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_NdjsonPathAtEnd(benchmark::State &state)
{
    const Input &input = ndjson();
    const std::size_t offset = caretNearEnd(input);
    const Base::FixedTextSnapshot snapshot(input.text);
    for (auto _ : state) {
        const auto path = Formatting::ndjsonPathAt(snapshot, offset);
        if (!path || !path->ends_with("].address.city"))
            state.SkipWithError("unexpected path");
        benchmark::DoNotOptimize(path);
    }
    setBytes(state, input);
}
BENCHMARK(BM_NdjsonPathAtEnd)->Unit(benchmark::kMillisecond)->MinTime(2);

// ---- XML ----------------------------------------------------------------------------------

void BM_XmlBareSax(benchmark::State &state)
{
    const Input &input = xml();
    xmlInitParser();
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    for (auto _ : state) {
        const int status = xmlSAXUserParseMemory(&handler, nullptr, input.bytes.data(), int(input.bytes.size()));
        if (status != 0)
            state.SkipWithError("document should be well formed");
        benchmark::DoNotOptimize(status);
    }
    setBytes(state, input);
}
BENCHMARK(BM_XmlBareSax)->Unit(benchmark::kMillisecond)->MinTime(2);

void BM_XmlValidate(benchmark::State &state)
{
    const Input &input = xml();
    Formatting::XMLSource source;
    source.form = Formatting::XMLSource::Form::Utf8; // As the window passes a UTF-8 file.
    for (auto _ : state) {
        const auto result = XMLValidator::validate(input.text, source);
        if (!result.isValid())
            state.SkipWithError("document should be well formed");
        benchmark::DoNotOptimize(result);
    }
    setBytes(state, input);
}
BENCHMARK(BM_XmlValidate)->Unit(benchmark::kMillisecond)->MinTime(2);

// ---- Ratios -------------------------------------------------------------------------------

// Prints the usual table, then each engine's time as a ratio to its floor from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (!run.error_occurred && run.iterations > 0)
                m_seconds[run.benchmark_name()] = {run.GetAdjustedCPUTime(), run.GetAdjustedRealTime()};
    }
    void printRatios() const
    {
        const std::pair<const char *, const char *> pairs[] = {{"BM_JsonValidate", "BM_JsonBareReader"},
                                                                {"BM_Reindent", "BM_TextCopy"},
                                                                {"BM_NdjsonValidate", "BM_NdjsonBareReader"},
                                                                {"BM_XmlValidate", "BM_XmlBareSax"},
                                                                {"BM_NdjsonValidateAll", "BM_NdjsonValidate"},
                                                                {"BM_NdjsonValidateAllBad", "BM_NdjsonValidate"},
                                                                {"BM_JsonPathAtEnd", "BM_PathScanFloor"},
                                                                {"BM_JsonPathAtEndSnapshot", "BM_PathScanFloor"},
                                                                {"BM_NdjsonPathAtEnd", "BM_PathScanFloor"}};
        // CPU time is the figure to read on a shared machine; wall time is shown beside it.
        std::printf("\n%-50s %6s   %6s\n", "Ratio to floor (same run):", "CPU", "wall");
        for (const auto &[engine, floor] : pairs) {
            const auto e = findPrefix(engine);
            const auto f = findPrefix(floor);
            if (e.first > 0 && f.first > 0)
                std::printf("  %-24s / %-20s %5.2fx   %5.2fx\n", engine, floor, e.first / f.first, e.second / f.second);
        }
    }

private:
    std::pair<double, double> findPrefix(const std::string &name) const
    {
        for (const auto &[key, value] : m_seconds)
            if (key.rfind(name + "/", 0) == 0 || key == name)
                return value;
        return {-1, -1};
    }
    std::map<std::string, std::pair<double, double>> m_seconds; // CPU, wall
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
