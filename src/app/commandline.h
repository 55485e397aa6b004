#pragma once

#include <optional>

namespace App {

// Answers `--help` (or `-h`) and `--version` on standard output before anything else starts: no
// display, no window, no single-instance socket, so they work in a terminal without a desktop
// and never wake a running editor. Options end at "--" (a file may be called "--help").
// Returns the exit status when one of them was given, nothing when the editor should start.
std::optional<int> answerInformationalOptions(int argc, char **argv);

} // namespace App
