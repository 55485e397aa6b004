#pragma once

#include "app/model/jobrules.h"

#include "formatting/validation.h"
#include "formatting/validationlist.h"
#include "formatting/xmlvalidator.h"

#include "viewers/csvdialect.h"
#include "viewers/csvparser.h"
#include "viewers/jsontree.h"
#include "viewers/mdblock.h"

#include "documents/dockind.h"

#include "base/textsnapshot.h"
#include "base/timer.h"

#include <QFutureWatcher>
#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace App {

// What each job produces.
struct ValidationOutput {
    Formatting::Validation validation;
    // Every invalid NDJSON record; the one fault of other kinds.
    Formatting::ValidationList errors;
    // Valid and equal to its pretty-printed form (JSON and NDJSON up to formattedComparisonLimit).
    bool formatted = false;
};
struct TableOutput {
    std::optional<Viewers::CSVTable> table;
    char16_t delimiter = u',';
};
struct BlocksOutput {
    Viewers::MDBlockList blocks;
};
struct TreeOutput {
    std::optional<Viewers::JSONTreeResult> tree;
};
struct CountsOutput {
    std::string label;
};
struct PathOutput {
    // The JSONPath at the caret, none where the caret is in no value.
    std::optional<std::string> path;
};
struct ColoursOutput {
    // One syntax class per UTF-16 unit of the text read; empty where the text is not coloured.
    std::shared_ptr<const std::vector<std::uint8_t>> classes;
};
using JobOutput =
    std::variant<ValidationOutput, TableOutput, BlocksOutput, TreeOutput, CountsOutput, PathOutput, ColoursOutput>;

// One run of one job.
struct JobResult {
    Job job = Job::Validation;
    std::uint64_t generation = 0;
    // False when cancelled or when the text was taken back under the read.
    bool completed = false;
    // The storage took the text back while the job read it (an edit, a search, a save moved it):
    // the job runs again on the text as it is now.
    bool revoked = false;
    JobOutput output;
};

// What the jobs need to know about the document when they are scheduled.
struct JobContext {
    std::optional<Documents::DocKind> kind;
    ViewMode mode = ViewMode::Text;
    bool showCounts = true;
    Formatting::XMLSource xmlSource;
    // For the CSV parse: the file's name (".tsv" means tab) and the user's delimiter choice.
    std::string path;
    Viewers::CSVDelimiterChoice delimiterChoice = Viewers::CSVDelimiterChoice::Auto;
    // For the JSON path: the caret, read when the job fires.
    std::size_t caretOffset = 0;
};

// The window's debounced background jobs on one scheduler with one staleness rule. Scheduling a
// job cancels its previous run; when the job applies, it waits for its delay, then takes a
// snapshot of the text (never a copy on the main thread; jobs firing together share one) and
// computes on the thread pool; the result is handed over on the main thread only if no newer
// schedule came since. A run whose snapshot was taken back before it finished starts again at
// once, so the result shown always belongs to the current text. A job that does not apply emits
// `reset` at once instead. Delays run on Base::Timer, so tests can drive them.
class BackgroundJobs : public QObject {
    Q_OBJECT

public:
    using SnapshotProvider = std::function<std::shared_ptr<const Base::TextSnapshot>()>;
    using CaretProvider = std::function<std::size_t()>;

    explicit BackgroundJobs(SnapshotProvider snapshot, CaretProvider caret = {}, QObject *parent = nullptr);
    ~BackgroundJobs() override;

    void setContext(JobContext context) { m_context = std::move(context); }
    const JobContext &context() const { return m_context; }

    void schedule(Job job);
    void cancelAll();
    // Waiting for its delay or computing.
    bool isPending(Job job) const;
    bool isAnyPending() const;
    // Milliseconds until the next job waiting for its delay starts, -1 when none waits.
    int untilNextStart() const;
    // Multiplies every delay (tests shorten them).
    void setDelayScale(double scale) { m_delayScale = scale; }

signals:
    void finished(const App::JobResult &result);
    void reset(App::Job job);

private:
    struct Slot {
        Base::Timer timer;
        QFutureWatcher<std::shared_ptr<JobResult>> watcher;
        std::uint64_t generation = 0;
        bool awaiting = false; // Started, result not yet handed over.
        std::shared_ptr<std::atomic<bool>> cancelled;
        JobContext context;
    };
    Slot &slot(Job job) { return m_slots[std::size_t(job)]; }
    const Slot &slot(Job job) const { return m_slots[std::size_t(job)]; }
    void start(Job job);
    void deliver(Job job);

    SnapshotProvider m_snapshot;
    CaretProvider m_caret;
    JobContext m_context;
    double m_delayScale = 1.0;
    std::array<Slot, allJobs.size()> m_slots;
};

// The job's computation, on the calling thread: exposed for tests and benchmarks.
std::shared_ptr<JobResult> runJob(Job job, const JobContext &context, const Base::TextSnapshot &snapshot,
                                  const std::atomic<bool> &cancelled);

} // namespace App
