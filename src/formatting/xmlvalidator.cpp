#include "xmlvalidator.h"

#include "formatting/regex_p.h"
#include "formatting/textscan_p.h"

#include "base/utf.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <string>

namespace Formatting {

namespace {

// ---- Finding the encoding attribute -------------------------------------------------------
// The pattern runs only on a span that a linear scan has already found to match: run over the
// whole text, its lazy and backtracking parts would cost time quadratic in hostile input.

const Internal::Regex &encodingDeclRegex()
{
    static const Internal::Regex regex(
        u"(<\\?xml[^>]*?)\\s+encoding\\s*=\\s*(?:\"[^\"]*\"|'[^']*')([^>]*\\?>)", Internal::Regex::Case::Insensitive);
    return regex;
}

// What \s matches without Unicode properties.
constexpr bool isPatternSpace(char16_t c)
{
    return c == u' ' || (c >= 0x09 && c <= 0x0D);
}

constexpr char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool hasWordAt(std::u16string_view text, std::size_t at, std::u16string_view word)
{
    if (at > text.size() || text.size() - at < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lower(text[at + i]) != word[i])
            return false;
    return true;
}

// Position of the next `c` at or after `from`, remembering the last answer: the scan below only
// moves forward, so every search resumes where the previous one ended.
class NextFinder {
public:
    NextFinder(std::u16string_view text, char16_t c) : m_text(text), m_char(c) {}
    std::size_t from(std::size_t position)
    {
        if (position >= m_searchedFrom && position <= m_found)
            return m_found;
        m_searchedFrom = position;
        m_found = m_text.find(m_char, position);
        return m_found;
    }

private:
    std::u16string_view m_text;
    char16_t m_char;
    std::size_t m_searchedFrom = std::u16string_view::npos;
    std::size_t m_found = 0;
};

} // namespace

std::optional<XMLValidator::EncodingDeclaration> XMLValidator::encodingDeclaration(std::u16string_view text)
{
    constexpr auto npos = std::u16string_view::npos;
    const std::size_t n = text.size();
    NextFinder nextGreater(text, u'>');
    NextFinder nextDouble(text, u'"');
    NextFinder nextSingle(text, u'\'');
    std::size_t position = 0;
    while (position < n) {
        const std::size_t start = text.find(u"<?", position);
        if (start == npos)
            return std::nullopt;
        if (!hasWordAt(text, start + 2, u"xml")) {
            position = start + 2;
            continue;
        }
        // Group 1 cannot hold ">", so the attribute starts before the first ">" after "<?xml".
        // Every later candidate before that ">" fails where this one fails.
        const std::size_t limit = nextGreater.from(start + 5);
        if (limit == npos)
            return std::nullopt; // "?>" cannot follow.
        for (std::size_t j = start + 5; j < limit; ++j) {
            if (!isPatternSpace(text[j]))
                continue;
            std::size_t k = j;
            while (k < limit && isPatternSpace(text[k]))
                ++k;
            const std::size_t runEnd = k;
            j = runEnd; // The loop's ++j then skips the character after the run, never a space.
            if (!hasWordAt(text, k, u"encoding"))
                continue;
            k += 8;
            while (k < n && isPatternSpace(text[k]))
                ++k;
            if (k >= n || text[k] != u'=')
                continue;
            ++k;
            while (k < n && isPatternSpace(text[k]))
                ++k;
            if (k >= n || (text[k] != u'"' && text[k] != u'\''))
                continue;
            const std::size_t close = (text[k] == u'"' ? nextDouble : nextSingle).from(k + 1);
            if (close == npos)
                continue;
            const std::size_t end = nextGreater.from(close + 1);
            if (end == npos)
                return std::nullopt;
            if (end < close + 2 || text[end - 1] != u'?')
                continue;
            // Confirm on the span alone; the pattern decides.
            auto match = encodingDeclRegex().firstMatch(text.substr(0, end + 1), start, Internal::Regex::Anchor::AtStart);
            if (match && (*match)[1].isSet() && (*match)[2].isSet())
                return EncodingDeclaration{(*match)[1].end, (*match)[2].begin};
        }
        position = limit + 1;
    }
    return std::nullopt;
}

// ---- Parsing ------------------------------------------------------------------------------

namespace {

// The first fault the parser reports: fatal errors (well-formedness) win over other errors.
struct ParseState {
    xmlParserCtxtPtr document = nullptr;
    // Text of internal entities handed out so far, and the most the document may expand to.
    std::size_t expanded = 0;
    std::size_t expansionLimit = 0;
    bool expansionExceeded = false;
    bool captured = false;
    bool capturedFatal = false;
    std::string message;
    int line = 0;
    int column = 0;
};

// Where the document's own reading stands: inside an entity's replacement text, the positions
// of the innermost input mean nothing to the user.
void documentPosition(const ParseState &state, int &line, int &column)
{
    const xmlParserCtxtPtr document = state.document;
    if (document->inputNr > 0 && document->inputTab[0]) {
        line = document->inputTab[0]->line;
        column = document->inputTab[0]->col;
    }
}

void captureError(void *data, xmlErrorPtr error)
{
    auto *context = static_cast<xmlParserCtxtPtr>(data);
    if (!context || !error || error->level < XML_ERR_ERROR)
        return;
    auto *state = static_cast<ParseState *>(context->_private);
    if (!state)
        return;
    const bool fatal = error->level == XML_ERR_FATAL;
    if (state->captured && (state->capturedFatal || !fatal))
        return;
    state->captured = true;
    state->capturedFatal = fatal;
    state->message = error->message ? error->message : "";
    const xmlParserCtxtPtr document = state->document;
    if (context == document && document->inputNr <= 1) {
        state->line = error->line;
        state->column = error->int2;
    } else {
        // The fault lies in an entity's replacement text: report the reference instead.
        documentPosition(*state, state->line, state->column);
    }
}

// Without content handlers libxml2 re-reads an internal entity's text at every reference, so a
// large entity referenced many times costs their product even where its amplification checks
// see nothing. Every reference is counted here, and the parse stops once the total passes the
// limit.
xmlEntityPtr countingGetEntity(void *data, const xmlChar *name)
{
    auto *context = static_cast<xmlParserCtxtPtr>(data);
    auto *state = context ? static_cast<ParseState *>(context->_private) : nullptr;
    if (state && state->expansionExceeded)
        return nullptr;
    xmlEntityPtr entity = xmlSAX2GetEntity(data, name);
    if (!state || !entity || entity->etype != XML_INTERNAL_GENERAL_ENTITY)
        return entity;
    state->expanded += std::size_t(entity->length > 0 ? entity->length : 0);
    if (state->expanded <= state->expansionLimit)
        return entity;
    state->expansionExceeded = true;
    state->captured = true;
    state->capturedFatal = true;
    state->message = "Entity references expand to too much text";
    documentPosition(*state, state->line, state->column);
    xmlStopParser(context);
    if (context != state->document)
        xmlStopParser(state->document);
    return nullptr;
}

void ignoreGenericError(void *, const char *, ...) {}

// External entities and DTDs are never fetched, whatever asks for them.
xmlParserInputPtr refuseExternalEntity(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

void initialiseLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
    });
}

