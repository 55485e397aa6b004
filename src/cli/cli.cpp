#include "cli.h"

#include "base/jsonstring.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <ostream>

namespace Cli {

namespace {
std::vector<Command> &registry()
{
    static std::vector<Command> all;
    return all;
}
} // namespace

Registration::Registration(Command command)
{
    auto &all = registry();
    all.push_back(std::move(command));
    std::sort(all.begin(), all.end(), [](const Command &a, const Command &b) { return a.name < b.name; });
}

const std::vector<Command> &commands()
{
    return registry();
}

bool ParsedArguments::has(std::string_view flag) const
{
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::string ParsedArguments::value(std::string_view flag) const
{
    for (std::size_t i = 0; i + 1 < flags.size(); ++i)
        if (flags[i] == flag)
            return flags[i + 1];
    return {};
}

int usageError(Context &context, std::string_view command, std::string_view problem)
{
    context.err << "corvane-cli " << command << ": " << problem << "\n";
    for (const auto &entry : commands())
        if (entry.name == command)
            context.err << "usage: corvane-cli " << entry.synopsis << "\n";
    return Usage;
}

bool parseArguments(Context &context, std::string_view command, const std::vector<std::string_view> &allowed,
                    ParsedArguments &parsed, std::size_t minimumOperands,
                    const std::vector<std::string_view> &valued)
{
    bool operandsOnly = false;
    for (std::size_t i = 0; i < context.arguments.size(); ++i) {
        const std::string &argument = context.arguments[i];
        if (operandsOnly || argument.size() < 2 || argument.compare(0, 1, "-") != 0) {
            parsed.operands.push_back(argument);
            continue;
        }
        if (argument == "--") {
            operandsOnly = true;
            continue;
        }
        const bool takesValue = std::find(valued.begin(), valued.end(), argument) != valued.end();
        if (!takesValue && std::find(allowed.begin(), allowed.end(), argument) == allowed.end()) {
            usageError(context, command, "unknown option " + printable(argument));
            return false;
        }
        parsed.flags.push_back(argument);
        if (takesValue) {
            if (i + 1 >= context.arguments.size()) {
                usageError(context, command, "option " + printable(argument) + " needs a value");
                return false;
            }
            parsed.flags.push_back(context.arguments[++i]);
        }
    }
    if (parsed.operands.size() < minimumOperands) {
        usageError(context, command, "missing FILE");
        return false;
    }
    return true;
}

namespace {

// The length of the well-formed UTF-8 sequence (RFC 3629) that `bytes` start with, and its code
// point; 0 when they start with none: a stray continuation byte, an overlong form, a surrogate,
// a code point past U+10FFFF or a sequence cut short.
std::size_t sequenceAt(std::string_view bytes, char32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        smallest = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string printable(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t codePoint = 0;
        const std::size_t length = sequenceAt(text.substr(at), codePoint);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(text[at]);
            out += "\\x";
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0xF]);
            ++at;
            continue;
        }
        switch (codePoint) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
                out += "\\u00";
                out.push_back(hex[codePoint >> 4]);
                out.push_back(hex[codePoint & 0xF]);
            } else {
                out.append(text.substr(at, length));
            }
        }
        at += length;
    }
    return out;
}

std::string jsonString(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    Base::appendJsonString(out, text);
    return out;
}

JsonObject &JsonObject::addRaw(std::string_view key, std::string_view json)
{
    if (m_body.size() > 1)
        m_body.push_back(',');
    m_body += jsonString(key);
    m_body.push_back(':');
    m_body += json;
    return *this;
}

JsonObject &JsonObject::add(std::string_view key, std::string_view value)
{
    return addRaw(key, jsonString(value));
}

JsonObject &JsonObject::add(std::string_view key, std::int64_t value)
{
    return addRaw(key, std::to_string(value));
}

JsonObject &JsonObject::add(std::string_view key, bool value)
{
    return addRaw(key, value ? "true" : "false");
}

std::string messageText(const Base::Message &message)
{
    return message.englishText();
}

bool kindFromName(std::string_view name, Documents::DocKind &kind)
{
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    if (Documents::hasOpenableExtension("-." + lower)) {
        kind = Documents::DocKind::detect("-." + lower);
        return true;
    }
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return Documents::DocKind::fromLabel(upper, kind);
}

bool kindOption(Context &context, std::string_view command, const ParsedArguments &arguments,
                const std::vector<std::string> &files, std::optional<Documents::DocKind> &kind)
{
    if (arguments.has("--kind")) {
        Documents::DocKind named = Documents::DocKind::Txt;
        const std::string name = arguments.value("--kind");
        if (!kindFromName(name, named)) {
            usageError(context, command,
                       "unknown kind " + printable(name)
                           + " (json, ndjson, csv, tsv, markdown, yaml, toml, xml, plist, log, txt)");
            return false;
        }
        kind = named;
        return true;
    }
    if (std::find(files.begin(), files.end(), standardInput) != files.end()) {
        usageError(context, command, "standard input (-) has no extension to tell its kind: give --kind KIND");
        return false;
    }
    return true;
}

namespace {

struct StandardInput {
    std::string bytes;
    std::optional<Base::Message> error;
};

// Standard input is read once, however many operands name it: a second read would find it
// drained. One byte past the limit is enough to refuse it as a file that large is refused.
const StandardInput &standardInputBytes()
{
    static const StandardInput input = [] {
        StandardInput read;
        char buffer[65536];
        while (std::int64_t(read.bytes.size()) <= Documents::maximumFileSize) {
            const std::size_t wanted = std::min<std::size_t>(
                sizeof(buffer), std::size_t(Documents::maximumFileSize + 1 - std::int64_t(read.bytes.size())));
            const std::size_t count = std::fread(buffer, 1, wanted, stdin);
            read.bytes.append(buffer, count);
            if (count < wanted) {
                if (std::ferror(stdin))
                    read.error = Base::Message{"Cannot decode file: %@", {Documents::systemErrorText(errno)}};
                break;
            }
        }
        if (!read.error && std::int64_t(read.bytes.size()) > Documents::maximumFileSize)
            read.error = Documents::fileTooLargeMessage(std::int64_t(read.bytes.size()));
        return read;
    }();
    return input;
}

} // namespace

std::int64_t loadedSize(const std::string &path)
{
    if (path == standardInput)
        return std::int64_t(standardInputBytes().bytes.size());
    const auto attributes = Documents::readAttributes(path);
    const auto *found = std::get_if<Documents::FileAttributes>(&attributes);
    return found ? found->size : 0;
}

std::variant<Documents::LoadResult, Base::Message> load(const std::string &path, std::optional<Documents::DocKind> kind)
{
    if (path == standardInput) {
        const StandardInput &input = standardInputBytes();
        if (input.error)
            return *input.error;
        return Documents::loadBytes(input.bytes, path, kind.value_or(Documents::DocKind::Txt));
    }
    auto loaded = Documents::loadDocument(path);
    if (auto *result = std::get_if<Documents::LoadResult>(&loaded); result && kind)
        result->doc.kind = *kind;
    // Standard error, whatever the command prints on standard output: a script's output stays
    // parseable and the user still learns that the file was repaired.
    if (auto *result = std::get_if<Documents::LoadResult>(&loaded); result && result->recoveryNote)
        std::cerr << printable(path) << ": " << printable(messageText(*result->recoveryNote)) << "\n";
    return loaded;
}

std::int64_t lineCount(std::u16string_view text)
{
    if (text.empty())
        return 0;
    return 1 + std::int64_t(std::count(text.begin(), text.end(), u'\n'));
}

} // namespace Cli
