#include "jobrules.h"

namespace App {

using Documents::DocKind;
using namespace std::chrono_literals;

std::chrono::milliseconds jobDelay(Job job)
{
    switch (job) {
    case Job::Validation: return 250ms;
    case Job::CSVParse: return 200ms;
    case Job::MarkdownParse: return 250ms;
    case Job::JSONTree: return 250ms;
    case Job::Counts: return 300ms;
    case Job::JSONPath: return 120ms;
    case Job::Recolour: return 150ms;
    }
    return 250ms;
}

bool jobApplies(Job job, std::optional<DocKind> kind, ViewMode mode, bool showCounts)
{
    switch (job) {
    case Job::Validation:
        return kind && (*kind == DocKind::Json || *kind == DocKind::Ndjson || *kind == DocKind::Xml);
    case Job::CSVParse:
        return kind == DocKind::Csv && mode == ViewMode::Table;
    case Job::MarkdownParse:
        return kind == DocKind::Markdown && (mode == ViewMode::Preview || mode == ViewMode::Split);
    case Job::JSONTree:
        return kind == DocKind::Json && mode == ViewMode::Tree;
    case Job::Counts:
        return showCounts;
    case Job::JSONPath:
        return kind == DocKind::Json || kind == DocKind::Ndjson;
    case Job::Recolour:
        return kind && *kind != DocKind::Csv && *kind != DocKind::Txt;
    }
    return false;
}

bool jobResetsWhenIdle(Job job)
{
    return job != Job::Counts;
}

bool jobIsUserInitiated(Job job)
{
    return job == Job::CSVParse || job == Job::MarkdownParse || job == Job::JSONTree || job == Job::Recolour;
}

} // namespace App
