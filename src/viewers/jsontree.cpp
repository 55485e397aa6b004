#include "jsontree.h"

#include "viewers/textutil_p.h"

#include "formatting/jsonformatter.h"

#include "base/largebuffer.h"
#include "base/utf.h"

#define RAPIDJSON_ASSERT(x) ((void)0)
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <utf8proc.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace Viewers {

std::string_view kindName(JSONNodeKind kind)
{
    switch (kind) {
    case JSONNodeKind::Object: return "object";
    case JSONNodeKind::Array: return "array";
    case JSONNodeKind::String: return "string";
    case JSONNodeKind::Number: return "number";
    case JSONNodeKind::Bool: return "bool";
    case JSONNodeKind::Null: return "null";
    case JSONNodeKind::Truncated: return "truncated";
    }
    return "null";
}

namespace Internal {

constexpr std::uint32_t noNode = std::numeric_limits<std::uint32_t>::max();

enum class KeyKind : std::uint8_t { None, Member, Element };
enum class NumberForm : std::uint8_t { Signed, Unsigned, Double };

// One node of the flat, pre-order node array. Strings and keys are spans of the UTF-8 buffer
// that was parsed in place; containers list their children in `children`.
struct NodeRecord {
    std::uint32_t parent = noNode;
    std::uint32_t keyOffset = 0; // Member: span of the key; element: its index.
    std::uint32_t keyLength = 0;
    JSONNodeKind kind = JSONNodeKind::Null;
    KeyKind keyKind = KeyKind::None;
    NumberForm numberForm = NumberForm::Signed;
    bool boolValue = false;
    union {
        double real;
        std::int64_t integer;
        std::uint64_t unsignedInteger;
        struct {
            std::uint32_t offset;
            std::uint32_t length;
        } span; // String text, or [offset, offset + length) of `children` for a container.
    } value{};
};

struct JSONTreeStorage {
    Base::ByteBuffer utf8;
    Base::LargeBuffer<NodeRecord> nodes;
    Base::LargeBuffer<std::uint32_t> children;

    std::string_view text(std::uint32_t offset, std::uint32_t length) const { return {utf8.data() + offset, length}; }
};

namespace {

// Object keys compare by code point (UTF-8 byte order is code-point order); keys that are not
// plain ASCII compare by their NFC form, so canonically equivalent keys are equal.
struct SortKey {
    std::uint32_t node;
    std::string_view text;
};

bool isAscii(std::string_view text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

class TreeHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeHandler> {
public:
    explicit TreeHandler(JSONTreeStorage &storage) : m_storage(storage)
    {
        m_pending.reserve(1024);
        m_frames.reserve(64);
    }

    bool Null() { return scalar(JSONNodeKind::Null); }
    bool Bool(bool b)
    {
        if (NodeRecord *node = add(JSONNodeKind::Bool))
            node->boolValue = b;
        return true;
    }
    bool Int(int i) { return Int64(i); }
    bool Uint(unsigned u) { return Int64(u); }
    bool Int64(std::int64_t i)
    {
        if (NodeRecord *node = add(JSONNodeKind::Number)) {
            node->numberForm = NumberForm::Signed;
            node->value.integer = i;
        }
        return true;
    }
    bool Uint64(std::uint64_t u)
    {
        if (NodeRecord *node = add(JSONNodeKind::Number)) {
            node->numberForm = NumberForm::Unsigned;
            node->value.unsignedInteger = u;
        }
        return true;
    }
    bool Double(double d)
    {
        if (NodeRecord *node = add(JSONNodeKind::Number)) {
            node->numberForm = NumberForm::Double;
            node->value.real = d;
        }
        return true;
    }
    // A lone surrogate escape is a fault, as the document check says (RapidJSON itself only
    // refuses a lone high one).
    bool String(const char *text, rapidjson::SizeType length, bool)
    {
        if (Base::Utf::holdsEncodedSurrogate({text, length}))
            return false;
        if (NodeRecord *node = add(JSONNodeKind::String)) {
            node->value.span.offset = std::uint32_t(text - m_storage.utf8.data());
            node->value.span.length = length;
        }
        return true;
    }
    bool Key(const char *text, rapidjson::SizeType length, bool)
    {
        if (Base::Utf::holdsEncodedSurrogate({text, length}))
            return false;
        m_keyOffset = std::uint32_t(text - m_storage.utf8.data());
        m_keyLength = length;
        return true;
    }
    bool StartObject() { return start(JSONNodeKind::Object); }
    bool StartArray() { return start(JSONNodeKind::Array); }
    bool EndObject(rapidjson::SizeType) { return end(); }
    bool EndArray(rapidjson::SizeType) { return end(); }

private:
    struct Frame {
        std::uint32_t node;
        std::uint32_t pendingBase; // Where this container's children start in m_pending.
        std::uint32_t nextIndex;
        bool isObject;
    };

    bool scalar(JSONNodeKind kind)
    {
        add(kind);
        return true;
    }

    // Appends a node for a value at the current position, or nothing inside a truncated subtree.
    NodeRecord *add(JSONNodeKind kind)
    {
        if (m_skipping)
            return nullptr;
        const std::uint32_t index = std::uint32_t(m_storage.nodes.size());
        NodeRecord record;
        record.kind = m_frames.size() >= truncationDepth ? JSONNodeKind::Truncated : kind;
        if (!m_frames.empty()) {
            Frame &parent = m_frames.back();
            record.parent = parent.node;
            if (parent.isObject) {
                record.keyKind = KeyKind::Member;
                record.keyOffset = m_keyOffset;
                record.keyLength = m_keyLength;
            } else {
                record.keyKind = KeyKind::Element;
                record.keyOffset = parent.nextIndex++;
            }
        }
        m_storage.nodes.push_back(record);
        m_pending.push_back(index);
        return &m_storage.nodes[index];
    }

    bool start(JSONNodeKind kind)
    {
        if (m_skipping) {
            ++m_skipping;
            return true;
        }
        NodeRecord *node = add(kind);
        if (node->kind == JSONNodeKind::Truncated) {
            // The value below is not examined: its events are skipped up to the matching end.
            m_skipping = 1;
            return true;
        }
        m_frames.push_back(Frame{std::uint32_t(m_storage.nodes.size() - 1), std::uint32_t(m_pending.size()), 0,
                                 kind == JSONNodeKind::Object});
        return true;
    }

    bool end()
    {
        if (m_skipping) {
            --m_skipping;
            return true;
        }
        const Frame frame = m_frames.back();
        m_frames.pop_back();
        auto first = m_pending.begin() + frame.pendingBase;
        auto last = m_pending.end();
        if (frame.isObject && last - first > 1)
            last = sortMembers(first, last);
        const std::size_t childStart = m_storage.children.size();
        m_storage.children.append(&*first, std::size_t(last - first));
        NodeRecord &node = m_storage.nodes[frame.node];
        node.value.span.offset = std::uint32_t(childStart);
        node.value.span.length = std::uint32_t(last - first);
        m_pending.resize(frame.pendingBase);
        return true;
    }

    // Sorts member nodes by key and drops all but the last of equal keys (as a dictionary
    // would). Returns the new end.
    std::vector<std::uint32_t>::iterator sortMembers(std::vector<std::uint32_t>::iterator first,
                                                    std::vector<std::uint32_t>::iterator last)
    {
        m_keys.clear();
        m_normalised.clear();
        bool allAscii = true;
        for (auto it = first; it != last; ++it) {
            const NodeRecord &node = m_storage.nodes[*it];
            const std::string_view text = m_storage.text(node.keyOffset, node.keyLength);
            if (!isAscii(text))
                allAscii = false;
            m_keys.push_back({*it, text});
        }
        if (!allAscii) {
            // NFC forms live in m_normalised; reserve first so the views into it stay valid.
            m_normalised.reserve(m_keys.size());
            for (SortKey &key : m_keys) {
                if (isAscii(key.text) || key.text.find('\0') != std::string_view::npos)
                    continue;
                const std::string copy(key.text);
                utf8proc_uint8_t *nfc = utf8proc_NFC(reinterpret_cast<const utf8proc_uint8_t *>(copy.c_str()));
                if (!nfc)
                    continue;
                m_normalised.emplace_back(reinterpret_cast<const char *>(nfc));
                std::free(nfc);
                key.text = m_normalised.back();
            }
        }
        std::stable_sort(m_keys.begin(), m_keys.end(),
                         [](const SortKey &a, const SortKey &b) { return a.text < b.text; });
        auto out = first;
        for (std::size_t i = 0; i < m_keys.size(); ++i) {
            if (i + 1 < m_keys.size() && m_keys[i + 1].text == m_keys[i].text)
                continue;
            *out++ = m_keys[i].node;
        }
        return out;
    }

    JSONTreeStorage &m_storage;
    std::vector<Frame> m_frames;
    std::vector<std::uint32_t> m_pending; // Finished children of the open containers, in order.
    std::vector<SortKey> m_keys;
    std::vector<std::string> m_normalised;
    std::uint32_t m_keyOffset = 0;
    std::uint32_t m_keyLength = 0;
    std::size_t m_skipping = 0; // Open containers inside a truncated subtree.
};

std::u16string fromAscii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// The reader's description of why `text` is not JSON, worded exactly as the document check
// words it (so the tree panel and the status bar agree): the fault and its position phrase,
// " around line L, column C.". Should the check disagree, RapidJSON's own wording with the
// 0-based UTF-8 offset, " around character N.", is used.
std::u16string readerDescription(std::u16string_view text, rapidjson::ParseErrorCode code, std::size_t offset)
{
    const Formatting::Validation validation = Formatting::JSONFormatter::validate(text);
    std::string description;
    if (const Formatting::ValidationError *error = validation.error()) {
        description = error->message;
        if (error->line && error->column)
            description += " around line " + std::to_string(*error->line) + ", column " + std::to_string(*error->column) + ".";
        else if (error->line)
            description += " around line " + std::to_string(*error->line) + ".";
    } else {
        description = rapidjson::GetParseError_En(code);
        if (!description.empty() && description.back() == '.')
            description.pop_back();
        description += " around character " + std::to_string(offset) + ".";
    }
    std::u16string out;
    appendUtf16(description, out);
    return out;
}

template<typename Number>
std::u16string numberText(Number number)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), number);
    return fromAscii(std::string_view(buffer, std::size_t(result.ptr - buffer)));
}

} // namespace
} // namespace Internal

