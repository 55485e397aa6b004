#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

// A scratch note as the welcome screen lists it.
struct Note {
    std::string path;
    // Its first line that is not blank, trimmed, at most titleLength units; empty when the
    // note's start cannot be decoded.
    std::u16string title;
    // Modification time, seconds and nanoseconds since the epoch.
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
};

inline constexpr std::size_t titleLength = 80;

// The regular files in `folder` that are not empty, newest first (then by name); each read only
// as far as its title needs (4 KiB). Empty notes are left out: a note no one typed into is no
// note. Hidden files (temporaries of saves) are skipped.
std::vector<Note> list(const std::string &folder);

} // namespace ScratchFile

} // namespace Documents
