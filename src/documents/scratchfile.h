#pragma once

#include <ctime>
#include <optional>
#include <string>

namespace Documents {

// Untitled documents live in real files in a private scratch folder, named after the day they
// were made: new-DD.MM.YY.txt, then new-DD.MM.YY-2.txt, -3, … taking the first free name.
namespace ScratchFile {

// "dd.MM.yy" of `when` in the local time zone, with ASCII digits whatever the user's locale.
std::string dateStamp(std::time_t when);

// Creates `folder` (with any missing parents) and an empty file with the next free name in it,
// and returns the file's path; nothing when the folder cannot be created. The file is created
// exclusively, so two windows asking at once never get the same name.
std::optional<std::string> create(const std::string &folder, std::time_t when = std::time(nullptr));

} // namespace ScratchFile

} // namespace Documents