using Internal::NodeRecord;

// ---- JSONNode -------------------------------------------------------------------------------

namespace Internal {
namespace {
void appendSegment(const JSONTreeStorage &tree, std::uint32_t index, std::u16string &path)
{
    const NodeRecord &record = tree.nodes[index];
    switch (record.keyKind) {
    case KeyKind::None:
        break;
    case KeyKind::Member:
        path.push_back(u'.');
        appendUtf16(tree.text(record.keyOffset, record.keyLength), path);
        break;
    case KeyKind::Element:
        path.push_back(u'[');
        path += numberText(record.keyOffset);
        path.push_back(u']');
        break;
    }
}
} // namespace
} // namespace Internal

void appendPathSegment(std::u16string &path, const JSONNode &node)
{
    if (node.m_tree)
        Internal::appendSegment(*node.m_tree, node.m_index, path);
}

std::u16string JSONNode::id() const
{
    if (!m_tree)
        return {};
    std::vector<std::uint32_t> chain;
    for (std::uint32_t i = m_index; i != Internal::noNode; i = m_tree->nodes[i].parent)
        chain.push_back(i);
    std::u16string path = u"$";
    for (auto it = chain.rbegin() + 1; it < chain.rend(); ++it)
        appendPathSegment(path, JSONNode(m_tree, *it));
    return path;
}

