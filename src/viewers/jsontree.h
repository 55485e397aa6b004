#pragma once

#include "formatting/jsonpath.h"

#include "viewers/textmatch.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <initializer_list>
#include <vector>

namespace Viewers {

enum class JSONNodeKind : std::uint8_t { Object, Array, String, Number, Bool, Null, Truncated };

// "object", "array", "string", "number", "bool", "null", "truncated".
std::string_view kindName(JSONNodeKind kind);

namespace Internal {
struct JSONTreeStorage;
}

// A set of node ids (paths). Ids are kept as 64-bit fingerprints of their UTF-16 text in an
// open-addressing table, so membership tests during a walk need neither a path string nor a
// string comparison; the walk hashes paths incrementally. Two different ids share a
// fingerprint with a probability of about 2^-64 per pair, which would only expand or
// collapse a row the user did not touch.
class ExpandedSet {
public:
    ExpandedSet() = default;
    ExpandedSet(std::initializer_list<std::u16string_view> ids);

    bool contains(std::u16string_view id) const { return containsFingerprint(fingerprint(id)); }
    void insert(std::u16string_view id) { insertFingerprint(fingerprint(id)); }
    // True when `id` was in the set.
    bool erase(std::u16string_view id);
    void toggle(std::u16string_view id);
    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }

    // The fingerprint of an id, and its incremental form: extending the fingerprint of a path
    // by more UTF-16 units gives the fingerprint of the longer path.
    static std::uint64_t fingerprint(std::u16string_view id) { return finish(extend(seed, id)); }
    static constexpr std::uint64_t seed = 0xcbf29ce484222325ull;
    static std::uint64_t extend(std::uint64_t state, std::u16string_view units)
    {
        for (char16_t unit : units)
            state = (state ^ unit) * 0x100000001b3ull;
        return state;
    }
    static std::uint64_t extend(std::uint64_t state, char16_t unit) { return (state ^ unit) * 0x100000001b3ull; }
    static std::uint64_t finish(std::uint64_t state)
    {
        state ^= state >> 31;
        state *= 0x7fb5d329728ea185ull;
        state ^= state >> 27;
        return state == 0 ? 1 : state; // 0 marks an empty slot.
    }
    bool containsFingerprint(std::uint64_t key) const;
    void insertFingerprint(std::uint64_t key);

    friend bool operator==(const ExpandedSet &a, const ExpandedSet &b);

private:
    std::vector<std::uint64_t> m_slots; // Power-of-two size, at most half full.
    std::size_t m_count = 0;
};

class JSONRowList;
class JSONTreeMatches;

// One node of a built tree: a light handle into the tree's flat node array (which it keeps
// alive). Ids, keys and summaries are produced on request.
class JSONNode {
public:
    JSONNode() = default;

    bool isValid() const { return m_tree != nullptr; }

    // The path from the root: "$", then ".key" per object member (the key verbatim) and "[i]"
    // per array element. Keys holding "." or "[" can make two nodes share a path.
    std::u16string id() const;
    // The member name, "[i]" for an array element, or nothing for the root.
    std::optional<std::u16string> key() const;
    JSONNodeKind kind() const;
    // "{n}", "[n]", the quoted escaped string, the number's shortest round-trip text, "true",
    // "false", "null", or "…" for a truncated node.
    std::u16string summary() const;
    // Objects and arrays have a (possibly empty) child list; other kinds have none.
    bool hasChildList() const;
    std::size_t childCount() const;
    // Child `index` (< childCount()): members in key order, elements in index order.
    JSONNode child(std::size_t index) const;
    // Distance from the root (0 for the root).
    std::size_t depth() const;
    // The node holding this one; an invalid handle for the root.
    JSONNode parent() const;

    // Handles of the same node of the same tree.
    friend bool operator==(const JSONNode &a, const JSONNode &b)
    {
        return a.m_tree == b.m_tree && a.m_index == b.m_index;
    }

private:
    friend class JSONTreeBuilder;
    friend struct Internal::JSONTreeStorage;
    friend void appendPathSegment(std::u16string &path, const JSONNode &node);
    friend class JSONRowList;
    friend JSONRowList visibleRows(const JSONNode &root, const ExpandedSet &expanded);
    friend ExpandedSet defaultExpanded(const JSONNode &root);
    friend class JSONTreeMatches;
    friend JSONTreeMatches findNodes(const JSONNode &root, const TextMatcher &matcher);
    friend std::size_t fullyExpandedRow(const JSONNode &node);
    JSONNode(std::shared_ptr<const Internal::JSONTreeStorage> tree, std::uint32_t index)
        : m_tree(std::move(tree)), m_index(index) {}

    std::shared_ptr<const Internal::JSONTreeStorage> m_tree;
    std::uint32_t m_index = 0;
};

// The outcome of a build: the root, or the message of why there is none.
class JSONTreeResult {
public:
    static JSONTreeResult ok(JSONNode root) { return JSONTreeResult(std::move(root), {}); }
    static JSONTreeResult invalid(std::u16string message) { return JSONTreeResult({}, std::move(message)); }

    bool isOk() const { return m_root.isValid(); }
    const JSONNode &root() const { return m_root; }
    // "empty", "encoding", or the reader's description; empty when isOk().
    const std::u16string &message() const { return m_message; }

private:
    JSONTreeResult(JSONNode root, std::u16string message) : m_root(std::move(root)), m_message(std::move(message)) {}
    JSONNode m_root;
    std::u16string m_message;
};

