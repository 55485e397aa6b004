#pragma once

#include "viewmode.h"

#include "documents/dockind.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

namespace App {

// The window's debounced background jobs, in the order a text change schedules them. The JSON
// path at the caret is one too (a caret move schedules only that one), and so is the syntax
// colouring of the text the user typed.
enum class Job { Validation, CSVParse, MarkdownParse, JSONTree, Counts, JSONPath, Recolour };

inline constexpr std::array<Job, 7> allJobs = {Job::Validation, Job::CSVParse, Job::MarkdownParse, Job::JSONTree,
                                               Job::Counts,     Job::JSONPath, Job::Recolour};

// How long typing must pause before the job runs: 250, 200, 250, 250, 300, 120 and 150 ms.
std::chrono::milliseconds jobDelay(Job job);

// Whether the job has work for this document and view: validation for JSON, NDJSON and XML;
// the CSV parse for CSV in Table; the Markdown parse for Markdown in Preview or Split; the tree
// for JSON in Tree; counts while they are shown; the JSON path for JSON and NDJSON; colouring
// for every kind with syntax colours (not CSV or plain text).
bool jobApplies(Job job, std::optional<Documents::DocKind> kind, ViewMode mode, bool showCounts);

// A job that no longer applies drops its result, except the counts, which keep their last label.
bool jobResetsWhenIdle(Job job);

// The parses the user waits for run before the checks and counts the status bar shows.
bool jobIsUserInitiated(Job job);

// Whether the window compares a valid JSON or NDJSON text with its pretty-printed form: only
// up to 1 MiB of UTF-8.
inline constexpr std::size_t formattedComparisonLimit = 1'048'576;

} // namespace App
