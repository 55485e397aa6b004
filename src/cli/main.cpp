#include "cli.h"

#include <iostream>

namespace {

void printHelp(std::ostream &out)
{
    out << "usage: corvane-cli COMMAND [OPTIONS] FILE…\n"
           "       corvane-cli --help | --version\n\n"
           "Corvane's engines, headless: the same loading, checking and formatting as the editor.\n\n"
           "Commands:\n";
    for (const auto &command : Cli::commands())
        out << "  " << command.synopsis << "\n      " << command.summary << "\n";
}

// "COMMAND --help" (or -h) anywhere before "--": the command's usage on standard output.
bool asksForHelp(char **first, char **last)
{
    for (; first != last; ++first) {
        const std::string_view argument = *first;
        if (argument == "--")
            return false;
        if (argument == "--help" || argument == "-h")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false);
    if (argc < 2) {
        printHelp(std::cerr);
        return Cli::Usage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(std::cout);
        return Cli::Success;
    }
    if (name == "--version") {
        std::cout << "corvane-cli " CORVANE_VERSION "\n";
        return Cli::Success;
    }
    for (const auto &command : Cli::commands()) {
        if (command.name != name)
            continue;
        if (asksForHelp(argv + 2, argv + argc)) {
            std::cout << "usage: corvane-cli " << command.synopsis << "\n\n" << command.summary << "\n";
            std::cout.flush();
            return std::cout ? Cli::Success : Cli::Failure;
        }
        Cli::Context context{{argv + 2, argv + argc}, std::cout, std::cerr};
        const int status = command.run(context);
        std::cout.flush();
        return status;
    }
    std::cerr << "corvane-cli: unknown command '" << name << "'\n\n";
    printHelp(std::cerr);
    return Cli::Usage;
}
