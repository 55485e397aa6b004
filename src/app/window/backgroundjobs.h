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

#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace App {

// What one job produced. Only the fields of its job are set.
struct JobResult {
    Job job = Job::Validation;
    std::uint64_t generation = 0;
    bool completed = false; // False when cancelled or the text changed under it.
    // The storage took the text back while the job read it (an edit, a search, a save moved it):
    // the job runs again on the text as it is now.
    bool revoked = false;
    Formatting::Validation validation;
    // Every invalid NDJSON record; the one fault of other kinds.
    Formatting::ValidationList errors;
    bool formatted = false;
    std::optional<Viewers::CSVTable> table;
    char16_t delimiter = u',';
    Viewers::MDBlockList blocks;
    std::optional<Viewers::JSONTreeResult> tree;
    std::string counts;
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
};

// The window's five debounced background jobs. Scheduling a job cancels its previous run; when
// the job applies, it waits for its delay, then takes a snapshot of the text (never a copy on
// the main thread; jobs firing together share one) and computes on the thread pool; the result
// is handed over on the main thread only if no newer schedule came since. A run whose snapshot
// was taken back before it finished starts again at once, so the result shown always belongs to
// the current text. A job that does not apply emits `reset` at once instead.
class BackgroundJobs : public QObject {
    Q_OBJECT

public:
    using SnapshotProvider = std::function<std::shared_ptr<const Base::TextSnapshot>()>;

    explicit BackgroundJobs(SnapshotProvider provider, QObject *parent = nullptr);
    ~BackgroundJobs() override;

    void setContext(JobContext context) { m_context = std::move(context); }
    const JobContext &context() const { return m_context; }

    void schedule(Job job);
    void cancelAll();
    // Waiting for its delay or computing.
    bool isPending(Job job) const;
    bool isAnyPending() const;
    // Multiplies every delay (tests shorten them).
    void setDelayScale(double scale) { m_delayScale = scale; }

signals:
    void finished(const App::JobResult &result);
    void reset(App::Job job);

private:
    struct Slot {
        QTimer timer;
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

    SnapshotProvider m_provider;
    JobContext m_context;
    double m_delayScale = 1.0;
    std::array<Slot, allJobs.size()> m_slots;
};

// The job's computation, on the calling thread: exposed for tests and benchmarks.
std::shared_ptr<JobResult> runJob(Job job, const JobContext &context, const Base::TextSnapshot &snapshot,
                                  const std::atomic<bool> &cancelled);

} // namespace App