std::optional<std::u16string> JSONNode::key() const
{
    if (!m_tree || m_tree->nodes[m_index].keyKind == Internal::KeyKind::None)
        return std::nullopt;
    std::u16string path;
    appendPathSegment(path, *this);
    if (m_tree->nodes[m_index].keyKind == Internal::KeyKind::Member)
        path.erase(0, 1);
    return path;
}

JSONNodeKind JSONNode::kind() const { return m_tree ? m_tree->nodes[m_index].kind : JSONNodeKind::Null; }

namespace Internal {
namespace {

// Appends `text` as a quoted JSON string literal (see jsonEscape).
void appendEscaped(std::u16string_view text, std::u16string &out)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back(u'"');
    for (char16_t c : text) {
        switch (c) {
        case u'\t': out += u"\\t"; break;
        case u'\n': out += u"\\n"; break;
        case u'\r': out += u"\\r"; break;
        case u'"': out += u"\\\""; break;
        case u'\\': out += u"\\\\"; break;
        default:
            if (c < 0x20) {
                out += u"\\u00";
                out.push_back(char16_t(hex[c >> 4]));
                out.push_back(char16_t(hex[c & 0xF]));
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back(u'"');
}

// Appends the summary of a node that is not a container; `scratch` holds a string's decoded
// text on the way, so a walk over many nodes reuses its buffers.
void appendScalarSummary(const JSONTreeStorage &tree, const NodeRecord &record, std::u16string &out,
                         std::u16string &scratch)
{
    switch (record.kind) {
    case JSONNodeKind::Object:
    case JSONNodeKind::Array:
        break;
    case JSONNodeKind::String:
        scratch.clear();
        appendUtf16(tree.text(record.value.span.offset, record.value.span.length), scratch);
        appendEscaped(scratch, out);
        break;
    case JSONNodeKind::Number:
        switch (record.numberForm) {
        case NumberForm::Signed: out += numberText(record.value.integer); break;
        case NumberForm::Unsigned: out += numberText(record.value.unsignedInteger); break;
        case NumberForm::Double: out += numberText(record.value.real); break;
        }
        break;
    case JSONNodeKind::Bool:
        out += record.boolValue ? u"true" : u"false";
        break;
    case JSONNodeKind::Null:
        out += u"null";
        break;
    case JSONNodeKind::Truncated:
        out += u"\u2026";
        break;
    }
}

} // namespace
} // namespace Internal

std::u16string JSONNode::summary() const
{
    if (!m_tree)
        return {};
    const NodeRecord &record = m_tree->nodes[m_index];
    switch (record.kind) {
    case JSONNodeKind::Object:
        return u"{" + Internal::numberText(record.value.span.length) + u"}";
    case JSONNodeKind::Array:
        return u"[" + Internal::numberText(record.value.span.length) + u"]";
    default: {
        std::u16string out;
        std::u16string scratch;
        Internal::appendScalarSummary(*m_tree, record, out, scratch);
        return out;
    }
    }
}

bool JSONNode::hasChildList() const
{
    const JSONNodeKind k = kind();
    return m_tree && (k == JSONNodeKind::Object || k == JSONNodeKind::Array);
}

std::size_t JSONNode::childCount() const { return hasChildList() ? m_tree->nodes[m_index].value.span.length : 0; }

JSONNode JSONNode::child(std::size_t index) const
{
    if (index >= childCount())
        return {};
    return JSONNode(m_tree, m_tree->children[m_tree->nodes[m_index].value.span.offset + index]);
}

JSONNode JSONNode::parent() const
{
    if (!m_tree || m_tree->nodes[m_index].parent == Internal::noNode)
        return {};
    return JSONNode(m_tree, m_tree->nodes[m_index].parent);
}

std::size_t JSONNode::depth() const
{
    if (!m_tree)
        return 0;
    std::size_t depth = 0;
    for (std::uint32_t i = m_tree->nodes[m_index].parent; i != Internal::noNode; i = m_tree->nodes[i].parent)
        ++depth;
    return depth;
}

// ---- Building -------------------------------------------------------------------------------

JSONTreeResult JSONTreeBuilder::build(std::u16string_view text)
{
    if (Internal::isBlank(text))
        return JSONTreeResult::invalid(u"empty");

    auto storage = std::make_shared<Internal::JSONTreeStorage>();
    // Spans are 32-bit: refuse what cannot be indexed (far beyond the 50 MB load limit).
    if (text.size() > std::numeric_limits<std::uint32_t>::max() / 3 - 1)
        return JSONTreeResult::invalid(u"Document too large");
    if (!Internal::appendUtf8(text, storage->utf8))
        return JSONTreeResult::invalid(u"encoding");
    storage->utf8.push_back('\0');
    storage->nodes.reserve(std::max<std::size_t>(16, storage->utf8.size() / 16));
    storage->children.reserve(std::max<std::size_t>(16, storage->utf8.size() / 16));

    // In-place parsing leaves every decoded string inside the buffer, so nodes hold spans.
    rapidjson::InsituStringStream stream(storage->utf8.data());
    Internal::TreeHandler handler(*storage);
    rapidjson::Reader reader;
    constexpr unsigned flags = rapidjson::kParseInsituFlag | rapidjson::kParseIterativeFlag
        | rapidjson::kParseFullPrecisionFlag;
    const rapidjson::ParseResult result = reader.Parse<flags>(stream, handler);
    if (result.IsError())
        return JSONTreeResult::invalid(Internal::readerDescription(text, result.Code(), result.Offset()));
    // The reader stops at a NUL byte; one inside the text is a fault, not the end.
    if (stream.Tell() + 1 < storage->utf8.size())
        return JSONTreeResult::invalid(
            Internal::readerDescription(text, rapidjson::kParseErrorDocumentRootNotSingular, stream.Tell()));
    return JSONTreeResult::ok(JSONNode(std::move(storage), 0));
}

std::u16string jsonEscape(std::u16string_view text)
{
    std::u16string out;
    out.reserve(text.size() + 2);
    Internal::appendEscaped(text, out);
    return out;
}

// ---- Rows -----------------------------------------------------------------------------------

// ---- Expansion set ----------------------------------------------------------------------------

ExpandedSet::ExpandedSet(std::initializer_list<std::u16string_view> ids)
{
    for (const auto id : ids)
        insert(id);
}

bool ExpandedSet::containsFingerprint(std::uint64_t key) const
{
    if (m_count == 0)
        return false;
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        if (m_slots[i] == key)
            return true;
        if (m_slots[i] == 0)
            return false;
    }
}

void ExpandedSet::insertFingerprint(std::uint64_t key)
{
    if (containsFingerprint(key))
        return;
    if ((m_count + 1) * 2 > m_slots.size()) {
        std::vector<std::uint64_t> old = std::move(m_slots);
        m_slots.assign(std::max<std::size_t>(16, old.size() * 2), 0);
        m_count = 0;
        for (std::uint64_t existing : old) {
            if (existing)
                insertFingerprint(existing);
        }
    }
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = key & mask;
    while (m_slots[i] != 0)
        i = (i + 1) & mask;
    m_slots[i] = key;
    ++m_count;
}

bool ExpandedSet::erase(std::u16string_view id)
{
    const std::uint64_t key = fingerprint(id);
    if (!containsFingerprint(key))
        return false;
    const std::size_t mask = m_slots.size() - 1;
    std::size_t hole = key & mask;
    while (m_slots[hole] != key)
        hole = (hole + 1) & mask;
    // Backward-shift deletion keeps every later entry of the probe run reachable.
    for (std::size_t next = (hole + 1) & mask; m_slots[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = m_slots[next] & mask;
        const bool staysPut = hole <= next ? (hole < home && home <= next) : (hole < home || home <= next);
        if (staysPut)
            continue;
        m_slots[hole] = m_slots[next];
        hole = next;
    }
    m_slots[hole] = 0;
    --m_count;
    return true;
}

void ExpandedSet::toggle(std::u16string_view id)
{
    if (!erase(id))
        insert(id);
}

bool operator==(const ExpandedSet &a, const ExpandedSet &b)
{
    if (a.m_count != b.m_count)
        return false;
    for (std::uint64_t key : a.m_slots) {
        if (key && !b.containsFingerprint(key))
            return false;
    }
    return true;
}

namespace Internal {
namespace {

// Extends a path fingerprint by a node's segment, ".key" or "[i]", as UTF-16 units.
std::uint64_t extendBySegment(const JSONTreeStorage &tree, std::uint32_t index, std::uint64_t state)
{
    const NodeRecord &record = tree.nodes[index];
    if (record.keyKind == KeyKind::Member) {
        state = ExpandedSet::extend(state, u'.');
        const std::string_view key = tree.text(record.keyOffset, record.keyLength);
        bool ascii = true;
        for (char c : key) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                ascii = false;
                break;
            }
        }
        if (ascii) {
            for (char c : key)
                state = ExpandedSet::extend(state, char16_t(c));
        } else {
            std::u16string units;
            appendUtf16(key, units);
            state = ExpandedSet::extend(state, units);
        }
    } else if (record.keyKind == KeyKind::Element) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof(digits), record.keyOffset).ptr;
        state = ExpandedSet::extend(state, u'[');
        for (const char *c = digits; c < end; ++c)
            state = ExpandedSet::extend(state, char16_t(*c));
        state = ExpandedSet::extend(state, u']');
    }
    return state;
}

