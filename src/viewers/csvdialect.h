#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace Viewers {

// The delimiter a CSV document is read with: detected from its first lines (Auto), or one the
// user picked. The order is the picker's.
enum class CSVDelimiterChoice : std::uint8_t { Auto, Comma, Semicolon, Tab, Pipe };

inline constexpr std::array<CSVDelimiterChoice, 5> allDelimiterChoices = {
    CSVDelimiterChoice::Auto, CSVDelimiterChoice::Comma, CSVDelimiterChoice::Semicolon, CSVDelimiterChoice::Tab,
    CSVDelimiterChoice::Pipe};

// The delimiters detection chooses from, in tie-breaking order.
inline constexpr std::array<char16_t, 4> candidateDelimiters = {u',', u';', u'\t', u'|'};

// Detection reads at most this many non-blank lines and this many UTF-16 units.
inline constexpr std::size_t detectionLineLimit = 64;
inline constexpr std::size_t detectionUnitLimit = 64 * 1024;

// The candidate that splits the most sampled lines into the same number (two or more) of
// fields. Delimiters inside quotes do not count, blank lines are skipped, and a line cut by the
// unit limit is left out. Ties go to the earlier candidate; text with no candidate at all (a
// single column, an empty text) gives a comma.
char16_t detectDelimiter(std::u16string_view text);

// The delimiter a file's name implies: a tab for ".tsv" (any case), none otherwise (detect).
std::optional<char16_t> defaultDelimiterFor(std::string_view path);

// The delimiter of an explicit choice; none for Auto.
std::optional<char16_t> delimiterOf(CSVDelimiterChoice choice);

// What a document is parsed with: the chosen delimiter, else the file name's, else detected.
char16_t resolveDelimiter(CSVDelimiterChoice choice, std::string_view path, std::u16string_view text);

// Stable lower-case names for scripts and settings: "auto", "comma", "semicolon", "tab", "pipe".
std::string_view delimiterChoiceName(CSVDelimiterChoice choice);
std::optional<CSVDelimiterChoice> delimiterChoiceFromName(std::string_view name);
// The choice naming `delimiter` (Comma for anything that is not a candidate).
CSVDelimiterChoice choiceFor(char16_t delimiter);

} // namespace Viewers
