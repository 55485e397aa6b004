#include "cli.h"

#include "base/jsonstring.h"

#include <algorithm>
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
            usageError(context, command, "unknown option " + argument);
            return false;
        }
        parsed.flags.push_back(argument);
        if (takesValue) {
            if (i + 1 >= context.arguments.size()) {
                usageError(context, command, "option " + argument + " needs a value");
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

std::variant<Documents::LoadResult, Base::Message> load(const std::string &path)
{
    auto loaded = Documents::loadDocument(path);
    // Standard error, whatever the command prints on standard output: a script's output stays
    // parseable and the user still learns that the file was repaired.
    if (auto *result = std::get_if<Documents::LoadResult>(&loaded); result && result->recoveryNote)
        std::cerr << path << ": " << messageText(*result->recoveryNote) << "\n";
    return loaded;
}

std::int64_t lineCount(std::u16string_view text)
{
    if (text.empty())
        return 0;
    return 1 + std::int64_t(std::count(text.begin(), text.end(), u'\n'));
}

} // namespace Cli