bool isContainer(const NodeRecord &record)
{
    return record.kind == JSONNodeKind::Object || record.kind == JSONNodeKind::Array;
}

} // namespace
} // namespace Internal

// ---- Rows -----------------------------------------------------------------------------------

ExpandedSet defaultExpanded(const JSONNode &root)
{
    ExpandedSet expanded;
    if (root.childCount() == 0)
        return expanded;
    const auto &tree = *root.m_tree;
    const std::uint64_t rootState = ExpandedSet::extend(ExpandedSet::seed, u'$');
    expanded.insertFingerprint(ExpandedSet::finish(rootState));
    const NodeRecord &record = tree.nodes[root.m_index];
    for (std::uint32_t i = 0; i < record.value.span.length; ++i) {
        const std::uint32_t child = tree.children[record.value.span.offset + i];
        const NodeRecord &childRecord = tree.nodes[child];
        if (!Internal::isContainer(childRecord) || childRecord.value.span.length == 0)
            continue;
        expanded.insertFingerprint(ExpandedSet::finish(Internal::extendBySegment(tree, child, rootState)));
    }
    return expanded;
}

JSONRowList visibleRows(const JSONNode &root, const ExpandedSet &expanded)
{
    JSONRowList list;
    if (!root.isValid())
        return list;
    list.m_tree = root.m_tree;
    const Internal::JSONTreeStorage &tree = *root.m_tree;
    auto &rows = list.m_entries;
    // Frames carry the fingerprint state of their node's path; children extend it.
    struct Frame {
        std::uint32_t node;
        std::uint32_t nextChild;
        std::uint64_t pathState;
    };
    auto hasChildren = [&](std::uint32_t index) {
        const NodeRecord &record = tree.nodes[index];
        return Internal::isContainer(record) && record.value.span.length > 0;
    };
    std::vector<Frame> stack;
    const std::uint64_t rootState = ExpandedSet::extend(ExpandedSet::seed, u'$');
    rows.push_back({root.m_index, 0});
    if (hasChildren(root.m_index) && expanded.containsFingerprint(ExpandedSet::finish(rootState)))
        stack.push_back({root.m_index, 0, rootState});
    while (!stack.empty()) {
        Frame &frame = stack.back();
        const NodeRecord &parent = tree.nodes[frame.node];
        if (frame.nextChild == parent.value.span.length) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = tree.children[parent.value.span.offset + frame.nextChild++];
        const auto depth = std::uint32_t(stack.size());
        rows.push_back({child, depth});
        if (hasChildren(child)) {
            const std::uint64_t state = Internal::extendBySegment(tree, child, frame.pathState);
            if (expanded.containsFingerprint(ExpandedSet::finish(state)))
                stack.push_back({child, 0, state});
        }
    }
    return list;
}

