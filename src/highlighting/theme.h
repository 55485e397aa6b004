#pragma once

#include "highlighting/color.h"
#include "highlighting/syntaxclass.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

namespace Highlighting {

// The eight colours with which the highlighter's classes are painted, in this order.
struct SyntaxPalette {
    Color keyword;
    Color string;
    Color number;
    Color comment;
    Color punctuation;
    Color property;
    Color type;
    Color constant;

    // The field for `syntaxClass`; `base` for SyntaxClass::Base (the palette has no base colour).
    constexpr Color color(SyntaxClass syntaxClass, Color base) const
    {
        switch (syntaxClass) {
        case SyntaxClass::Keyword: return keyword;
        case SyntaxClass::String: return string;
        case SyntaxClass::Number: return number;
        case SyntaxClass::Comment: return comment;
        case SyntaxClass::Punctuation: return punctuation;
        case SyntaxClass::Property: return property;
        case SyntaxClass::Type: return type;
        case SyntaxClass::Constant: return constant;
        case SyntaxClass::Base: break;
        }
        return base;
    }

    friend constexpr bool operator==(const SyntaxPalette &, const SyntaxPalette &) = default;
};

// One of the built-in colour themes. A value identified by its id: equality and hashing look at
// the id only. The list is fixed; windows store only the id and resolve it with `resolve()`.
class Theme {
public:
    // `id` and `name` must outlive the theme (the built-in themes use string literals). The
    // palette is the custom one stored for `id`, else the default one for `isDark`.
    Theme(std::string_view id, std::string_view name, bool isDark, Color background, Color foreground);

    std::string_view id() const { return m_id; }
    std::string_view name() const { return m_name; }
    bool isDark() const { return m_isDark; }
    // Editor and preview background, and the default text colour.
    Color background() const { return m_background; }
    Color foreground() const { return m_foreground; }
    const SyntaxPalette &syntax() const { return *m_syntax; }
    // The colour a unit of class `syntaxClass` is drawn in: the foreground for Base.
    Color color(SyntaxClass syntaxClass) const { return m_syntax->color(syntaxClass, m_foreground); }

    // The 22 built-in themes in chooser order. Built once, thread-safely, on first use.
    static std::span<const Theme> all();
    // The built-in theme with `id`, or nullptr.
    static const Theme *byId(std::string_view id);
    // "vs-claude" (the first entry of all() if it were ever missing).
    static const Theme &defaultTheme();
    // The theme a stored id stands for: byId(id), or defaultTheme() for an empty, unknown or
    // stale id. The stored id is never rewritten by the caller because of this.
    static const Theme &resolve(std::string_view storedId);
    // The palette stored for `id` (19 themes have one), or nullptr.
    static const SyntaxPalette *customSyntax(std::string_view id);
    // The fallback palette of themes without a custom one.
    static const SyntaxPalette &defaultSyntax(bool isDark);

    friend bool operator==(const Theme &a, const Theme &b) { return a.m_id == b.m_id; }

private:
    std::string_view m_id;
    std::string_view m_name;
    bool m_isDark;
    Color m_background;
    Color m_foreground;
    const SyntaxPalette *m_syntax; // Never null: points into a static table.
};

} // namespace Highlighting

template<>
struct std::hash<Highlighting::Theme> {
    std::size_t operator()(const Highlighting::Theme &theme) const noexcept
    {
        return std::hash<std::string_view>()(theme.id());
    }
};
