// Colouring speed per kind on about 2,000,000 UTF-16 units of realistic text, next to the floor:
// a plain pass over the same text that only counts line feeds. Items are UTF-16 units.
#include "highlighting/syntaxhighlighter.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

using Documents::DocKind;
namespace SH = Highlighting::SyntaxHighlighter;

namespace {

constexpr std::size_t targetLength = 2'000'000;

std::u16string widen(const std::string &ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

// Appends lines from `nextLine` until the text would exceed the target.
template<typename NextLine>
std::u16string build(NextLine nextLine)
{
    std::mt19937 random(42);
    std::string text;
    text.reserve(targetLength + 4096);
    for (;;) {
        const std::string line = nextLine(random);
        if (text.size() + line.size() > targetLength)
            break;
        text += line;
    }
    return widen(text);
}

std::string pick(std::mt19937 &random, std::initializer_list<const char *> choices)
{
    return *(choices.begin() + random() % choices.size());
}

std::string number(std::mt19937 &random)
{
    switch (random() % 3) {
    case 0: return std::to_string(random() % 100000);
    case 1: return "-" + std::to_string(random() % 1000) + "." + std::to_string(random() % 1000);
    default: return std::to_string(random() % 10) + ".5e" + std::to_string(random() % 20);
    }
}

std::string word(std::mt19937 &random)
{
    return pick(random, {"alpha", "beta", "gamma", "delta", "corvane", "editor", "value", "name", "id", "status",
                         "created_at", "description", "enabled", "count", "items", "owner", "region"});
}

std::u16string jsonText()
{
    int index = 0;
    return build([&](std::mt19937 &random) {
        std::string out = "  {\n";
        out += "    \"id\": " + std::to_string(index++) + ",\n";
        out += "    \"" + word(random) + "\": \"" + word(random) + " " + word(random) + " \\\"q\\\" " + word(random) + "\",\n";
        out += "    \"score\": " + number(random) + ",\n";
        out += "    \"active\": " + pick(random, {"true", "false", "null"}) + ",\n";
        out += "    \"tags\": [\"" + word(random) + "\", \"" + word(random) + "\", " + number(random) + "],\n";
        out += "    \"nested\": {\"" + word(random) + "\": {\"x\": " + number(random) + ", \"y\": \"" + word(random) + "\"}}\n";
        out += "  },\n";
        return out;
    });
}

std::u16string ndjsonText()
{
    int index = 0;
    return build([&](std::mt19937 &random) {
        return "{\"id\":" + std::to_string(index++) + ",\"" + word(random) + "\":\"" + word(random) + " " + word(random)
            + "\",\"n\":" + number(random) + ",\"ok\":" + pick(random, {"true", "false", "null"}) + ",\"list\":[1,2,\""
            + word(random) + "\"]}\n";
    });
}

std::u16string yamlText()
{
    return build([&](std::mt19937 &random) {
        std::string out = "- name: " + word(random) + " " + word(random) + "\n";
        out += "  enabled: " + pick(random, {"true", "no", "Yes", "off"}) + "\n";
        out += "  port: " + std::to_string(random() % 65536) + "\n";
        out += "  ratio: " + number(random) + "\n";
        out += "  title: \"" + word(random) + " # not a comment\"  # a comment\n";
        out += "  tags: [" + word(random) + ", " + number(random) + ", \"" + word(random) + "\"]\n";
        out += "  base: &" + word(random) + "\n";
        out += "  typed: !!str " + word(random) + "\n";
        out += "  text: |\n    " + word(random) + " " + word(random) + " " + word(random) + "\n";
        return out;
    });
}

std::u16string tomlText()
{
    int index = 0;
    return build([&](std::mt19937 &random) {
        std::string out = "[server." + std::to_string(index++) + "]\n";
        out += "# " + word(random) + " " + word(random) + "\n";
        out += "name = \"" + word(random) + " " + word(random) + "\" # trailing\n";
        out += "port = " + std::to_string(random() % 65536) + "\n";
        out += "enabled = " + pick(random, {"true", "false"}) + "\n";
        out += "ratio = " + number(random) + "\n";
        out += "since = 1979-05-27T07:32:00-08:00\n";
        out += "hosts = [\"" + word(random) + "\", \"" + word(random) + "\", " + number(random) + "]\n";
        out += "path = 'C:\\" + word(random) + "\\" + word(random) + "'\n\n";
        return out;
    });
}

std::u16string xmlText()
{
    int index = 0;
    return build([&](std::mt19937 &random) {
        std::string out = "  <item id=\"" + std::to_string(index++) + "\" kind='" + word(random) + "'>\n";
        out += "    <!-- " + word(random) + " " + word(random) + " -->\n";
        out += "    <name>" + word(random) + " &amp; " + word(random) + "</name>\n";
        out += "    <value unit=\"ms\">" + number(random) + "</value>\n";
        out += "    <note><![CDATA[" + word(random) + " <raw> " + word(random) + "]]></note>\n";
        out += "    <empty flag=\"" + pick(random, {"true", "false"}) + "\"/>\n";
        out += "  </item>\n";
        return out;
    });
}

std::u16string markdownText()
{
    return build([&](std::mt19937 &random) {
        std::string out = "## " + word(random) + " " + word(random) + "\n\n";
        out += "Some " + word(random) + " text with a [" + word(random) + "](https://example.com/" + word(random)
            + ") and `" + word(random) + "()` and more " + word(random) + " " + word(random) + " words.\n";
        out += "- " + word(random) + " item with `code`\n";
        out += "1. " + word(random) + " ordered\n";
        out += "> quoted " + word(random) + "\n\n";
        out += "```js\nconst " + word(random) + " = \"" + word(random) + "\";\n```\n\n";
        return out;
    });
}

std::u16string logText()
{
    int second = 0;
    return build([&](std::mt19937 &random) {
        char stamp[64];
        std::snprintf(stamp, sizeof stamp, "2024-05-01T10:%02d:%02d.%03dZ", (second / 60) % 60, second % 60,
                      int(random() % 1000));
        ++second;
        return std::string(stamp) + " " + pick(random, {"INFO", "DEBUG", "WARN", "ERROR", "TRACE"}) + " ["
            + word(random) + "] " + word(random) + " " + word(random) + " \"" + word(random) + " " + word(random)
            + "\" took " + std::to_string(random() % 1000) + "ms\n";
    });
}

const std::u16string &textFor(DocKind kind)
{
    static const std::u16string json = jsonText();
    static const std::u16string ndjson = ndjsonText();
    static const std::u16string yaml = yamlText();
    static const std::u16string toml = tomlText();
    static const std::u16string xml = xmlText();
    static const std::u16string markdown = markdownText();
    static const std::u16string log = logText();
    switch (kind) {
    case DocKind::Json: return json;
    case DocKind::Ndjson: return ndjson;
    case DocKind::Yaml: return yaml;
    case DocKind::Toml: return toml;
    case DocKind::Xml: return xml;
    case DocKind::Markdown: return markdown;
    case DocKind::Log: return log;
    default: return json;
    }
}

void countLineFeeds(benchmark::State &state, DocKind kind)
{
    const std::u16string &text = textFor(kind);
    for (auto _ : state) {
        std::size_t lines = 0;
        for (char16_t c : text)
            lines += c == u'\n';
        benchmark::DoNotOptimize(lines);
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void colour(benchmark::State &state, DocKind kind)
{
    const std::u16string &text = textFor(kind);
    std::vector<std::uint8_t> classes(text.size());
    for (auto _ : state) {
        SH::highlight(kind, text, classes);
        benchmark::DoNotOptimize(classes.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
    state.counters["units"] = double(text.size());
}

// One line of 2,000,000 units of a single shape: the worst cases for search-based scanners.
void pathological(benchmark::State &state, DocKind kind, std::u16string shape)
{
    std::u16string text;
    while (text.size() < targetLength)
        text += shape;
    text.resize(targetLength);
    std::vector<std::uint8_t> classes(text.size());
    for (auto _ : state) {
        SH::highlight(kind, text, classes);
        benchmark::DoNotOptimize(classes.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

} // namespace

#define CORVANE_KIND_BENCH(name, kind)                                                                         \
    BENCHMARK_CAPTURE(countLineFeeds, name, kind)->Unit(benchmark::kMillisecond);                              \
    BENCHMARK_CAPTURE(colour, name, kind)->Unit(benchmark::kMillisecond)

CORVANE_KIND_BENCH(json, DocKind::Json);
CORVANE_KIND_BENCH(ndjson, DocKind::Ndjson);
CORVANE_KIND_BENCH(yaml, DocKind::Yaml);
CORVANE_KIND_BENCH(toml, DocKind::Toml);
CORVANE_KIND_BENCH(xml, DocKind::Xml);
CORVANE_KIND_BENCH(markdown, DocKind::Markdown);
CORVANE_KIND_BENCH(log, DocKind::Log);

BENCHMARK_CAPTURE(pathological, json_quotes, DocKind::Json, u"\"")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, xml_openers, DocKind::Xml, u"<")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, xml_ampersands, DocKind::Xml, u"&")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, markdown_brackets, DocKind::Markdown, u"[")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, markdown_links_without_target, DocKind::Markdown, u"[](")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, yaml_flow, DocKind::Yaml, u"[")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(pathological, log_words, DocKind::Log, u"ERRORS ")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
