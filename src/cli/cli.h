#pragma once

#include "documents/document.h"

#include "base/message.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// Shared plumbing of corvane-cli's subcommands. Output formats are a public interface for
// scripts: change them only compatibly.
namespace Cli {

// Exit statuses shared by every subcommand. Empty is `check`'s answer for a document with
// nothing to check, which a script must not take for a pass.
enum ExitStatus : int { Success = 0, Failure = 1, Usage = 2, Empty = 3 };

struct Context {
    std::vector<std::string> arguments; // After the subcommand's name.
    std::ostream &out;
    std::ostream &err;
};

using CommandFunction = std::function<int(Context &)>;

struct Command {
    std::string_view name;
    std::string_view synopsis; // "info [--json] FILE…"
    std::string_view summary;
    CommandFunction run;
};

// Registers a subcommand at start-up; see CORVANE_CLI_COMMAND.
struct Registration {
    explicit Registration(Command command);
};
const std::vector<Command> &commands();

#define CORVANE_CLI_COMMAND(identifier, ...) \
    static const ::Cli::Registration identifier##Registration{::Cli::Command{__VA_ARGS__}}

// Splits arguments into flags (the allowed ones, starting with "--") and operands. Returns false
// and prints the usage on an unknown flag, or when operands are missing and `needOperands`.
struct ParsedArguments {
    std::vector<std::string> flags;
    std::vector<std::string> operands;
    bool has(std::string_view flag) const;
    // Value of "--name VALUE" flags listed in `valued`.
    std::string value(std::string_view flag) const;
};
bool parseArguments(Context &context, std::string_view command, const std::vector<std::string_view> &allowed,
                    ParsedArguments &parsed, std::size_t minimumOperands = 1,
                    const std::vector<std::string_view> &valued = {});
int usageError(Context &context, std::string_view command, std::string_view problem);

// A JSON string literal for `text` (UTF-8), escaped as RFC 8259 asks.
std::string jsonString(std::string_view text);

// `text` (a file name, a message) as the plain-text outputs print it, so that it can neither
// forge a line nor drive the terminal: a backslash becomes "\\"; line feed, carriage return,
// tab, backspace and form feed "\n", "\r", "\t", "\b", "\f", as in JSON; the other C0
// controls, DEL and the C1 controls "\u00XX"; a byte that is not part of well-formed UTF-8
// "\xXX" (hexadecimal digits in lower case). Everything else is copied as it is.
std::string printable(std::string_view text);

// Builds one JSON object per output line, keys in insertion order.
class JsonObject {
public:
    JsonObject &add(std::string_view key, std::string_view value);
    JsonObject &add(std::string_view key, const char *value) { return add(key, std::string_view(value)); }
    JsonObject &add(std::string_view key, std::int64_t value);
    JsonObject &add(std::string_view key, int value) { return add(key, std::int64_t(value)); }
    JsonObject &add(std::string_view key, std::size_t value) { return add(key, std::int64_t(value)); }
    JsonObject &add(std::string_view key, bool value);
    // `json` is inserted as written (an array or object built elsewhere).
    JsonObject &addRaw(std::string_view key, std::string_view json);
    std::string str() const { return m_body + "}"; }

private:
    std::string m_body = "{";
};

// The text of a message as headless tools show it (English).
std::string messageText(const Base::Message &message);

// The operand that names standard input. Its text has no extension to tell its kind, so the
// commands that read it take --kind.
inline constexpr std::string_view standardInput = "-";

// The kind `name` stands for: an extension the editor opens (json, jsonl, markdown, plist, tsv…)
// or a status-bar label (JSON, MD…), in any case; false for anything else.
bool kindFromName(std::string_view name, Documents::DocKind &kind);

// The "--kind KIND" option of a command (a kind for every operand in place of the one its
// extension gives); on an unknown kind, or standard input among `files` without --kind, prints
// the usage and returns false.
bool kindOption(Context &context, std::string_view command, const ParsedArguments &arguments,
                const std::vector<std::string> &files, std::optional<Documents::DocKind> &kind);

// Loads `path` exactly as the editor does, or standard input for `standardInput` (read once,
// bounded by the same size limit, decoded as a file's bytes), as `kind` when given; on failure
// the message. When the load settled an interrupted save, says so on standard error.
std::variant<Documents::LoadResult, Base::Message> load(const std::string &path,
                                                        std::optional<Documents::DocKind> kind = std::nullopt);
// The size in bytes of what `load` read from `path`.
std::int64_t loadedSize(const std::string &path);

// Number of lines as the editor counts them: 0 for an empty text, else 1 + the LF count.
std::int64_t lineCount(std::u16string_view text);

} // namespace Cli
