#include "csvsort.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <tuple>
#include <utility>
#include <limits>
#include <numeric>
#include <string>

namespace Viewers {

namespace {

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string_view trimmed(std::u16string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

char16_t folded(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }

// The first eight folded units in one integer, so most comparisons never reach the text (a
// column of codes such as "ABC-1234" shares its first four).
struct Prefix {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    bool operator==(const Prefix &) const = default;
    bool operator<(const Prefix &other) const
    {
        return high != other.high ? high < other.high : low < other.low;
    }
};
Prefix prefixKey(std::u16string_view text)
{
    Prefix key;
    for (std::size_t i = 0; i < 4; ++i)
        key.high = key.high << 16 | (i < text.size() ? folded(text[i]) : 0);
    for (std::size_t i = 4; i < 8; ++i)
        key.low = key.low << 16 | (i < text.size() ? folded(text[i]) : 0);
    return key;
}

struct NumberKey {
    double value;
    std::uint32_t row;
};

struct TextKey {
    Prefix prefix;
    const char16_t *text;
    std::uint32_t length;
    std::uint32_t row;
};

// Folded order, then exact order; 0 when the texts are the same. One pass: runs of equal
// units are skipped by std::mismatch, and only a unit that differs is folded; the first exact
// difference decides between texts that differ in case alone.
int compareText(const TextKey &a, const TextKey &b)
{
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    const std::size_t common = std::min(a.length, b.length);
    const char16_t *const end = a.text + common;
    const char16_t *p = a.text;
    const char16_t *q = b.text;
    int exact = 0;
    while (true) {
        std::tie(p, q) = std::mismatch(p, end, q);
        if (p == end)
            break;
        const char16_t x = folded(*p);
        const char16_t y = folded(*q);
        if (x != y)
            return x < y ? -1 : 1;
        if (exact == 0)
            exact = *p < *q ? -1 : 1;
        ++p;
        ++q;
    }
    if (a.length != b.length)
        return a.length < b.length ? -1 : 1;
    return exact;
}

} // namespace

std::optional<double> csvNumber(std::u16string_view cell)
{
    const std::u16string_view text = trimmed(cell);
    if (text.empty())
        return std::nullopt;
    std::size_t i = 0;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return std::nullopt;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        const std::size_t exponentStart = i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        if (i == exponentStart)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;

    // Every unit is ASCII now; from_chars reads it without a locale (and without the sign).
    const std::size_t length = text.size() - mantissaStart;
    char small[64];
    std::string large;
    char *ascii = small;
    if (length > sizeof(small)) {
        large.resize(length);
        ascii = large.data();
    }
    for (std::size_t k = mantissaStart; k < text.size(); ++k)
        ascii[k - mantissaStart] = char(text[k]);
    double value = 0;
    const auto result = std::from_chars(ascii, ascii + length, value);
    if (result.ec == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
    else if (result.ec != std::errc() || result.ptr != ascii + length)
        return std::nullopt;
    return negative ? -value : value;
}

std::vector<std::uint32_t> sortedRowOrder(const CSVTable &table, std::size_t column, CSVSortOrder order)
{
    const std::size_t rows = table.rowCount();
    std::vector<std::uint32_t> result;
    result.reserve(rows);
    if (column >= table.columnCount()) {
        result.resize(rows);
        std::iota(result.begin(), result.end(), std::uint32_t(0));
        return result;
    }

    std::vector<NumberKey> numbers;
    std::vector<TextKey> texts;
    std::vector<std::uint32_t> empties;
    // Reserved, not touched: only the pages a column's kind of cell fills become resident.
    numbers.reserve(rows);
    texts.reserve(rows);
    // Quoted cells are unescaped once into one buffer; their keys point into it once it has
    // stopped growing.
    std::u16string unescaped;
    std::vector<std::pair<std::size_t, std::size_t>> pending; // (text key, offset in `unescaped`)
    std::u16string scratch;
    for (std::size_t row = 0; row < rows; ++row) {
        std::u16string_view cell = table.cellView(row, column, scratch);
        if (trimmed(cell).empty()) {
            empties.push_back(std::uint32_t(row));
            continue;
        }
        if (const auto number = csvNumber(cell)) {
            numbers.push_back({*number, std::uint32_t(row)});
            continue;
        }
        const bool inScratch = !scratch.empty() && cell.data() == scratch.data();
        if (inScratch) {
            pending.emplace_back(texts.size(), unescaped.size());
            unescaped += cell;
        }
        texts.push_back({prefixKey(cell), inScratch ? nullptr : cell.data(), std::uint32_t(cell.size()),
                         std::uint32_t(row)});
    }
    for (const auto &[key, offset] : pending)
        texts[key].text = unescaped.data() + offset;

    const bool ascending = order == CSVSortOrder::Ascending;
    if (ascending) {
        std::stable_sort(numbers.begin(), numbers.end(),
                         [](const NumberKey &a, const NumberKey &b) { return a.value < b.value; });
        std::stable_sort(texts.begin(), texts.end(),
                         [](const TextKey &a, const TextKey &b) { return compareText(a, b) < 0; });
        for (const NumberKey &key : numbers)
            result.push_back(key.row);
        for (const TextKey &key : texts)
            result.push_back(key.row);
    } else {
        std::stable_sort(numbers.begin(), numbers.end(),
                         [](const NumberKey &a, const NumberKey &b) { return a.value > b.value; });
        std::stable_sort(texts.begin(), texts.end(),
                         [](const TextKey &a, const TextKey &b) { return compareText(a, b) > 0; });
        for (const TextKey &key : texts)
            result.push_back(key.row);
        for (const NumberKey &key : numbers)
            result.push_back(key.row);
    }
    result.insert(result.end(), empties.begin(), empties.end());
    return result;
}

} // namespace Viewers
