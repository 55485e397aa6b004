#include "cli.h"

#include "viewers/mdblock.h"

#include "base/jsonstring.h"
#include "base/utf.h"

#include <ostream>

namespace {

// Output goes out in slices of about this many bytes, so that printing a block list costs a
// bounded buffer however many runs a block has.
constexpr std::size_t flushThreshold = 64 * 1024;

class Output {
public:
    explicit Output(std::ostream &stream) : m_stream(stream) { m_buffer.reserve(flushThreshold + 4096); }
    ~Output() { flush(); }

    void put(std::string_view text)
    {
        m_buffer += text;
        flushIfFull();
    }
    void put(std::size_t number) { put(std::string_view(std::to_string(number))); }
    void putBool(bool value) { put(value ? std::string_view("true") : std::string_view("false")); }
    // `text` as a JSON string literal, converted and escaped a slice at a time; unpaired
    // surrogates become U+FFFD.
    void putString(std::u16string_view text)
    {
        constexpr std::size_t slice = 8192;
        m_buffer.push_back('"');
        std::string utf8;
        for (std::size_t i = 0; i < text.size();) {
            std::size_t count = std::min(slice, text.size() - i);
            if (i + count < text.size() && Base::Utf::isHighSurrogate(text[i + count - 1]))
                --count;
            utf8 = Base::Utf::toUtf8(text.substr(i, count));
            const std::size_t mark = m_buffer.size();
            Base::appendJsonString(m_buffer, utf8);
            // appendJsonString quotes what it writes: keep the escaped body only.
            m_buffer.erase(mark, 1);
            m_buffer.pop_back();
            i += count;
            flushIfFull();
        }
        m_buffer.push_back('"');
    }
    void flush()
    {
        m_stream.write(m_buffer.data(), std::streamsize(m_buffer.size()));
        m_buffer.clear();
    }

private:
    void flushIfFull()
    {
        if (m_buffer.size() >= flushThreshold)
            flush();
    }

    std::ostream &m_stream;
    std::string m_buffer;
};

void putRuns(Output &out, const Viewers::StyledText &runs)
{
    out.put("[");
    bool first = true;
    for (const Viewers::InlineRun run : runs) {
        out.put(first ? "{\"text\":" : ",{\"text\":");
        first = false;
        out.putString(run.text);
        out.put(",\"strong\":");
        out.putBool(run.strong);
        out.put(",\"emphasis\":");
        out.putBool(run.emphasis);
        out.put(",\"code\":");
        out.putBool(run.code);
        out.put(",\"strikethrough\":");
        out.putBool(run.strikethrough);
        if (run.link) {
            out.put(",\"link\":");
            out.putString(*run.link);
        }
        out.put("}");
    }
    out.put("]");
}

int runMd(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> chosenKind;
    if (!Cli::parseArguments(context, "md", {"--json"}, arguments, 1, {"--kind"})
        || !Cli::kindOption(context, "md", arguments, arguments.operands, chosenKind))
        return Cli::Usage;
    if (arguments.operands.size() != 1)
        return Cli::usageError(context, "md", "expected exactly one FILE");
    const std::string &path = arguments.operands.front();
    auto loaded = Cli::load(path, chosenKind);
    if (auto *error = std::get_if<Base::Message>(&loaded)) {
        context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
        return Cli::Failure;
    }
    Viewers::MDBlockList blocks;
    {
        // The loaded text is not needed once the blocks hold their own copy.
        Documents::LoadResult document = std::move(std::get<Documents::LoadResult>(loaded));
        loaded = Base::Message();
        blocks = Viewers::MDBlock::parse(document.text.view());
    }
    const bool json = arguments.has("--json");
    Output out(context.out);
    if (json)
        out.put("{\"blocks\":[");
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const Viewers::MDBlock block = blocks[i];
        const std::string_view kind = Viewers::kindName(block.kind);
        if (json) {
            out.put(i ? ",{\"id\":" : "{\"id\":");
            out.put(block.id);
            out.put(",\"kind\":\"");
            out.put(kind);
            out.put("\"");
            if (block.kind == Viewers::MDBlock::Kind::Heading) {
                out.put(",\"level\":");
                out.put(std::size_t(block.level));
            }
            out.put(",\"content\":");
            out.putString(block.content);
            if (block.attributed) {
                out.put(",\"runs\":");
                putRuns(out, *block.attributed);
            }
            out.put("}");
        } else {
            out.put(block.id);
            out.put(" ");
            out.put(kind);
            if (block.kind == Viewers::MDBlock::Kind::Heading)
                out.put(std::size_t(block.level));
            out.put(" ");
            out.putString(block.content);
            out.put("\n");
        }
    }
    if (json)
        out.put("]}\n");
    return Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(md, "md", "md [--json] [--kind KIND] FILE",
                    "The Markdown preview's blocks of FILE with their inline styling.", runMd);
