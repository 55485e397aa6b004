#include "xmlvalidator.h"

#include "formatting/textscan_p.h"

#include "base/utf.h"

#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

namespace Formatting {

namespace {

constexpr auto npos = std::u16string_view::npos;

// A fault found before libxml2 runs: its message and the UTF-16 index it points at.
struct Fault {
    std::string message;
    std::size_t at = 0;
};

Validation invalidAt(std::u16string_view text, std::string message, std::size_t index)
{
    const Internal::LineColumn position = Internal::caretPosition(text, index);
    return Validation::invalid({std::move(message), position.line, position.column});
}

// ---- libxml2 --------------------------------------------------------------------------------

void ignoreGenericError(void *, const char *, ...) {}

// External entities and DTDs are never fetched, whatever asks for them.
xmlParserInputPtr refuseExternalEntity(const char *, const char *, xmlParserCtxtPtr)
{
    return nullptr;
}

// Once per process: the parser's tables and the entity loader. Every call: this thread's error
// output, which libxml2 keeps per thread, goes nowhere.
void prepareLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(refuseExternalEntity);
    });
    xmlSetGenericErrorFunc(nullptr, ignoreGenericError);
}

// ---- The XML declaration ------------------------------------------------------------------
// libxml2 is told to ignore the declared encoding (the text is already decoded), and with that
// it also skips its checks of the name, so the declaration is read here, exactly.

constexpr bool isXmlSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

