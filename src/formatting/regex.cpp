#include "regex_p.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <cassert>
#include <memory>

namespace Formatting::Internal {

namespace {
pcre2_code_16 *code(void *pointer)
{
    return static_cast<pcre2_code_16 *>(pointer);
}

struct MatchDataDeleter {
    void operator()(pcre2_match_data_16 *data) const { pcre2_match_data_free_16(data); }
};
} // namespace

Regex::Regex(std::u16string_view pattern, Case caseMode)
{
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    const std::uint32_t options = caseMode == Case::Insensitive ? PCRE2_CASELESS : 0;
    auto *compiled = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.data()), pattern.size(), options,
                                      &error, &errorOffset, nullptr);
    assert(compiled && "fixed pattern must compile");
    if (compiled)
        pcre2_jit_compile_16(compiled, PCRE2_JIT_COMPLETE); // Falls back to the interpreter if unavailable.
    m_code = compiled;
    auto *context = pcre2_match_context_create_16(nullptr);
    if (context)
        pcre2_set_match_limit_16(context, 1'000'000);
    m_matchContext = context;
}

Regex::~Regex()
{
    pcre2_match_context_free_16(static_cast<pcre2_match_context_16 *>(m_matchContext));
    pcre2_code_free_16(code(m_code));
}

std::optional<Regex::Match> Regex::firstMatch(std::u16string_view subject, std::size_t from, Anchor anchor) const
{
    if (!m_code || from > subject.size())
        return std::nullopt;
    std::unique_ptr<pcre2_match_data_16, MatchDataDeleter> data(
        pcre2_match_data_create_from_pattern_16(code(m_code), nullptr));
    if (!data)
        return std::nullopt;
    const std::uint32_t options = anchor == Anchor::AtStart ? PCRE2_ANCHORED : 0;
    const int rc = pcre2_match_16(code(m_code), reinterpret_cast<PCRE2_SPTR16>(subject.data()), subject.size(),
                                  from, options, data.get(),
                                  static_cast<pcre2_match_context_16 *>(m_matchContext));
    if (rc <= 0)
        return std::nullopt; // No match, or a resource limit hit: treated alike.
    const PCRE2_SIZE *vector = pcre2_get_ovector_pointer_16(data.get());
    const std::uint32_t pairs = pcre2_get_ovector_count_16(data.get());
    Match match(pairs);
    for (std::uint32_t i = 0; i < pairs && i < std::uint32_t(rc); ++i) {
        if (vector[2 * i] == PCRE2_UNSET)
            continue;
        match[i] = {vector[2 * i], vector[2 * i + 1]};
    }
    return match;
}

std::u16string Regex::removeAll(std::u16string_view subject) const
{
    std::u16string out;
    std::size_t copied = 0;
    std::size_t from = 0;
    while (auto match = firstMatch(subject, from)) {
        const Group whole = (*match)[0];
        out.append(subject.substr(copied, whole.begin - copied));
        copied = whole.end;
        // An empty match must not stall the search.
        from = whole.end > whole.begin ? whole.end : whole.end + 1;
        if (from > subject.size())
            break;
    }
    out.append(subject.substr(copied));
    return out;
}

} // namespace Formatting::Internal
