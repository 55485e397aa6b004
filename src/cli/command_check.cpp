#include "cli.h"

#include "formatting/jsonformatter.h"
#include "formatting/xmlvalidator.h"

#include <charconv>
#include <ostream>
#include <string>
#include <vector>

namespace {

// How the loaded file's bytes became its text, for the XML check's encoding rules.
Formatting::XMLSource xmlSource(const Documents::LoadedDoc &doc)
{
    using Form = Formatting::XMLSource::Form;
    Formatting::XMLSource source;
    source.hadBOM = doc.hadBOM;
    switch (doc.encoding) {
    case Documents::Encoding::Utf8:
    case Documents::Encoding::Ascii: source.form = Form::Utf8; break;
    case Documents::Encoding::Utf16:
    case Documents::Encoding::Utf16LE: source.form = Form::Utf16LE; break;
    case Documents::Encoding::Utf16BE: source.form = Form::Utf16BE; break;
    case Documents::Encoding::Utf32LE: source.form = Form::Utf32LE; break;
    case Documents::Encoding::Utf32BE: source.form = Form::Utf32BE; break;
    case Documents::Encoding::Windows1251:
    case Documents::Encoding::Windows1252:
    case Documents::Encoding::Latin1:
    case Documents::Encoding::MacRoman:
        source.form = Form::SingleByte;
        source.encode = [encoding = doc.encoding](std::u16string_view text, std::string &out) {
            return Documents::encode(encoding, text, out);
        };
        break;
    }
    return source;
}

// The check the editor runs for a document's kind; false for kinds that are not checked.
bool checkDocument(const Documents::LoadedDoc &doc, std::u16string_view text, Formatting::Validation &result)
{
    switch (doc.kind) {
    case Documents::DocKind::Json:
        result = Formatting::JSONFormatter::validate(text);
        return true;
    case Documents::DocKind::Ndjson:
        result = Formatting::JSONFormatter::validateNDJSON(text);
        return true;
    case Documents::DocKind::Xml:
        result = Formatting::XMLValidator::validate(text, xmlSource(doc));
        return true;
    default:
        return false;
    }
}

// With --all: every fault, for NDJSON each faulty record; JSON and XML stop at the first.
bool checkDocumentAll(const Documents::LoadedDoc &doc, std::u16string_view text, std::size_t limit,
                      Formatting::ValidationList &result)
{
    if (doc.kind == Documents::DocKind::Ndjson) {
        result = Formatting::JSONFormatter::validateNDJSONAll(text, limit);
        return true;
    }
    Formatting::Validation validation;
    if (!checkDocument(doc, text, validation))
        return false;
    result = Formatting::ValidationList::of(validation);
    return true;
}

std::string resultName(Formatting::Validation::State state)
{
    switch (state) {
    case Formatting::Validation::State::Invalid:
        return "invalid";
    case Formatting::Validation::State::Empty:
        return "empty";
    case Formatting::Validation::State::Valid:
        break;
    }
    return "valid";
}

std::string resultName(const Formatting::Validation &validation)
{
    return resultName(validation.state());
}

// The compiler-style position that editors and terminals turn into links.
void printFault(std::ostream &out, const std::string &path, const Formatting::ValidationError &fault)
{
    out << Cli::printable(path);
    if (fault.line) {
        out << ":" << *fault.line;
        if (fault.column)
            out << ":" << *fault.column;
    }
    out << ": " << Cli::printable(fault.message) << "\n";
}

std::string faultsJson(const std::vector<Formatting::ValidationError> &faults)
{
    std::string array = "[";
    for (const auto &fault : faults) {
        if (array.size() > 1)
            array += ',';
        Cli::JsonObject object;
        if (fault.line)
            object.add("line", *fault.line);
        if (fault.column)
            object.add("column", *fault.column);
        object.add("message", fault.message);
        array += object.str();
    }
    return array + "]";
}

int runCheck(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    std::optional<Documents::DocKind> kind;
    if (!Cli::parseArguments(context, "check", {"--json", "--allow-empty", "--all"}, arguments, 1,
                             {"--max-errors", "--kind"})
        || !Cli::kindOption(context, "check", arguments, arguments.operands, kind))
        return Cli::Usage;
    const bool json = arguments.has("--json");
    const bool allowEmpty = arguments.has("--allow-empty");
    const bool all = arguments.has("--all");
    std::size_t limit = Formatting::JSONFormatter::defaultErrorLimit;
    if (arguments.has("--max-errors")) {
        const std::string value = arguments.value("--max-errors");
        const auto parsed = std::from_chars(value.data(), value.data() + value.size(), limit);
        if (!all || parsed.ec != std::errc() || parsed.ptr != value.data() + value.size() || limit == 0)
            return Cli::usageError(context, "check", "--max-errors needs --all and a number from 1");
    }
    bool unreadable = false;
    bool invalid = false;
    bool empty = false;
    for (const auto &path : arguments.operands) {
        auto loaded = Cli::load(path, kind);
        if (auto *error = std::get_if<Base::Message>(&loaded)) {
            unreadable = true;
            if (json)
                context.out << Cli::JsonObject().add("path", path).add("error", Cli::messageText(*error)).str() << "\n";
            else
                context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
            continue;
        }
        const auto &document = std::get<Documents::LoadResult>(loaded);
        if (all) {
            Formatting::ValidationList list;
            const bool checked = checkDocumentAll(document.doc, document.text.view(), limit, list);
            invalid = invalid || (checked && list.isInvalid());
            empty = empty || (checked && list.state == Formatting::Validation::State::Empty);
            if (json) {
                Cli::JsonObject object;
                object.add("path", path).add("kind", document.doc.kind.label());
                object.add("result", checked ? resultName(list.state) : std::string("unchecked"));
                object.addRaw("errors", faultsJson(list.errors));
                object.add("stoppedEarly", list.stoppedEarly);
                context.out << object.str() << "\n";
            } else if (checked && list.isInvalid()) {
                for (const auto &fault : list.errors)
                    printFault(context.out, path, fault);
                if (list.stoppedEarly)
                    context.err << Cli::printable(path) << ": stopped after " << list.errors.size() << " errors\n";
            } else {
                context.out << Cli::printable(path) << ": " << (checked ? resultName(list.state) : std::string("unchecked")) << "\n";
            }
            continue;
        }
        Formatting::Validation validation;
        const bool checked = checkDocument(document.doc, document.text.view(), validation);
        const Formatting::ValidationError *fault = checked ? validation.error() : nullptr;
        invalid = invalid || fault;
        empty = empty || (checked && validation.isEmpty());
        if (json) {
            Cli::JsonObject object;
            object.add("path", path).add("kind", document.doc.kind.label());
            object.add("result", checked ? resultName(validation) : std::string("unchecked"));
            if (fault) {
                object.add("message", fault->message);
                if (fault->line)
                    object.add("line", *fault->line);
                if (fault->column)
                    object.add("column", *fault->column);
            }
            context.out << object.str() << "\n";
        } else if (fault) {
            printFault(context.out, path, *fault);
        } else {
            context.out << Cli::printable(path) << ": " << (checked ? resultName(validation) : std::string("unchecked")) << "\n";
        }
    }
    // The worst outcome wins: unreadable, then invalid, then empty.
    if (unreadable)
        return Cli::Usage;
    if (invalid)
        return Cli::Failure;
    return empty && !allowEmpty ? Cli::Empty : Cli::Success;
}

} // namespace

CORVANE_CLI_COMMAND(check, "check", "check [--json] [--allow-empty] [--all [--max-errors N]] [--kind KIND] FILE…",
                    "Checks JSON, NDJSON and XML files as the editor does. Exit status 0 when every file is "
                    "valid or unchecked, 1 when one is invalid, 2 when one cannot be read, 3 when one is empty "
                    "(blank, or only a byte-order mark) and none is worse; --allow-empty lets empty files pass. "
                    "--all lists every faulty NDJSON record (at most N, default 1000), one path:line:col: message "
                    "line each; JSON and XML report their first fault.",
                    runCheck);
