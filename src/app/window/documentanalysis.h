#pragma once

#include "backgroundjobs.h"

#include "documents/document.h"

#include <QObject>
#include <QString>

namespace App {

// What the window knows about its text from the background jobs: validation with every error,
// whether JSON is already pretty-printed, the CSV table, the Markdown blocks, the JSON tree, the
// counts and the JSON path at the caret. No widgets: the window shows what this holds and hears
// of each change. Each result always belongs to the text as it is (see BackgroundJobs); a job
// that no longer applies clears its result, except the counts, which keep their last label.
class DocumentAnalysis : public QObject {
    Q_OBJECT

public:
    DocumentAnalysis(BackgroundJobs::SnapshotProvider snapshot, BackgroundJobs::CaretProvider caret,
                     QObject *parent = nullptr);

    // The document's kind, view and options as the jobs need them; takes effect at the next
    // schedule.
    void setContext(JobContext context);
    // The same from the document shown (none without one), its view and the user's choices.
    void setDocument(const std::optional<Documents::LoadedDoc> &doc, ViewMode mode,
                     Viewers::CSVDelimiterChoice delimiterChoice, bool showCounts);
    const JobContext &context() const { return m_jobs.context(); }

    // The text changed: every job runs again after its delay.
    void textDidChange();
    // The caret moved: the JSON path is looked up again once the caret rests.
    void caretDidMove();
    void schedule(Job job);
    // Another document: every result goes, every job is cancelled.
    void clear();

    bool isPending(Job job) const { return m_jobs.isPending(job); }
    bool isAnyPending() const { return m_jobs.isAnyPending(); }
    BackgroundJobs &jobs() { return m_jobs; }

    const Formatting::Validation &validation() const { return m_validation.validation; }
    const Formatting::ValidationList &errors() const { return m_validation.errors; }
    bool isFormatted() const { return m_validation.formatted; }
    const std::optional<Viewers::CSVTable> &table() const { return m_table.table; }
    char16_t tableDelimiter() const { return m_table.delimiter; }
    const Viewers::MDBlockList &blocks() const { return m_blocks.blocks; }
    const std::optional<Viewers::JSONTreeResult> &tree() const { return m_tree.tree; }
    QString counts() const { return m_counts; }
    QString jsonPath() const { return m_jsonPath; }

signals:
    void validationChanged();
    void tableChanged();
    void blocksChanged();
    void treeChanged();
    void countsChanged();
    void jsonPathChanged(const QString &path);
    // The text's syntax classes, computed off the main thread once typing paused.
    void coloursReady(std::shared_ptr<const std::vector<std::uint8_t>> classes);
    // After the change signal of a job's new result (tests and benchmarks wait for it).
    void jobFinished(App::Job job);

private:
    void accept(const JobResult &result);
    void drop(Job job);
    void setValidation(ValidationOutput output);
    void setJSONPath(const QString &path);

    BackgroundJobs m_jobs;
    ValidationOutput m_validation;
    TableOutput m_table;
    BlocksOutput m_blocks;
    TreeOutput m_tree;
    QString m_counts;
    QString m_jsonPath;
};

} // namespace App
