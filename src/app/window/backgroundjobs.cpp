#include "backgroundjobs.h"

#include "app/model/counts.h"
#include "app/model/documentcheck.h"
#include "app/model/jobrules.h"

#include "formatting/jsonformatter.h"

#include <QThreadPool>
#include <QtConcurrent>

namespace App {

namespace {

constexpr std::size_t copyPiece = std::size_t(1) << 20;

// The whole text, copied off the main thread in pieces; nothing once revoked or cancelled.
std::optional<Base::U16Buffer> materialise(const Base::TextSnapshot &snapshot, const std::atomic<bool> &cancelled)
{
    Base::U16Buffer text(snapshot.length());
    text.resize(snapshot.length());
    for (std::size_t at = 0; at < snapshot.length(); at += copyPiece) {
        if (cancelled.load(std::memory_order_relaxed))
            return std::nullopt;
        const std::size_t count = std::min(copyPiece, snapshot.length() - at);
        if (!snapshot.copy(at, count, text.data() + at))
            return std::nullopt;
    }
    return text;
}

} // namespace

std::shared_ptr<JobResult> runJob(Job job, const JobContext &context, const Base::TextSnapshot &snapshot,
                                  const std::atomic<bool> &cancelled)
{
    auto result = std::make_shared<JobResult>();
    result->job = job;
    if (job == Job::Counts) {
        auto counts = countsLabel(snapshot);
        if (!counts)
            return result;
        result->counts = std::move(*counts);
        result->completed = !snapshot.isRevoked();
        return result;
    }
    if (!context.kind)
        return result;
    const Documents::DocKind kind = *context.kind;
    if (job == Job::Validation && kind == Documents::DocKind::Json) {
        // The check reads the snapshot itself: a 50 MB document is never copied for it.
        const auto validation = Formatting::JSONFormatter::validate(snapshot);
        if (!validation || cancelled.load())
            return result;
        result->validation = *validation;
        result->errors = Formatting::ValidationList::of(*validation);
        if (validation->isValid() && snapshot.length() <= formattedComparisonLimit) {
            const auto text = materialise(snapshot, cancelled);
            if (!text)
                return result;
            result->formatted = isFormatted(kind, text->view());
        }
        result->completed = !cancelled.load() && !snapshot.isRevoked();
        return result;
    }
    auto text = materialise(snapshot, cancelled);
    if (!text)
        return result;
    switch (job) {
    case Job::Validation:
        if (kind == Documents::DocKind::Ndjson) {
            result->errors = Formatting::JSONFormatter::validateNDJSONAll(text->view());
            result->validation = result->errors.first();
        } else {
            result->validation = checkDocument(kind, text->view(), context.xmlSource);
            result->errors = Formatting::ValidationList::of(result->validation);
        }
        if (cancelled.load())
            return result;
        result->formatted = result->validation.isValid() && isFormatted(kind, text->view());
        break;
    case Job::CSVParse: {
        const char16_t delimiter = Viewers::resolveDelimiter(context.delimiterChoice, context.path, text->view());
        result->delimiter = delimiter;
        result->table = Viewers::CSVParser::parse(std::move(*text), std::u16string_view(&delimiter, 1));
        break;
    }
    case Job::MarkdownParse:
        result->blocks = Viewers::MDBlock::parse(text->view());
        break;
    case Job::JSONTree:
        result->tree = Viewers::JSONTreeBuilder::build(text->view());
        break;
    case Job::Counts:
        break;
    }
    result->completed = !cancelled.load();
    return result;
}

BackgroundJobs::BackgroundJobs(SnapshotProvider provider, QObject *parent)
    : QObject(parent), m_provider(std::move(provider))
{
    for (Job job : allJobs) {
        Slot &s = slot(job);
        s.timer.setSingleShot(true);
        s.timer.setTimerType(Qt::PreciseTimer);
        connect(&s.timer, &QTimer::timeout, this, [this, job] { start(job); });
        connect(&s.watcher, &QFutureWatcher<std::shared_ptr<JobResult>>::finished, this, [this, job] { deliver(job); });
    }
}

BackgroundJobs::~BackgroundJobs()
{
    cancelAll();
    for (Slot &s : m_slots)
        s.watcher.waitForFinished();
}

void BackgroundJobs::schedule(Job job)
{
    Slot &s = slot(job);
    s.timer.stop();
    if (s.cancelled)
        s.cancelled->store(true);
    ++s.generation;
    s.awaiting = false;
    if (!jobApplies(job, m_context.kind, m_context.mode, m_context.showCounts)) {
        if (jobResetsWhenIdle(job))
            emit reset(job);
        return;
    }
    s.context = m_context;
    s.timer.start(std::max(0, int(double(jobDelay(job).count()) * m_delayScale)));
}

void BackgroundJobs::cancelAll()
{
    for (Slot &s : m_slots) {
        s.timer.stop();
        if (s.cancelled)
            s.cancelled->store(true);
        ++s.generation;
        s.awaiting = false;
    }
}

bool BackgroundJobs::isPending(Job job) const
{
    const Slot &s = slot(job);
    return s.timer.isActive() || s.awaiting;
}

bool BackgroundJobs::isAnyPending() const
{
    return std::any_of(allJobs.begin(), allJobs.end(), [this](Job job) { return isPending(job); });
}

void BackgroundJobs::start(Job job)
{
    Slot &s = slot(job);
    auto snapshot = m_provider();
    if (!snapshot)
        return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    s.cancelled = cancelled;
    const std::uint64_t generation = s.generation;
    const JobContext context = s.context;
    s.awaiting = true;
    // The parses the user waits for go ahead of the checks and counts in the pool's queue.
    const int priority = jobIsUserInitiated(job) ? 1 : 0;
    s.watcher.setFuture(QtConcurrent::task([job, context, snapshot, cancelled, generation] {
                            auto result = runJob(job, context, *snapshot, *cancelled);
                            result->generation = generation;
                            result->revoked = !result->completed && snapshot->isRevoked();
                            return result;
                        })
                            .withPriority(priority)
                            .spawn());
}

void BackgroundJobs::deliver(Job job)
{
    Slot &s = slot(job);
    const auto future = s.watcher.future();
    s.awaiting = false;
    if (future.resultCount() == 0)
        return;
    const std::shared_ptr<JobResult> result = future.result();
    if (!result || result->generation != s.generation)
        return;
    if (!result->completed) {
        if (result->revoked && !s.cancelled->load())
            start(job);
        return;
    }
    emit finished(*result);
}

} // namespace App