constexpr bool isAsciiLetter(char16_t c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

constexpr bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

constexpr bool isEncodingNameCharacter(char16_t c)
{
    return isAsciiLetter(c) || isAsciiDigit(c) || c == u'.' || c == u'_' || c == u'-';
}

struct Declaration {
    std::size_t end = 0;       // One past its "?>"; 0 when the text has no declaration.
    std::size_t nameBegin = 0; // The encoding name, when nameEnd > nameBegin.
    std::size_t nameEnd = 0;
    std::string name;          // ASCII.
    bool hasEncoding() const { return nameEnd > nameBegin; }
};

class DeclarationReader {
public:
    explicit DeclarationReader(std::u16string_view text) : m_text(text) {}

    // The declaration at the start of the text (end 0 when there is none), or its first fault.
    std::optional<Fault> read(Declaration &declaration)
    {
        // "<?xml" followed by anything but white space is a processing instruction, or a
        // fault that libxml2 reports itself.
        if (!m_text.starts_with(u"<?xml") || m_text.size() < 6 || !isXmlSpace(m_text[5]))
            return std::nullopt;
        m_i = 5;
        skipSpace();
        if (!at(u"version"))
            return fault("Malformed declaration expecting version");
        m_i += 7;
        char16_t quote = 0;
        if (auto problem = equalsAndQuote(quote))
            return problem;
        if (!at(u"1.") || m_i + 2 >= m_text.size() || !isAsciiDigit(m_text[m_i + 2]))
            return unsupportedVersion(quote);
        m_i += 2;
        while (m_i < m_text.size() && isAsciiDigit(m_text[m_i]))
            ++m_i;
        if (auto problem = closingQuote(quote))
            return problem;

        bool spaced = skipSpace();
        if (at(u"encoding")) {
            if (!spaced)
                return fault("Blank needed here");
            m_i += 8;
            if (auto problem = equalsAndQuote(quote))
                return problem;
            declaration.nameBegin = m_i;
            if (m_i >= m_text.size() || !isAsciiLetter(m_text[m_i]))
                return fault("Invalid XML encoding name");
            while (m_i < m_text.size() && isEncodingNameCharacter(m_text[m_i]))
                declaration.name.push_back(char(m_text[m_i++]));
            declaration.nameEnd = m_i;
            if (m_i < m_text.size() && m_text[m_i] != quote && m_text[m_i] != u'"' && m_text[m_i] != u'\'')
                return fault("Invalid XML encoding name");
            if (auto problem = closingQuote(quote))
                return problem;
            spaced = skipSpace();
        }
        if (at(u"standalone")) {
            if (!spaced)
                return fault("Blank needed here");
            m_i += 10;
            if (auto problem = equalsAndQuote(quote))
                return problem;
            if (at(u"yes"))
                m_i += 3;
            else if (at(u"no"))
                m_i += 2;
            else
                return fault("standalone accepts only 'yes' or 'no'");
            if (auto problem = closingQuote(quote))
                return problem;
            skipSpace();
        }
        if (!at(u"?>"))
            return fault("parsing XML declaration: '?>' expected");
        declaration.end = m_i + 2;
        return std::nullopt;
    }

private:
    bool at(std::u16string_view word) const { return m_text.substr(m_i).starts_with(word); }
    bool skipSpace()
    {
        const std::size_t from = m_i;
        while (m_i < m_text.size() && isXmlSpace(m_text[m_i]))
            ++m_i;
        return m_i > from;
    }
    Fault fault(std::string message) const { return {std::move(message), m_i}; }

    // Eq and the opening quote of the value.
    std::optional<Fault> equalsAndQuote(char16_t &quote)
    {
        skipSpace();
        if (!at(u"="))
            return fault("'=' expected");
        ++m_i;
        skipSpace();
        if (!at(u"\"") && !at(u"'"))
            return fault("String not started expecting ' or \"");
        quote = m_text[m_i++];
        return std::nullopt;
    }
    std::optional<Fault> closingQuote(char16_t quote)
    {
        if (m_i >= m_text.size() || m_text[m_i] != quote)
            return fault(quote == u'"' ? "String not closed expecting \"" : "String not closed expecting '");
        ++m_i;
        return std::nullopt;
    }
    // At the version value, which is not "1." and a digit.
    Fault unsupportedVersion(char16_t quote) const
    {
        std::string value;
        for (std::size_t k = m_i; k < m_text.size() && m_text[k] != quote && value.size() <= 16; ++k) {
            if (m_text[k] < 0x21 || m_text[k] > 0x7E)
                return fault("Malformed version number");
            value.push_back(char(m_text[k]));
        }
        if (value.empty() || value.size() > 16)
            return fault("Malformed version number");
        return fault("Unsupported version '" + value + "'");
    }

    std::u16string_view m_text;
    std::size_t m_i = 0;
};

// ---- The declared encoding against the bytes ----------------------------------------------

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// libxml2 reads these two families natively and never switches its decoder for them.
bool namesUtf8(std::string_view name)
{
    return equalsIgnoringCase(name, "UTF-8") || equalsIgnoringCase(name, "UTF8");
}
bool namesUtf16(std::string_view name)
{
    return equalsIgnoringCase(name, "UTF-16") || equalsIgnoringCase(name, "UTF16");
}

// Names that leave the byte order to the byte-order mark or the first characters.
bool namesUnorderedUcs2(std::string_view name)
{
    return equalsIgnoringCase(name, "ISO-10646-UCS-2") || equalsIgnoringCase(name, "UCS-2")
           || equalsIgnoringCase(name, "UCS2");
}

bool isEightBit(XMLSource::Form form)
{
    return form == XMLSource::Form::Utf8 || form == XMLSource::Form::SingleByte;
}

std::string_view contentName(XMLSource::Form form)
{
    switch (form) {
    case XMLSource::Form::Utf8: return "UTF-8";
    case XMLSource::Form::Utf16LE: return "UTF-16LE";
    case XMLSource::Form::Utf16BE: return "UTF-16BE";
    case XMLSource::Form::Utf32LE: return "UTF-32LE";
    case XMLSource::Form::Utf32BE: return "UTF-32BE";
    case XMLSource::Form::SingleByte: return "8-bit";
    case XMLSource::Form::Unknown: break;
    }
    return "other";
}

// A decoder found by name; iconv-backed ones are allocated per lookup.
class Decoder {
public:
    explicit Decoder(const std::string &name) : m_handler(xmlFindCharEncodingHandler(name.c_str())) {}
    ~Decoder()
    {
        if (m_handler)
            xmlCharEncCloseFunc(m_handler);
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;

    explicit operator bool() const { return m_handler != nullptr; }

    // Whether the decoder reads `bytes` as exactly `expected` (UTF-8).
    bool reads(std::string_view bytes, std::string_view expected) const
    {
        if (bytes.size() > std::size_t(INT_MAX) / 8)
            return false;
        xmlBufferPtr in = xmlBufferCreateSize(bytes.size() + 1);
        xmlBufferPtr out = xmlBufferCreateSize(4 * bytes.size() + 16);
        bool same = false;
        if (in && out && xmlBufferAdd(in, reinterpret_cast<const xmlChar *>(bytes.data()), int(bytes.size())) == 0
            && xmlCharEncInFunc(m_handler, out, in) >= 0 && xmlBufferLength(in) == 0) {
            same = std::string_view(reinterpret_cast<const char *>(xmlBufferContent(out)),
                                    std::size_t(xmlBufferLength(out)))
                   == expected;
        }
        xmlBufferFree(in);
        xmlBufferFree(out);
        return same;
    }

private:
    xmlCharEncodingHandlerPtr m_handler;
};

// The declaration's ASCII text as the file holds it.
std::string declarationBytes(std::u16string_view declaration, XMLSource::Form form)
{
    std::string bytes;
    for (char16_t c : declaration) {
        const char low = char(c & 0x7F);
        switch (form) {
        case XMLSource::Form::Utf16LE: bytes += {low, '\0'}; break;
        case XMLSource::Form::Utf16BE: bytes += {'\0', low}; break;
        default: bytes.push_back(low); break;
        }
    }
    return bytes;
}

// The fault of a declared encoding that libxml2 cannot decode, or that contradicts the bytes.
std::optional<Fault> checkDeclaredEncoding(std::u16string_view text, const Declaration &declaration,
                                           const XMLSource &source)
{
    const XMLSource::Form form = source.form;
    if (!declaration.hasEncoding()) {
        // UTF-16 needs a byte-order mark unless a declaration lets a reader recognise it.
        const bool wide = form == XMLSource::Form::Utf16LE || form == XMLSource::Form::Utf16BE;
        if (wide && !source.hadBOM && declaration.end == 0)
            return Fault{"Document is UTF-16 without a byte-order mark or an XML declaration", 0};
        return std::nullopt;
    }
    // No decoder has a name this long; the message quotes only its start.
    constexpr std::size_t longestName = 64;
    if (declaration.name.size() > longestName)
        return Fault{"Unsupported encoding " + declaration.name.substr(0, longestName) + "\u2026", declaration.nameBegin};
    const std::string &name = declaration.name;
    const std::string mismatch = "Document labelled " + name + " but has " + std::string(contentName(form)) + " content";
    if (namesUtf16(name))
        return isEightBit(form) ? std::optional<Fault>(Fault{mismatch, declaration.nameBegin}) : std::nullopt;
    const bool wide = form == XMLSource::Form::Utf16LE || form == XMLSource::Form::Utf16BE;
    if (namesUtf8(name) || (wide && namesUnorderedUcs2(name)))
        return std::nullopt;
    const Decoder decoder(name);
    if (!decoder)
        return Fault{"Unsupported encoding " + name, declaration.nameBegin};
    // What follows the name is read with its decoder: the declaration must read the same in it.
    // (UTF-32 files are left alone: libxml2 does not recognise them at all.)
    if (isEightBit(form) || wide) {
        const std::u16string_view own = text.substr(0, declaration.end);
        std::string ascii;
        for (char16_t c : own)
            ascii.push_back(char(c));
        if (!decoder.reads(declarationBytes(own, form), ascii))
            return Fault{mismatch, declaration.nameBegin};
    }
    return std::nullopt;
}

// ---- Bytes that are not UTF-8 -------------------------------------------------------------

// The length of the well-formed UTF-8 sequence at `at` (Unicode's table of well-formed byte
// sequences: no overlong forms, surrogates or code points above U+10FFFF), or 0.
std::size_t utf8SequenceLength(std::string_view bytes, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return at + k < bytes.size() ? static_cast<unsigned char>(bytes[at + k]) : 0u; };
    const unsigned lead = byte(0);
    const auto continuation = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
        return byte(k) >= low && byte(k) <= high;
    };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (lead == 0xE0)
        return continuation(1, 0xA0) && continuation(2) ? 3 : 0;
    if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF)
        return continuation(1) && continuation(2) ? 3 : 0;
    if (lead == 0xED)
        return continuation(1, 0x80, 0x9F) && continuation(2) ? 3 : 0;
    if (lead == 0xF0)
        return continuation(1, 0x90) && continuation(2) && continuation(3) ? 4 : 0;
    if (lead >= 0xF1 && lead <= 0xF3)
        return continuation(1) && continuation(2) && continuation(3) ? 4 : 0;
    if (lead == 0xF4)
        return continuation(1, 0x80, 0x8F) && continuation(2) && continuation(3) ? 4 : 0;
    return 0;
}

