#include "documentanalysis.h"

#include "app/model/documentcheck.h"

namespace App {

DocumentAnalysis::DocumentAnalysis(BackgroundJobs::SnapshotProvider snapshot, BackgroundJobs::CaretProvider caret,
                                   QObject *parent)
    : QObject(parent), m_jobs(std::move(snapshot), std::move(caret))
{
    m_validation.validation = Formatting::Validation::empty();
    connect(&m_jobs, &BackgroundJobs::finished, this, &DocumentAnalysis::accept);
    connect(&m_jobs, &BackgroundJobs::reset, this, &DocumentAnalysis::drop);
}

void DocumentAnalysis::setContext(JobContext context)
{
    m_jobs.setContext(std::move(context));
}

void DocumentAnalysis::setDocument(const std::optional<Documents::LoadedDoc> &doc, ViewMode mode,
                                   Viewers::CSVDelimiterChoice delimiterChoice, bool showCounts)
{
    JobContext context;
    context.mode = mode;
    context.showCounts = showCounts;
    context.delimiterChoice = delimiterChoice;
    if (doc) {
        context.kind = doc->kind;
        context.path = doc->path;
        if (doc->kind == Documents::DocKind::Xml)
            context.xmlSource = xmlSourceFor(doc->encoding, doc->hadBOM);
    }
    setContext(std::move(context));
}

void DocumentAnalysis::textDidChange()
{
    for (Job job : allJobs)
        schedule(job);
}

void DocumentAnalysis::caretDidMove()
{
    schedule(Job::JSONPath);
}

void DocumentAnalysis::schedule(Job job)
{
    // "Already formatted" speaks of the text the check saw: an edit takes it back at once.
    if (job == Job::Validation && m_validation.formatted) {
        m_validation.formatted = false;
        emit validationChanged();
    }
    m_jobs.schedule(job);
}

void DocumentAnalysis::clear()
{
    m_jobs.cancelAll();
    m_validation = {Formatting::Validation::empty(), {}, false};
    m_table = {};
    m_blocks = {};
    m_tree = {};
    emit validationChanged();
    emit tableChanged();
    emit blocksChanged();
    emit treeChanged();
    setJSONPath({});
}

void DocumentAnalysis::accept(const JobResult &result)
{
    std::visit(
        [this](auto &&output) {
            using Output = std::decay_t<decltype(output)>;
            if constexpr (std::is_same_v<Output, ValidationOutput>) {
                setValidation(output);
            } else if constexpr (std::is_same_v<Output, TableOutput>) {
                m_table = output;
                emit tableChanged();
            } else if constexpr (std::is_same_v<Output, BlocksOutput>) {
                m_blocks = output;
                emit blocksChanged();
            } else if constexpr (std::is_same_v<Output, TreeOutput>) {
                m_tree = output;
                emit treeChanged();
            } else if constexpr (std::is_same_v<Output, CountsOutput>) {
                m_counts = QString::fromStdString(output.label);
                emit countsChanged();
            } else if constexpr (std::is_same_v<Output, PathOutput>) {
                setJSONPath(output.path ? QString::fromStdString(*output.path) : QString());
            } else if constexpr (std::is_same_v<Output, ColoursOutput>) {
                if (output.classes && !output.classes->empty())
                    emit coloursReady(output.classes);
            }
        },
        result.output);
    emit jobFinished(result.job);
}

void DocumentAnalysis::drop(Job job)
{
    switch (job) {
    case Job::Validation:
        setValidation({Formatting::Validation::empty(), {}, false});
        break;
    case Job::CSVParse:
        m_table.table.reset();
        emit tableChanged();
        break;
    case Job::MarkdownParse:
        m_blocks = {};
        emit blocksChanged();
        break;
    case Job::JSONTree:
        m_tree = {};
        emit treeChanged();
        break;
    case Job::JSONPath:
        setJSONPath({});
        break;
    case Job::Counts:
    case Job::Recolour:
        break;
    }
}

void DocumentAnalysis::setValidation(ValidationOutput output)
{
    m_validation = std::move(output);
    emit validationChanged();
}

void DocumentAnalysis::setJSONPath(const QString &path)
{
    if (path == m_jsonPath)
        return;
    m_jsonPath = path;
    emit jsonPathChanged(path);
}

} // namespace App
