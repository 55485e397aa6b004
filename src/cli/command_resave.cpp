#include "cli.h"

#include "documents/lineending.h"
#include "documents/textcodec.h"

#include <optional>
#include <ostream>

namespace {

// The encoding `--encoding` names, with a byte order: UTF-16 of unspecified order keeps the
// order of a file that already is UTF-16 and is little-endian otherwise.
Documents::Encoding concreteTarget(Documents::Encoding named, Documents::Encoding current)
{
    if (named != Documents::Encoding::Utf16)
        return named;
    if (current == Documents::Encoding::Utf16LE || current == Documents::Encoding::Utf16BE)
        return current;
    return Documents::Encoding::Utf16LE;
}

int runResave(Cli::Context &context)
{
    Cli::ParsedArguments arguments;
    if (!Cli::parseArguments(context, "resave", {"--bom", "--no-bom"}, arguments, 1,
                             {"--from-encoding", "--encoding", "--line-ending"}))
        return Cli::Usage;
    if (arguments.has("--bom") && arguments.has("--no-bom"))
        return Cli::usageError(context, "resave", "--bom and --no-bom exclude each other");
    for (const auto &path : arguments.operands)
        if (path == Cli::standardInput)
            return Cli::usageError(context, "resave", "standard input (-) has no file to write back");
    std::optional<Documents::Encoding> from;
    std::optional<Documents::Encoding> to;
    for (auto [option, target] : {std::pair{"--from-encoding", &from}, std::pair{"--encoding", &to}}) {
        if (!arguments.has(option))
            continue;
        *target = Documents::encodingFromId(arguments.value(option));
        if (!*target)
            return Cli::usageError(context, "resave", "unknown encoding " + arguments.value(option));
    }
    std::optional<Documents::LineEnding> ending;
    if (arguments.has("--line-ending")) {
        ending = Documents::lineEndingFromRawValue(arguments.value("--line-ending"));
        if (!ending)
            return Cli::usageError(context, "resave",
                                   "unknown line ending " + arguments.value("--line-ending")
                                       + " (expected lf, crlf or cr)");
    }

    int status = Cli::Success;
    for (const auto &path : arguments.operands) {
        auto loaded = Cli::load(path);
        if (auto *error = std::get_if<Base::Message>(&loaded)) {
            context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
            status = Cli::Failure;
            continue;
        }
        auto &result = std::get<Documents::LoadResult>(loaded);
        Documents::LoadedDoc doc = result.doc;
        if (from) {
            // As "Reopen with Encoding": the bytes strictly in the named encoding.
            auto decoded = Documents::readTextAs(path, *from);
            if (auto *error = std::get_if<Base::Message>(&decoded)) {
                context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
                status = Cli::Failure;
                continue;
            }
            auto &text = std::get<Documents::DecodedText>(decoded);
            doc.lineEnding = Documents::normalizeLineEndings(text.text);
            doc.encoding = text.encoding;
            doc.hadBOM = text.hadBOM;
            result.text = std::move(text.text);
        }
        if (to) {
            doc.encoding = concreteTarget(*to, doc.encoding);
            // UTF-16 and UTF-32 need their mark to be read back (without it ASCII text loads as
            // UTF-8 with NULs); the code pages have none; UTF-8 keeps the file's choice.
            if (doc.encoding != Documents::Encoding::Utf8)
                doc.hadBOM = !Documents::BOMUtil::bytes(doc.encoding).empty();
        }
        if (arguments.has("--bom"))
            doc.hadBOM = !Documents::BOMUtil::bytes(doc.encoding).empty();
        if (arguments.has("--no-bom"))
            doc.hadBOM = false;
        if (ending)
            doc.lineEnding = *ending;
        if (auto error = Documents::saveText(path, result.text.view(), doc.encoding, doc.lineEnding, doc.hadBOM,
                                             Documents::SaveOrigin::UserCommand)) {
            context.err << Cli::printable(path) << ": " << Cli::printable(Cli::messageText(*error)) << "\n";
            status = Cli::Failure;
        }
    }
    return status;
}

} // namespace

CORVANE_CLI_COMMAND(resave, "resave",
                    "resave [--from-encoding ID] [--encoding ID] [--bom|--no-bom] [--line-ending lf|crlf|cr] FILE…",
                    "Loads each file as the editor does (or strictly in --from-encoding) and writes it back through "
                    "the editor's save path, in another encoding or with other line endings when asked.",
                    runResave);