// For a text decoded from a code page while its declaration says UTF-8: the first bytes that
// are not UTF-8, at the character they became (one byte per character).
std::optional<Fault> firstBytesNotUtf8(std::u16string_view text, const XMLSource &source)
{
    std::string bytes;
    if (!source.encode || !source.encode(text, bytes) || bytes.size() != text.size())
        return Fault{"Input is not proper UTF-8, indicate encoding !", npos};
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = utf8SequenceLength(bytes, i);
        if (length) {
            i += length;
            continue;
        }
        std::string message = "Input is not proper UTF-8, indicate encoding ! Bytes:";
        for (std::size_t k = i; k < bytes.size() && k < i + 4; ++k) {
            char hex[8];
            std::snprintf(hex, sizeof hex, " 0x%02X", static_cast<unsigned char>(bytes[k]));
            message += hex;
        }
        return Fault{std::move(message), i};
    }
    return std::nullopt; // The loader found them not to be UTF-8; the caller's bytes disagree.
}

} // namespace

// ---- Parsing ------------------------------------------------------------------------------

namespace {

// The first fault the parser reports: fatal errors (well-formedness) win over other errors.
struct ParseState {
    xmlParserCtxtPtr document = nullptr;
    std::u16string_view text; // What the bytes were encoded from.
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

// libxml2's own check of a NOTATION declaration's identifiers lives in the tree builder's
// handler, which this parse does not install.
void checkNotation(void *data, const xmlChar *, const xmlChar *publicId, const xmlChar *systemId)
{
    auto *context = static_cast<xmlParserCtxtPtr>(data);
    auto *state = context ? static_cast<ParseState *>(context->_private) : nullptr;
    if (!state || publicId || systemId || (state->captured && state->capturedFatal))
        return;
    state->captured = true;
    state->capturedFatal = true;
    state->message = "NOTATION declaration needs a SYSTEM or PUBLIC identifier";
    const xmlParserInputPtr input = context->input;
    if (context == state->document && context->inputNr == 1 && input && input->base) {
        // The declaration has just been read: its "<!NOTATION" is the last one before here.
        const std::size_t offset = std::size_t(input->consumed) + std::size_t(input->cur - input->base);
        const std::size_t here = Internal::utf16IndexOfUtf8Offset(state->text, offset);
        const std::size_t start = state->text.substr(0, here).rfind(u"<!NOTATION");
        const Internal::LineColumn position = Internal::caretPosition(state->text, start == npos ? here : start);
        state->line = int(std::min<std::int64_t>(position.line, INT_MAX));
        state->column = int(std::min<std::int64_t>(position.column, INT_MAX));
    } else {
        documentPosition(*state, state->line, state->column);
    }
    context->wellFormed = 0;
    xmlStopParser(context);
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
    handler.notationDecl = checkNotation;
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

Validation parseBytes(const Base::ByteBuffer &bytes, std::u16string_view text)
{

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
    state.text = text;
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

} // namespace

Validation XMLValidator::validate(std::u16string_view text, const XMLSource &source)
{
    if (Internal::trimmed(text).empty())
        return Validation::empty();
    Base::ByteBuffer &bytes = Internal::threadScratch();
    bytes.clear();
    const std::size_t unpaired = Internal::appendUtf8(text, bytes);
    if (unpaired != npos)
        return invalidAt(text, "Encoding error", unpaired);

    Declaration declaration;
    if (auto fault = DeclarationReader(text).read(declaration))
        return invalidAt(text, std::move(fault->message), fault->at);
    prepareLibxml();
    if (auto fault = checkDeclaredEncoding(text, declaration, source))
        return invalidAt(text, std::move(fault->message), fault->at);
    // The loader fell back to a code page because the bytes are not UTF-8, which is what the
    // declaration promises: libxml2 reading them would stop there. Faults it would find in the
    // code page's reading of them (mojibake) mean nothing, so these bytes come first.
    if (source.form == XMLSource::Form::SingleByte && (!declaration.hasEncoding() || namesUtf8(declaration.name))) {
        if (auto fault = firstBytesNotUtf8(text, source)) {
            if (fault->at == npos)
                return Validation::invalid({std::move(fault->message), std::nullopt, std::nullopt});
            return invalidAt(text, std::move(fault->message), fault->at);
        }
    }

    Internal::terminate(bytes);
    Validation result = parseBytes(bytes, text);
    // libxml2 takes a NUL for the end of its input, so text after one would go unread; XML
    // allows no NUL character anywhere.
    if (result.isValid() && std::memchr(bytes.data(), 0, bytes.size()))
        result = invalidAt(text, "Char 0x0 out of allowed range", text.find(u'\0'));
    return result;
}

} // namespace Formatting