// No content handlers; only what well-formedness needs: the internal subset and its entity
// declarations, so that a reference to a declared entity is not taken for an undeclared one.
// Entities are never substituted (no XML_PARSE_NOENT), external ones are never loaded, and
// libxml2's amplification limits stop exponential expansion (XML_PARSE_HUGE is never set).
xmlSAXHandler silentHandler()
{
    xmlSAXHandler handler;
    std::memset(&handler, 0, sizeof handler);
    handler.initialized = XML_SAX2_MAGIC;
    handler.startDocument = xmlSAX2StartDocument;
    handler.internalSubset = xmlSAX2InternalSubset;
    handler.entityDecl = xmlSAX2EntityDecl;
    handler.getEntity = countingGetEntity;
    handler.getParameterEntity = xmlSAX2GetParameterEntity;
    handler.serror = captureError;
    return handler;
}

constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_IGNORE_ENC;

std::optional<std::int64_t> positive(int value)
{
    return value >= 1 ? std::optional<std::int64_t>(value) : std::nullopt;
}

Validation parseBytes(const Base::ByteBuffer &bytes)
{
    initialiseLibxml();
    // Per-thread in libxml2: keeps stray messages off stderr on this thread.
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);

    // libxml2 copies the bytes: its in-place ("static") input buffers misread documents whose
    // entity declarations make it shrink its input.
    if (bytes.size() > std::size_t(INT_MAX))
        return Validation::invalid({"Document too large", std::nullopt, std::nullopt});
    xmlParserCtxtPtr context = xmlCreateMemoryParserCtxt(bytes.data(), int(bytes.size()));
    if (!context)
        return Validation::invalid({"Parse error", std::nullopt, std::nullopt});

    const xmlSAXHandler handler = silentHandler();
    std::memcpy(context->sax, &handler, sizeof handler);
    ParseState state;
    state.document = context;
    state.expansionLimit = 4 * bytes.size() + (std::size_t(4) << 20);
    context->_private = &state;
    context->userData = context;
    xmlCtxtUseOptions(context, parseOptions);

    xmlParseDocument(context);
    const bool wellFormed = context->wellFormed != 0;
    const int line = context->input ? context->input->line : 0;
    const int column = context->input ? context->input->col : 0;
    if (context->myDoc) {
        xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
    }
    xmlFreeParserCtxt(context);

    if (wellFormed && !state.expansionExceeded)
        return Validation::valid();
    if (!state.captured)
        return Validation::invalid({"Parse error", positive(line), positive(column)});
    const std::string_view message = state.message;
    const std::size_t first = message.find_first_not_of(" \t\r\n");
    const std::size_t last = message.find_last_not_of(" \t\r\n");
    std::string trimmed = first == std::string_view::npos ? std::string() : std::string(message.substr(first, last - first + 1));
    if (trimmed.empty())
        trimmed = "Parse error";
    // Names quoted from the document could in principle be cut inside a character; the message
    // must stay valid UTF-8 for whoever shows it.
    trimmed = Base::Utf::toUtf8(Base::Utf::toUtf16(trimmed));
    return Validation::invalid({std::move(trimmed), positive(state.line), positive(state.column)});
}

