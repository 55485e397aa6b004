#include "backgroundjobs.h"

#include "app/model/counts.h"
#include "app/model/documentcheck.h"
#include "app/model/jobrules.h"

#include "formatting/jsonformatter.h"
#include "formatting/jsonpath.h"

#include "highlighting/syntaxhighlighter.h"

#include "editor/editortextview.h"

#include <QThreadPool>
#include <QtConcurrent>

namespace App {

namespace {

// Short pieces: an edit waits for the copy under way, which must stay far below a keystroke.
constexpr std::size_t copyPiece = std::size_t(1) << 16;

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
    const auto finish = [&](JobOutput output) {
        result->output = std::move(output);
        result->completed = !cancelled.load() && !snapshot.isRevoked();
        return result;
    };
    if (job == Job::Counts) {
        auto counts = countsLabel(snapshot);
        if (!counts)
            return result;
        return finish(CountsOutput{std::move(*counts)});
    }
    if (!context.kind)
        return result;
    const Documents::DocKind kind = *context.kind;
    if (job == Job::JSONPath) {
        // Reads the snapshot in place: a path near the end of 50 MB copies nothing.
        const std::size_t offset = std::min(context.caretOffset, snapshot.length());
        return finish(PathOutput{kind == Documents::DocKind::Ndjson ? Formatting::ndjsonPathAt(snapshot, offset)
                                                                    : Formatting::jsonPathAt(snapshot, offset)});
    }
    if (job == Job::Validation && kind == Documents::DocKind::Json) {
        // The check reads the snapshot itself: a 50 MB document is never copied for it.
        const auto validation = Formatting::JSONFormatter::validate(snapshot);
        if (!validation || cancelled.load())
            return result;
        ValidationOutput output{*validation, Formatting::ValidationList::of(*validation), false};
        if (validation->isValid() && snapshot.length() <= formattedComparisonLimit) {
            const auto text = materialise(snapshot, cancelled);
            if (!text)
                return result;
            output.formatted = isFormatted(kind, text->view());
        }
        return finish(std::move(output));
    }
    // A text too long to colour is not copied to learn that (100 MB for a 50 MB file, after every
    // pause in typing).
    if (job == Job::Recolour && !Editor::Coordinator::colours(kind, snapshot.length()))
        return finish(ColoursOutput{std::make_shared<std::vector<std::uint8_t>>()});
    auto text = materialise(snapshot, cancelled);
    if (!text)
        return result;
    switch (job) {
    case Job::Validation: {
        ValidationOutput output;
        if (kind == Documents::DocKind::Ndjson) {
            output.errors = Formatting::JSONFormatter::validateNDJSONAll(text->view());
            output.validation = output.errors.first();
        } else {
            output.validation = checkDocument(kind, text->view(), context.xmlSource);
            output.errors = Formatting::ValidationList::of(output.validation);
        }
        if (cancelled.load())
            return result;
        output.formatted = output.validation.isValid() && isFormatted(kind, text->view());
        return finish(std::move(output));
    }
    case Job::CSVParse: {
        const char16_t delimiter = Viewers::resolveDelimiter(context.delimiterChoice, context.path, text->view());
        return finish(TableOutput{Viewers::CSVParser::parse(std::move(*text), std::u16string_view(&delimiter, 1)),
                                  delimiter});
    }
    case Job::MarkdownParse:
        return finish(BlocksOutput{Viewers::MDBlock::parse(text->view())});
    case Job::JSONTree:
        return finish(TreeOutput{Viewers::JSONTreeBuilder::build(text->view())});
    case Job::Recolour: {
        auto classes = std::make_shared<std::vector<std::uint8_t>>();
        if (Editor::Coordinator::colours(kind, text->size())) {
            classes->assign(text->size(), 0);
            Highlighting::SyntaxHighlighter::highlight(kind, text->view(), *classes);
        }
        return finish(ColoursOutput{std::move(classes)});
    }
    case Job::Counts:
    case Job::JSONPath:
        break;
    }
    return result;
}

BackgroundJobs::BackgroundJobs(SnapshotProvider snapshot, CaretProvider caret, QObject *parent)
    : QObject(parent), m_snapshot(std::move(snapshot)), m_caret(std::move(caret))
{
    for (Job job : allJobs) {
        Slot &s = slot(job);
        s.timer.setSingleShot(true);
        connect(&s.timer, &Base::Timer::timeout, this, [this, job] { start(job); });
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

int BackgroundJobs::untilNextStart() const
{
    int next = -1;
    for (const Slot &s : m_slots)
        if (const int remaining = s.timer.remainingTime(); remaining >= 0 && (next < 0 || remaining < next))
            next = remaining;
    return next;
}

bool BackgroundJobs::isAnyPending() const
{
    return std::any_of(allJobs.begin(), allJobs.end(), [this](Job job) { return isPending(job); });
}

void BackgroundJobs::start(Job job)
{
    Slot &s = slot(job);
    auto snapshot = m_snapshot();
    if (!snapshot)
        return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    s.cancelled = cancelled;
    const std::uint64_t generation = s.generation;
    JobContext context = s.context;
    if (job == Job::JSONPath && m_caret)
        context.caretOffset = m_caret();
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