class JSONTreeBuilder {
public:
    // Parses `text` (top-level scalars allowed) into a tree. Blank text gives invalid("empty");
    // text that cannot be encoded as UTF-8 (an unpaired surrogate) gives invalid("encoding"); a
    // syntax error gives invalid with the reader's description, which ends in
    // " around character N." (N a 0-based offset into the UTF-8 bytes). Object keys are sorted
    // in code-point order (canonically equivalent keys compare equal); of duplicate keys the
    // last one is kept. Nodes 256 levels below the root or deeper become one truncated node.
    // The parse is iterative, so nesting depth cannot exhaust the stack.
    static JSONTreeResult build(std::u16string_view text);
};

// `text` as a quoted JSON string literal: tab, LF, CR, quote and backslash as two-character
// escapes, other scalars below U+0020 as \u00xx (lower-case hex), everything else unchanged.
std::u16string jsonEscape(std::u16string_view text);

// Appends the node's segment (".key" or "[i]") to a parent's path; nothing for the root.
void appendPathSegment(std::u16string &path, const JSONNode &node);

// One visible row.
struct FlatJSONRow {
    JSONNode node;
    std::size_t depth = 0; // 0 for the root.
    std::u16string id() const { return node.id(); }
};

// The visible rows in order: 8 bytes per row (node and depth), with FlatJSONRow values made on
// access, so a fully expanded tree of millions of nodes lists quickly.
class JSONRowList {
public:
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    FlatJSONRow operator[](std::size_t row) const { return {JSONNode(m_tree, m_entries[row].node), m_entries[row].depth}; }
    std::size_t depth(std::size_t row) const { return m_entries[row].depth; }

    class Iterator {
    public:
        Iterator(const JSONRowList *list, std::size_t row) : m_list(list), m_row(row) {}
        FlatJSONRow operator*() const { return (*m_list)[m_row]; }
        Iterator &operator++()
        {
            ++m_row;
            return *this;
        }
        bool operator==(const Iterator &other) const { return m_row == other.m_row; }

    private:
        const JSONRowList *m_list;
        std::size_t m_row;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, size()}; }

    // The row showing `node` (a node of the same tree), if it is listed. Linear in the rows.
    std::optional<std::size_t> rowOf(const JSONNode &node) const;

private:
    friend JSONRowList visibleRows(const JSONNode &root, const ExpandedSet &expanded);
    struct Entry {
        std::uint32_t node;
        std::uint32_t depth;
    };
    std::shared_ptr<const Internal::JSONTreeStorage> m_tree;
    std::vector<Entry> m_entries;
};

// The initial expansion: the root and every container directly inside it, when they have at
// least one child.
ExpandedSet defaultExpanded(const JSONNode &root);

// Pre-order rows under `expanded`: a node's children are listed only when it has at least one
// and its id is in the set.
JSONRowList visibleRows(const JSONNode &root, const ExpandedSet &expanded);

// The row list's state: a root and the ids of the expanded nodes.
class JSONTreeRows {
public:
    JSONTreeRows() = default;
    // Starts with defaultExpanded(root).
    explicit JSONTreeRows(JSONNode root);

    const JSONNode &root() const { return m_root; }
    // Swaps in a newer tree of the same document and keeps the expansion; ids that no longer
    // exist simply never match.
    void setRoot(JSONNode root) { m_root = std::move(root); }
    const ExpandedSet &expanded() const { return m_expanded; }
    bool isExpanded(std::u16string_view id) const { return m_expanded.contains(id); }
    // Flips `id`'s membership in the expanded set.
    void toggle(std::u16string_view id);
    // Expands every node above `node` (a node of this tree), so that the rows list it.
    void expandAncestors(const JSONNode &node);
    JSONRowList visibleRows() const { return Viewers::visibleRows(m_root, m_expanded); }

private:
    JSONNode m_root;
    ExpandedSet m_expanded;
};

// ---- Find -------------------------------------------------------------------------------------

// Nodes a find turned up, in the order the rows of a fully expanded tree list them, each with
// that row: 8 bytes per node, JSONNode handles made on access.
class JSONTreeMatches {
public:
    std::size_t size() const { return m_entries.size(); }
    bool empty() const { return m_entries.empty(); }
    JSONNode operator[](std::size_t index) const { return JSONNode(m_tree, m_entries[index].node); }
    // The row of match `index` in the fully expanded tree (see fullyExpandedRow); increasing.
    std::size_t fullyExpandedRow(std::size_t index) const { return m_entries[index].row; }
    // The index of the match that is `node`, if it is one. O(log n).
    std::optional<std::size_t> indexOf(const JSONNode &node) const;

private:
    friend JSONTreeMatches findNodes(const JSONNode &root, const TextMatcher &matcher);
    struct Entry {
        std::uint32_t node;
        std::uint32_t row;
    };
    std::shared_ptr<const Internal::JSONTreeStorage> m_tree;
    std::vector<Entry> m_entries;
    std::vector<Entry> m_byNode; // The same entries by node, with their index as the row.
};

// The nodes at or below `root` whose row text holds `matcher`'s needle, expanded or not: the
// member name (as the row shows it, unquoted) and, for strings, numbers, booleans and null, the
// summary (strings quoted and escaped). Array positions ("[3]") and the child counts of objects
// and arrays are structure, not content, and are not searched. A node is listed once, in row
// order. An empty needle finds nothing. Linear in the tree.
JSONTreeMatches findNodes(const JSONNode &root, const TextMatcher &matcher);

// The row `node` would have if every node of its tree were expanded: its place in pre-order
// with members in key order, the tree's root 0. Linear in the nodes before it.
std::size_t fullyExpandedRow(const JSONNode &node);

inline constexpr std::size_t truncationDepth = 256;

// The steps from the root to `node`, as Formatting::jsonValueOffset takes them: a member's key,
// or an element's index. Empty for the root (or an invalid node).
std::vector<Formatting::JSONPathStep> pathSteps(const JSONNode &node);

} // namespace Viewers
