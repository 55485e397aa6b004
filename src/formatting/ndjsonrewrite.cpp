// JSONFormatter::prettyPrintNDJSON: each line is read into a small tree and written back
// compact with sorted keys.

#include "jsonformatter.h"

#include "formatting/textscan_p.h"

#include "base/jsonstring.h"
#include "base/utf.h"

#include <rapidjson/reader.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace Formatting {

namespace {

// ---- Reading one line into a tree ---------------------------------------------------------
// Strings and numbers point into the in-situ buffer of the line, which outlives the tree.

struct Node {
    enum class Kind : std::uint8_t { Null, False, True, Number, String, Key, Object, Array };
    Kind kind = Kind::Null;
    const char *text = nullptr;
    std::uint32_t length = 0;
    // Containers: their children are children[firstChild, firstChild + childCount); an object's
    // children alternate key and value.
    std::uint32_t firstChild = 0;
    std::uint32_t childCount = 0;
};

class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
public:
    std::vector<Node> nodes;
    std::vector<std::uint32_t> children;

    bool Null() { return leaf(Node::Kind::Null); }
    bool Bool(bool value) { return leaf(value ? Node::Kind::True : Node::Kind::False); }
    bool RawNumber(const char *text, rapidjson::SizeType length, bool) { return leaf(Node::Kind::Number, text, length); }
    // A lone surrogate escape makes the line invalid, as the check says; such a line stays.
    bool String(const char *text, rapidjson::SizeType length, bool)
    {
        return !Base::Utf::holdsEncodedSurrogate({text, length}) && leaf(Node::Kind::String, text, length);
    }
    bool Key(const char *text, rapidjson::SizeType length, bool)
    {
        return !Base::Utf::holdsEncodedSurrogate({text, length}) && leaf(Node::Kind::Key, text, length);
    }
    bool StartObject() { return open(Node::Kind::Object); }
    bool StartArray() { return open(Node::Kind::Array); }
    bool EndObject(rapidjson::SizeType)
    {
        const std::size_t start = m_open.back().pendingStart;
        // Sort members by key bytes (code point order), keeping duplicates in document order.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> members;
        members.reserve((m_pending.size() - start) / 2);
        for (std::size_t i = start; i + 1 < m_pending.size(); i += 2)
            members.emplace_back(m_pending[i], m_pending[i + 1]);
        std::stable_sort(members.begin(), members.end(), [this](const auto &a, const auto &b) {
            const Node &x = nodes[a.first];
            const Node &y = nodes[b.first];
            const int order = std::memcmp(x.text, y.text, std::min(x.length, y.length));
            return order < 0 || (order == 0 && x.length < y.length);
        });
        for (std::size_t i = 0; i < members.size(); ++i) {
            m_pending[start + 2 * i] = members[i].first;
            m_pending[start + 2 * i + 1] = members[i].second;
        }
        return close();
    }
    bool EndArray(rapidjson::SizeType) { return close(); }

    // The root node once reading succeeded.
    const Node &root() const { return nodes[m_pending.front()]; }

private:
    struct Open {
        std::uint32_t node;
        std::size_t pendingStart;
    };

    bool leaf(Node::Kind kind, const char *text = nullptr, std::uint32_t length = 0)
    {
        m_pending.push_back(std::uint32_t(nodes.size()));
        nodes.push_back({kind, text, length, 0, 0});
        return true;
    }
    bool open(Node::Kind kind)
    {
        leaf(kind);
        m_open.push_back({m_pending.back(), m_pending.size()});
        return true;
    }
    bool close()
    {
        const Open top = m_open.back();
        m_open.pop_back();
        Node &node = nodes[top.node];
        node.firstChild = std::uint32_t(children.size());
        node.childCount = std::uint32_t(m_pending.size() - top.pendingStart);
        children.insert(children.end(), m_pending.begin() + std::ptrdiff_t(top.pendingStart), m_pending.end());
        m_pending.resize(top.pendingStart);
        return true;
    }

    std::vector<std::uint32_t> m_pending; // Finished values whose container is still open.
    std::vector<Open> m_open;
};

