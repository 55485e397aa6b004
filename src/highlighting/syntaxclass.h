#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace Highlighting {

// The class of one UTF-16 unit after colouring: Base (the theme's foreground) or one of the
// eight palette fields. Stored as one byte per unit beside the text, so the values are part of
// the storage format of the text view: append only, never renumber.
enum class SyntaxClass : std::uint8_t {
    Base = 0,
    Keyword,
    String,
    Number,
    Comment,
    Punctuation,
    Property,
    Type,
    Constant,
};

inline constexpr std::size_t syntaxClassCount = 9;

// Lower-case names as tools print them: "base", "keyword", …, "constant".
constexpr std::string_view syntaxClassName(SyntaxClass syntaxClass)
{
    constexpr std::array<std::string_view, syntaxClassCount> names = {
        "base", "keyword", "string", "number", "comment", "punctuation", "property", "type", "constant"};
    const auto index = static_cast<std::size_t>(syntaxClass);
    return index < names.size() ? names[index] : std::string_view("base");
}

// Inverse of syntaxClassName; nothing for an unknown name.
constexpr std::optional<SyntaxClass> syntaxClassFromName(std::string_view name)
{
    for (std::size_t i = 0; i < syntaxClassCount; ++i)
        if (syntaxClassName(static_cast<SyntaxClass>(i)) == name)
            return static_cast<SyntaxClass>(i);
    return std::nullopt;
}

} // namespace Highlighting