std::size_t firstUnpairedSurrogate(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
            const bool paired = text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (!paired)
                return i;
            ++i;
        }
    return 0;
}

} // namespace

Validation XMLValidator::validate(std::u16string_view text)
{
    if (Internal::trimmed(text).empty())
        return Validation::empty();
    Base::ByteBuffer &bytes = Internal::threadScratch();
    bytes.clear();
    bool encoded = true;
    if (auto declaration = encodingDeclaration(text)) {
        encoded = Internal::appendUtf8(text.substr(0, declaration->removedBegin), bytes) == std::u16string_view::npos
                  && Internal::appendUtf8(text.substr(declaration->removedEnd), bytes) == std::u16string_view::npos;
    } else {
        encoded = Internal::appendUtf8(text, bytes) == std::u16string_view::npos;
    }
    if (!encoded) {
        const Internal::LineColumn position = Internal::caretPosition(text, firstUnpairedSurrogate(text));
        return Validation::invalid({"Encoding error", position.line, position.column});
    }
    Internal::terminate(bytes);
    Validation result = parseBytes(bytes);
    // libxml2 takes a NUL for the end of its input, so text after one would go unread; XML
    // allows no NUL character anywhere.
    if (result.isValid() && std::memchr(bytes.data(), 0, bytes.size())) {
        const Internal::LineColumn position = Internal::caretPosition(text, text.find(u'\0'));
        return Validation::invalid({"Char 0x0 out of allowed range", position.line, position.column});
    }
    return result;
}

} // namespace Formatting