// Integers keep every digit as written (no rounding above 2^53); other numbers are written in
// shortest round-trip form, with ".0" kept on whole values so that they still read as
// fractions. Numbers beyond the range of a double stay as written.
void writeNumber(std::string &out, const char *text, std::size_t length)
{
    const std::string_view spelling(text, length);
    if (spelling.find_first_of(".eE") == std::string_view::npos) {
        out += spelling;
        return;
    }
    double value = 0;
    const auto parsed = std::from_chars(text, text + length, value);
    if (parsed.ec != std::errc() || !std::isfinite(value)) {
        out += spelling;
        return;
    }
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    const std::string_view shortest(buffer, std::size_t(written.ptr - buffer));
    out += shortest;
    if (shortest.find_first_of(".e") == std::string_view::npos)
        out += ".0";
}

void writeCompact(std::string &out, const TreeBuilder &tree)
{
    struct Frame {
        std::uint32_t node;
        std::uint32_t next; // Index of the next child to write.
    };
    std::vector<Frame> stack;
    auto writeScalarOrOpen = [&](std::uint32_t index) {
        const Node &node = tree.nodes[index];
        switch (node.kind) {
        case Node::Kind::Null:
            out += "null";
            break;
        case Node::Kind::False:
            out += "false";
            break;
        case Node::Kind::True:
            out += "true";
            break;
        case Node::Kind::Number:
            writeNumber(out, node.text, node.length);
            break;
        case Node::Kind::String:
        case Node::Kind::Key:
            Base::appendJsonString(out, std::string_view(node.text, node.length));
            break;
        case Node::Kind::Object:
        case Node::Kind::Array:
            out.push_back(node.kind == Node::Kind::Object ? '{' : '[');
            stack.push_back({index, 0});
            break;
        }
    };
    writeScalarOrOpen(std::uint32_t(&tree.root() - tree.nodes.data()));
    while (!stack.empty()) {
        Frame &frame = stack.back();
        const Node &node = tree.nodes[frame.node];
        if (frame.next == node.childCount) {
            out.push_back(node.kind == Node::Kind::Object ? '}' : ']');
            stack.pop_back();
            continue;
        }
        const bool isObject = node.kind == Node::Kind::Object;
        if (frame.next > 0)
            out.push_back(isObject && frame.next % 2 == 1 ? ':' : ',');
        const std::uint32_t child = tree.children[node.firstChild + frame.next];
        ++frame.next; // Before writing: a container child pushes a frame and invalidates `frame`.
        writeScalarOrOpen(child);
    }
}

// The rewritten line, or false when it must stay as it was.
bool rewriteLine(std::u16string_view line, std::string &compact, Base::U16Buffer &out)
{
    Base::ByteBuffer &bytes = Internal::threadScratch();
    if (Internal::encodeUtf8(line, bytes) != std::u16string_view::npos)
        return false;
    TreeBuilder tree;
    rapidjson::Reader reader;
    rapidjson::InsituStringStream stream(bytes.data());
    constexpr unsigned flags =
        rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag | rapidjson::kParseNumbersAsStringsFlag;
    if (reader.Parse<flags>(stream, tree).IsError() || stream.Tell() < bytes.size())
        return false;
    const Node::Kind rootKind = tree.root().kind;
    if (rootKind != Node::Kind::Object && rootKind != Node::Kind::Array)
        return false;
    compact.clear();
    writeCompact(compact, tree);
    // The writer's output is UTF-8 by construction; decoding stays strict all the same.
    const std::size_t mark = out.size();
    if (!Base::Utf::decodeUtf8(compact, out)) {
        out.resize(mark);
        return false;
    }
    return true;
}

} // namespace

Base::U16Buffer JSONFormatter::prettyPrintNDJSON(std::u16string_view text)
{
    Base::U16Buffer out;
    out.reserve(text.size() + 16);
    std::string compact;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = Internal::findLineFeed(text, start);
        const std::u16string_view line = text.substr(start, end - start);
        const std::u16string_view content = Internal::trimmed(line);
        if (!content.empty() && !rewriteLine(content, compact, out))
            out.append(line.data(), line.size());
        if (end < text.size())
            out.push_back(u'\n');
        start = end + 1;
    }
    return out;
}

} // namespace Formatting
