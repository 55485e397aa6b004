#include "commandline.h"

#include <cstdio>
#include <cstring>

namespace App {

namespace {

// Kept in step with the man page, corvane(1).
constexpr const char *helpText =
    "usage: corvane [--new-window] [FILE[:LINE[:COL]]…]\n"
    "       corvane --help | --version\n"
    "\n"
    "Corvane edits structured plain text: JSON, NDJSON, CSV, Markdown, YAML, TOML, XML and\n"
    "property lists, logs and plain text.\n"
    "\n"
    "  FILE…         open each file, the first in the first window, the others in windows\n"
    "                of their own; a file already shown brings its window to the front\n"
    "  FILE:LINE[:COL]\n"
    "                open FILE with the caret at LINE (the last line for one past it) and\n"
    "                COL (characters, as the status bar counts; the line's end for one past\n"
    "                it), unless a file has that whole name\n"
    "  --new-window  open a new scratch note\n"
    "  -h, --help    print this help and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "While Corvane runs, a later launch hands its files (or --new-window) to the running\n"
    "editor and exits. See corvane(1); corvane-cli(1) does the same work without a window.\n";

int print(const char *text)
{
    // A closed or full standard output is an error like any other write failure.
    const bool written = std::fputs(text, stdout) >= 0;
    return std::fflush(stdout) == 0 && written ? 0 : 1;
}

} // namespace

std::optional<int> answerInformationalOptions(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            return print(helpText);
        if (std::strcmp(argument, "--version") == 0)
            return print("corvane " CORVANE_VERSION "\n");
    }
    return std::nullopt;
}

} // namespace App