JSONTreeRows::JSONTreeRows(JSONNode root) : m_root(std::move(root)), m_expanded(defaultExpanded(m_root)) {}

void JSONTreeRows::toggle(std::u16string_view id) { m_expanded.toggle(id); }

void JSONTreeRows::expandAncestors(const JSONNode &node)
{
    std::vector<JSONNode> chain;
    for (JSONNode above = node.parent(); above.isValid(); above = above.parent())
        chain.push_back(above);
    // Ids grow from the root down, one segment per level.
    std::u16string id = u"$";
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        appendPathSegment(id, *it);
        m_expanded.insert(id);
    }
}

std::optional<std::size_t> JSONRowList::rowOf(const JSONNode &node) const
{
    if (!node.isValid() || node.m_tree != m_tree)
        return std::nullopt;
    for (std::size_t row = 0; row < m_entries.size(); ++row) {
        if (m_entries[row].node == node.m_index)
            return row;
    }
    return std::nullopt;
}

// ---- Find -------------------------------------------------------------------------------------

namespace Internal {
namespace {

// Visits the nodes at or below `root` in row order of a fully expanded tree, with their rows,
// until `visit` returns false.
template<typename Visit>
void walkFullyExpanded(const JSONTreeStorage &tree, std::uint32_t root, Visit &&visit)
{
    std::size_t row = 0;
    if (!visit(root, row++))
        return;
    struct Frame {
        std::uint32_t node;
        std::uint32_t nextChild;
    };
    std::vector<Frame> stack;
    if (isContainer(tree.nodes[root]))
        stack.push_back({root, 0});
    while (!stack.empty()) {
        Frame &frame = stack.back();
        const NodeRecord &parent = tree.nodes[frame.node];
        if (frame.nextChild == parent.value.span.length) {
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = tree.children[parent.value.span.offset + frame.nextChild++];
        if (!visit(child, row++))
            return;
        if (isContainer(tree.nodes[child]))
            stack.push_back({child, 0});
    }
}

} // namespace
} // namespace Internal

JSONTreeMatches findNodes(const JSONNode &root, const TextMatcher &matcher)
{
    JSONTreeMatches found;
    if (!root.isValid() || matcher.isEmpty())
        return found;
    found.m_tree = root.m_tree;
    const Internal::JSONTreeStorage &tree = *root.m_tree;
    std::u16string text;
    std::u16string scratch;
    Internal::walkFullyExpanded(tree, root.m_index, [&](std::uint32_t index, std::size_t row) {
        const NodeRecord &record = tree.nodes[index];
        bool hit = false;
        if (record.keyKind == Internal::KeyKind::Member) {
            text.clear();
            Internal::appendUtf16(tree.text(record.keyOffset, record.keyLength), text);
            hit = matcher.matches(text);
        }
        if (!hit && !Internal::isContainer(record)) {
            text.clear();
            Internal::appendScalarSummary(tree, record, text, scratch);
            hit = matcher.matches(text);
        }
        if (hit)
            found.m_entries.push_back({index, std::uint32_t(row)});
        return true;
    });
    found.m_byNode.reserve(found.m_entries.size());
    for (std::size_t i = 0; i < found.m_entries.size(); ++i)
        found.m_byNode.push_back({found.m_entries[i].node, std::uint32_t(i)});
    std::sort(found.m_byNode.begin(), found.m_byNode.end(),
              [](const JSONTreeMatches::Entry &a, const JSONTreeMatches::Entry &b) { return a.node < b.node; });
    return found;
}

std::optional<std::size_t> JSONTreeMatches::indexOf(const JSONNode &node) const
{
    if (!node.isValid() || node.m_tree != m_tree)
        return std::nullopt;
    const auto it = std::lower_bound(m_byNode.begin(), m_byNode.end(), node.m_index,
                                     [](const Entry &entry, std::uint32_t index) { return entry.node < index; });
    if (it == m_byNode.end() || it->node != node.m_index)
        return std::nullopt;
    return it->row;
}

std::size_t fullyExpandedRow(const JSONNode &node)
{
    if (!node.isValid())
        return 0;
    std::uint32_t top = node.m_index;
    while (node.m_tree->nodes[top].parent != Internal::noNode)
        top = node.m_tree->nodes[top].parent;
    std::size_t found = 0;
    Internal::walkFullyExpanded(*node.m_tree, top, [&](std::uint32_t index, std::size_t row) {
        found = row;
        return index != node.m_index;
    });
    return found;
}

std::vector<Formatting::JSONPathStep> pathSteps(const JSONNode &node)
{
    std::vector<Formatting::JSONPathStep> steps;
    for (JSONNode at = node; at.isValid() && at.depth() > 0; at = at.parent()) {
        const JSONNode parent = at.parent();
        const std::u16string key = at.key().value_or(std::u16string());
        if (parent.kind() == JSONNodeKind::Array) {
            // An element's key is "[i]".
            std::size_t index = 0;
            for (char16_t c : key)
                if (c >= u'0' && c <= u'9')
                    index = index * 10 + std::size_t(c - u'0');
            steps.push_back({std::nullopt, index});
        } else {
            steps.push_back({key, 0});
        }
    }
    std::reverse(steps.begin(), steps.end());
    return steps;
}

} // namespace Viewers
