#include "contentview.h"

#include "chrome.h"
#include "contentarea.h"
#include "documentstatusbar.h"
#include "documenttoolbar.h"
#include "toast.h"
#include "fileassociationssheet.h"
#include "welcomeview.h"
#include "windowsession.h"

#include "app/model/documentcheck.h"
#include "app/model/fontsize.h"
#include "app/model/windowstatus.h"
#include "app/services/preferences.h"
#include "app/services/recentsstore.h"

#include "editor/gotolinesheet.h"

#include "formatting/jsonformatter.h"

#include "highlighting/themepicker.h"

#include "documents/fileio.h"
#include "documents/textcodec.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include <QApplication>
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QMainWindow>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStackedLayout>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace App {

using Documents::DocKind;

namespace {

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::int64_t nanoseconds(const Documents::FileTime &time)
{
    return time.seconds * 1'000'000'000 + time.nanoseconds;
}

// The disk copy counts as changed only when it is more than half a second newer.
bool isNewerOnDisk(const std::optional<Documents::FileTime> &disk, const std::optional<Documents::FileTime> &known)
{
    return disk && known && nanoseconds(*disk) > nanoseconds(*known) + 500'000'000;
}

QString openPanelFilter()
{
    QStringList patterns;
    for (std::string_view extension : Documents::openableExtensions)
        patterns << QStringLiteral("*.") + fromView(extension);
    return loc("Text documents") + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QStringLiteral(");;")
           + loc("All files") + QStringLiteral(" (*)");
}

QString saveFilterFor(const std::optional<Documents::LoadedDoc> &doc)
{
    const QString all = loc("All files") + QStringLiteral(" (*)");
    if (!doc)
        return loc("Plain text") + QStringLiteral(" (*.txt);;") + all;
    const QString extension = QFileInfo(QString::fromStdString(doc->path)).suffix();
    if (extension.isEmpty())
        return all;
    return fromView(doc->kind.label()) + QStringLiteral(" (*.") + extension + QStringLiteral(");;") + all;
}

// Files from a drop, in order; anything that is not a local file is skipped.
QStringList droppedFiles(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}

} // namespace

WindowTimings &WindowTimings::shared()
{
    static WindowTimings timings;
    return timings;
}

ContentView::ContentView(Options options, QWidget *parent) : QWidget(parent), m_options(std::move(options))
{
    WindowSession::shared().add(this);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_textView = m_editor.makeView(m_inputs, nullptr);
    m_jobs = std::make_unique<BackgroundJobs>([this] { return m_textView->textContentManager().snapshot(); });
    m_jobs->setDelayScale(WindowTimings::shared().jobDelayScale);
    connect(m_jobs.get(), &BackgroundJobs::finished, this, &ContentView::onJobFinished);
    connect(m_jobs.get(), &BackgroundJobs::reset, this, &ContentView::onJobReset);

    m_autoSave.setSingleShot(true);
    m_autoSave.setTimerType(Qt::PreciseTimer);
    m_autoSave.setInterval(WindowTimings::shared().autoSaveMs);
    connect(&m_autoSave, &QTimer::timeout, this, [this] { saveIfDirty(false); });

    m_loadingIndicatorDelay.setSingleShot(true);
    m_loadingIndicatorDelay.setInterval(WindowTimings::shared().loadingIndicatorDelayMs);
    connect(&m_loadingIndicatorDelay, &QTimer::timeout, this, [this] {
        if (!isLoading())
            return;
        m_loadingIndicator->setGeometry(rect());
        m_loadingIndicator->show();
        m_loadingIndicator->raise();
    });
    connect(&m_loadWatcher, &QFutureWatcher<std::shared_ptr<LoadOutcome>>::finished, this, &ContentView::applyLoad);

    buildLayout();
    connectEditor();
    connectToolbar();
    applyPreferences();
    connect(&Preferences::shared(), &Preferences::changed, this, &ContentView::applyPreference);
    connect(&RecentsStore::shared(), &RecentsStore::itemsChanged, this, [] {});
    observeNotifications();
    observeApplication();
    updateLayoutForDocument();
}

ContentView::~ContentView()
{
    WindowSession::shared().remove(this);
    for (auto token : m_observerTokens)
        NotificationCenter::defaultCenter().removeObserver(token);
    m_loadWatcher.waitForFinished();
    m_jobs.reset();
}

// ---- Layout -------------------------------------------------------------------------------

void ContentView::buildLayout()
{
    m_rootPages = new QStackedLayout(this);
    m_rootPages->setContentsMargins(0, 0, 0, 0);
    m_placeholder = new WelcomeView(this);
    m_rootPages->addWidget(m_placeholder);

    m_documentPage = new QWidget(this);
    auto *column = new QVBoxLayout(m_documentPage);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_toolbar = new DocumentToolbar(m_documentPage);
    m_content = new ContentArea(m_textView, m_documentPage);
    m_statusBar = new DocumentStatusBar(m_documentPage);
    column->addWidget(m_toolbar);
    column->addWidget(m_content, 1);
    column->addWidget(m_statusBar);
    m_rootPages->addWidget(m_documentPage);

    m_toast = new Toast(this);
    m_toast->setDuration(WindowTimings::shared().toastMs);
    m_loadingIndicator = new BusyIndicator(this);
    m_loadingIndicator->hide();
    connect(m_placeholder, &WelcomeView::openRequested, this, &ContentView::showOpenPanel);
    connect(m_placeholder, &WelcomeView::newRequested, this, [] {
        if (const auto &open = WindowSession::shared().hooks.openNewWindow)
            open();
    });
    connect(m_placeholder, &WelcomeView::recentRequested, this, &ContentView::openRecent);
    connect(m_placeholder, &WelcomeView::settingsRequested, this, &ContentView::showSettings);
}

QWidget *ContentView::placeholder() const
{
    return m_placeholder;
}

void ContentView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::background(*m_inputs.theme));
}

void ContentView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_loadingIndicator->isVisible())
        m_loadingIndicator->setGeometry(rect());
}

void ContentView::updateLayoutForDocument()
{
    const std::optional<DocKind> kind = m_doc ? std::optional<DocKind>(m_doc->kind) : std::nullopt;
    m_rootPages->setCurrentWidget(m_doc ? m_documentPage : static_cast<QWidget *>(m_placeholder));
    m_toolbar->setDocument(kind, m_doc ? QFileInfo(QString::fromStdString(m_doc->path)).fileName() : QString());
    m_toolbar->setMode(m_mode);
    m_content->arrange(kind, m_mode);
    updateStatusBar();
    updateToolbar();
}

void ContentView::updateStatusBar()
{
    if (!m_doc) {
        m_statusBar->setDocument(false, {}, {}, {});
    } else {
        m_statusBar->setDocument(true, fromView(m_doc->kind.label()),
                                 fromView(Documents::displayName(m_doc->encoding)),
                                 fromView(Documents::label(m_doc->lineEnding)));
    }
    if (m_doc && showsValidation(m_doc->kind))
        m_statusBar->setValidation(validationStatus(m_jsonValidation));
    else
        m_statusBar->setValidation(std::nullopt);
    m_statusBar->setCaret(m_caretLine, m_caretColumn);
    m_statusBar->setCounts(m_countsText, Preferences::shared().showCounts());
}

void ContentView::updateToolbar()
{
    const std::optional<DocKind> kind = m_doc ? std::optional<DocKind>(m_doc->kind) : std::nullopt;
    m_toolbar->setFormatOffered(formatIsOffered(kind, m_jsonValidation, m_isJSONFormatted));
    updateToolbarMinWidth();
}

void ContentView::updateToolbarMinWidth()
{
    if (!m_doc)
        return;
    const double width = m_toolbar->naturalWidth();
    if (std::abs(width - m_toolbarMinWidth) <= 0.5)
        return;
    m_toolbarMinWidth = width;
    QTimer::singleShot(0, this, [this] {
        QWidget *host = window();
        const int minimum = int(std::ceil(m_toolbarMinWidth));
        host->setMinimumSize(minimum, std::max(host->minimumHeight(), 300));
        if (host->width() < minimum)
            host->resize(minimum, host->height());
    });
}

// ---- Preferences ----------------------------------------------------------------------------

void ContentView::applyPreferences()
{
    for (const QString &key : {Preferences::themeIdKey, Preferences::fontSizeKey, Preferences::showLineNumbersKey,
                               Preferences::wordWrapKey, Preferences::showCountsKey})
        applyPreference(key);
}

void ContentView::applyPreference(const QString &key)
{
    Preferences &preferences = Preferences::shared();
    if (key == Preferences::themeIdKey) {
        const auto &theme = Highlighting::Theme::resolve(preferences.themeId().toStdString());
        m_inputs.theme = &theme;
        m_toolbar->setTheme(theme);
        m_statusBar->setTheme(theme);
        m_content->setTheme(theme);
        m_toast->setTheme(theme);
        m_placeholder->setTheme(theme);
        m_loadingIndicator->setTheme(theme);
        applyThemeToMenuBar();
        update();
    } else if (key == Preferences::fontSizeKey) {
        m_inputs.fontSize = preferences.fontSize();
        m_toolbar->setFontSize(m_inputs.fontSize);
        m_content->setFontSize(m_inputs.fontSize);
    } else if (key == Preferences::showLineNumbersKey) {
        m_inputs.showLineNumbers = preferences.showLineNumbers();
        m_toolbar->setLineNumbers(m_inputs.showLineNumbers);
    } else if (key == Preferences::wordWrapKey) {
        m_inputs.wordWrap = preferences.wordWrap();
    } else if (key == Preferences::showCountsKey) {
        m_statusBar->setCounts(m_countsText, preferences.showCounts());
        scheduleJob(Job::Counts);
        return;
    } else {
        return;
    }
    pushEditorInputs();
}

// ---- The editor -------------------------------------------------------------------------------

void ContentView::connectEditor()
{
    connect(&m_editor, &Editor::Coordinator::textEdited, this, &ContentView::onTextChanged);
    connect(&m_editor, &Editor::Coordinator::caretLineChanged, this, [this](long long line) {
        m_caretLine = line;
        m_statusBar->setCaret(m_caretLine, m_caretColumn);
    });
    connect(&m_editor, &Editor::Coordinator::caretColumnChanged, this, [this](long long column) {
        m_caretColumn = column;
        m_statusBar->setCaret(m_caretLine, m_caretColumn);
    });
    connect(&m_editor, &Editor::Coordinator::goToLineConsumed, this, [this] { m_inputs.goToLine.reset(); });
}

void ContentView::pushEditorInputs()
{
    m_inputs.docKind = m_doc ? m_doc->kind : DocKind(DocKind::Txt);
    m_inputs.documentId = m_doc ? QString::fromStdString(m_doc->path) : QString();
    m_inputs.isActiveEditor = m_doc && !isAlternateFullView(m_doc->kind, m_mode);
    m_editor.update(m_inputs);
}

std::u16string ContentView::text() const
{
    return m_editor.text();
}

std::u16string_view ContentView::currentText()
{
    TextView::TextStorage &storage = m_textView->textContentManager();
    return storage.view(0, storage.length());
}

bool ContentView::isDirty() const
{
    return m_doc && m_textView->textContentManager().revision() != m_savedRevision;
}

void ContentView::onTextChanged()
{
    scheduleAutoSave();
    scheduleAllJobs();
    updateWindowTitle();
}

// ---- Background jobs --------------------------------------------------------------------------

void ContentView::scheduleAllJobs()
{
    for (Job job : allJobs)
        scheduleJob(job);
}

void ContentView::scheduleJob(Job job)
{
    JobContext context;
    context.kind = m_doc ? std::optional<DocKind>(m_doc->kind) : std::nullopt;
    context.mode = m_mode;
    context.showCounts = Preferences::shared().showCounts();
    if (m_doc && m_doc->kind == DocKind::Xml)
        context.xmlSource = xmlSourceFor(m_doc->encoding, m_doc->hadBOM);
    m_jobs->setContext(std::move(context));
    if (job == Job::Validation && m_doc && (m_doc->kind == DocKind::Json || m_doc->kind == DocKind::Ndjson)
        && m_isJSONFormatted) {
        m_isJSONFormatted = false;
        updateToolbar();
    }
    m_jobs->schedule(job);
}

void ContentView::onJobFinished(const JobResult &result)
{
    switch (result.job) {
    case Job::Validation:
        m_isJSONFormatted = result.formatted;
        applyValidation(result.validation);
        updateToolbar();
        break;
    case Job::CSVParse:
        m_parsedTable = result.table;
        m_content->setTable(result.table);
        break;
    case Job::MarkdownParse:
        m_parsedBlockCount = result.blocks.size();
        m_content->setBlocks(result.blocks);
        break;
    case Job::JSONTree:
        m_jsonTreeResult = result.tree;
        m_content->setTree(result.tree);
        break;
    case Job::Counts:
        m_countsText = QString::fromStdString(result.counts);
        m_statusBar->setCounts(m_countsText, Preferences::shared().showCounts());
        break;
    }
    emit jobFinished(result.job);
}

void ContentView::onJobReset(Job job)
{
    switch (job) {
    case Job::Validation:
        m_isJSONFormatted = false;
        applyValidation(Formatting::Validation::empty());
        updateToolbar();
        break;
    case Job::CSVParse:
        m_parsedTable.reset();
        m_content->setTable(std::nullopt);
        break;
    case Job::MarkdownParse:
        m_parsedBlockCount = 0;
        m_content->setBlocks({});
        break;
    case Job::JSONTree:
        m_jsonTreeResult.reset();
        m_content->setTree(std::nullopt);
        break;
    case Job::Counts:
        break;
    }
}

void ContentView::applyValidation(const Formatting::Validation &validation)
{
    m_jsonValidation = validation;
    updateStatusBar();
    std::optional<long long> line;
    if (const auto fault = validation.errorLine())
        line = *fault;
    if (line != m_inputs.errorLine) {
        m_inputs.errorLine = line;
        pushEditorInputs();
    }
}

void ContentView::setMode(ViewMode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    m_toolbar->setMode(mode);
    m_content->arrange(m_doc ? std::optional<DocKind>(m_doc->kind) : std::nullopt, mode);
    pushEditorInputs();
    scheduleJob(Job::CSVParse);
    scheduleJob(Job::MarkdownParse);
    scheduleJob(Job::JSONTree);
    if (!isAlternateFullView(m_doc ? std::optional<DocKind>(m_doc->kind) : std::nullopt, mode))
        m_textView->setFocus();
}

// ---- Loading ----------------------------------------------------------------------------------

void ContentView::loadURL(const QString &path)
{
    ++m_loadGeneration;
    const std::string localPath = QFileInfo(path).absoluteFilePath().toStdString();
    const auto checked = Documents::checkBeforeLoad(localPath);
    if (const auto *error = std::get_if<Base::Message>(&checked)) {
        m_reloadDiscardsEdits = false;
        showError(loc(*error));
        return;
    }
    m_loadTicket = {m_loadGeneration, localPath, std::get<Documents::FileAttributes>(checked).modificationTime};
    m_loadWatcher.setFuture(QtConcurrent::task([localPath] {
                                return std::make_shared<LoadOutcome>(Documents::decodeForLoad(localPath));
                            })
                                .withPriority(2)
                                .spawn());
    m_loadingIndicator->setLabel(loc(Base::Message{"Opening %@…", {QFileInfo(path).fileName().toStdString()}}));
    m_loadingIndicatorDelay.start();
    if (!m_doc)
        updateWindowTitle();
}

void ContentView::applyLoad()
{
    const auto future = m_loadWatcher.future();
    if (future.resultCount() == 0 || m_loadTicket.generation != m_loadGeneration)
        return;
    m_loadingIndicatorDelay.stop();
    m_loadingIndicator->hide();
    m_reloadDiscardsEdits = false;
    const std::shared_ptr<LoadOutcome> outcome = future.result();
    if (const auto *error = std::get_if<Base::Message>(outcome.get())) {
        updateWindowTitle();
        showError(loc(*error));
        return;
    }
    auto &loaded = std::get<Documents::LoadedText>(*outcome);
    const std::string &path = m_loadTicket.path;
    Documents::LoadedDoc doc;
    doc.path = path;
    doc.kind = DocKind::detect(path);
    doc.encoding = loaded.encoding;
    doc.lineEnding = loaded.lineEnding;
    doc.hadBOM = loaded.hadBOM;
    doc.mtime = loaded.recoveredMtime ? loaded.recoveredMtime : m_loadTicket.mtime;
    doc.isScratch = Documents::isScratchPath(path);
    m_doc = doc;

    m_inputs.text = std::make_shared<Base::U16Buffer>(std::move(loaded.text));
    ++m_inputs.textGeneration;
    m_lastSaveFailed = false;
    m_inputs.goToLine.reset();
    m_inputs.errorLine.reset();
    m_mode = initialMode(doc.kind);
    pushEditorInputs();
    m_inputs.text.reset();
    m_savedRevision = m_textView->textContentManager().revision();
    m_autoSave.stop();

    // A new document starts without the previous one's results.
    m_jsonValidation = Formatting::Validation::empty();
    m_isJSONFormatted = false;
    m_parsedTable.reset();
    m_content->setTable(std::nullopt);
    m_jsonTreeResult.reset();
    m_content->setTree(std::nullopt);
    m_parsedBlockCount = 0;
    m_content->setBlocks({});

    if (!doc.isScratch) {
        RecentsStore::shared().add(QString::fromStdString(path));
        Preferences::shared().setLastOpenPath(QString::fromStdString(path));
    }
    updateLayoutForDocument();
    scheduleAllJobs();
    updateWindowTitle();
    if (!isAlternateFullView(doc.kind, m_mode))
        m_textView->setFocus();
    if (loaded.recoveryNote)
        showError(loc(*loaded.recoveryNote));
    emit documentLoaded();
}

// ---- Saving -----------------------------------------------------------------------------------

void ContentView::scheduleAutoSave()
{
    m_autoSave.start(WindowTimings::shared().autoSaveMs);
}

std::optional<std::int64_t> ContentView::currentDiskMtimeNs() const
{
    if (!m_doc)
        return std::nullopt;
    const auto time = Documents::modificationTime(m_doc->path);
    return time ? std::optional<std::int64_t>(nanoseconds(*time)) : std::nullopt;
}

bool ContentView::saveIfDirty(bool force)
{
    if (!m_doc)
        return true;
    if (!isDirty() && !m_lastSaveFailed)
        return true;
    if (m_reloadDiscardsEdits)
        return true;
    if (!force && !m_suppressExternalCheck && isNewerOnDisk(Documents::modificationTime(m_doc->path), m_doc->mtime)) {
        m_externalChangePending = true;
        raiseExternalChangeDialog();
        return false;
    }
    const std::u16string_view text = currentText();
    const std::uint64_t revision = m_textView->textContentManager().revision();
    if (const auto error = Documents::saveText(m_doc->path, text, m_doc->encoding, m_doc->lineEnding, m_doc->hadBOM)) {
        m_lastSaveFailed = true;
        showError(loc(*error));
        return false;
    }
    m_savedRevision = revision;
    m_lastSaveFailed = false;
    if (const auto time = Documents::modificationTime(m_doc->path))
        m_doc->mtime = time;
    updateWindowTitle();
    emit documentSaved();
    return true;
}

// ---- External changes -----------------------------------------------------------------------

void ContentView::checkExternalChange()
{
    if (!m_doc || !m_doc->mtime)
        return;
    if (isNewerOnDisk(Documents::modificationTime(m_doc->path), m_doc->mtime)) {
        m_externalChangePending = true;
        raiseExternalChangeDialog();
    }
}

void ContentView::raiseExternalChangeDialog()
{
    if (m_externalDialog && m_externalDialog->isVisible())
        return;
    auto *dialog = new QMessageBox(QMessageBox::Warning, loc("File changed on disk"),
                                   loc("The file was modified outside the app."), QMessageBox::NoButton, this);
    dialog->setTextFormat(Qt::PlainText);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *reload = dialog->addButton(loc("Reload from disk"), QMessageBox::AcceptRole);
    QPushButton *overwrite = dialog->addButton(loc("Overwrite disk"), QMessageBox::DestructiveRole);
    QPushButton *keep = dialog->addButton(loc("Keep editing"), QMessageBox::RejectRole);
    reload->setObjectName("reload");
    overwrite->setObjectName("overwrite");
    keep->setObjectName("keep");
    dialog->setDefaultButton(reload);
    dialog->setEscapeButton(keep);
    connect(dialog, &QMessageBox::buttonClicked, this, [this, reload, overwrite](QAbstractButton *button) {
        if (button == reload)
            reloadFromDisk();
        else if (button == overwrite)
            overwriteDisk();
        else
            m_externalChangePending = false;
    });
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    m_externalDialog = dialog;
    dialog->open();
}

void ContentView::reloadFromDisk()
{
    if (m_doc) {
        m_autoSave.stop();
        // The disk's version is the one being read: until it arrives, that is the known one.
        m_doc->mtime = Documents::modificationTime(m_doc->path);
        // The user gave up the edits: no save may write them over the disk's version meanwhile.
        m_reloadDiscardsEdits = true;
        m_suppressExternalCheck = true;
        loadURL(QString::fromStdString(m_doc->path));
        m_autoSave.stop();
        m_suppressExternalCheck = false;
    }
    m_externalChangePending = false;
}

void ContentView::overwriteDisk()
{
    if (m_doc) {
        m_doc->mtime = Documents::modificationTime(m_doc->path);
        m_suppressExternalCheck = true;
        saveIfDirty(false);
        m_suppressExternalCheck = false;
    }
    m_externalChangePending = false;
}

// ---- Panels -----------------------------------------------------------------------------------

QString ContentView::defaultSaveDirectory()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return desktop;
    return QString();
}

QFileDialog *ContentView::makePanel(const QString &title, QFileDialog::AcceptMode mode, const QString &filter)
{
    auto *panel = new QFileDialog(this, title);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setAcceptMode(mode);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setNameFilter(filter);
    // Saving starts on the Desktop; opening where the document (or the last one opened) lives.
    if (const QString folder = mode == QFileDialog::AcceptSave ? defaultSaveDirectory() : QString(); !folder.isEmpty())
        panel->setDirectory(folder);
    m_panel = panel;
    return panel;
}

void ContentView::showOpenPanel()
{
    if (m_panel)
        return;
    QFileDialog *panel = makePanel(loc("Open"), QFileDialog::AcceptOpen, openPanelFilter());
    panel->setFileMode(QFileDialog::ExistingFiles);
    QString folder = m_doc ? QFileInfo(QString::fromStdString(m_doc->path)).absolutePath() : QString();
    if (folder.isEmpty() && !Preferences::shared().lastOpenPath().isEmpty())
        folder = QFileInfo(Preferences::shared().lastOpenPath()).absolutePath();
    if (!folder.isEmpty())
        panel->setDirectory(folder);
    connect(panel, &QFileDialog::filesSelected, this, &ContentView::handleImport);
    panel->open();
}

void ContentView::showSaveAsPanel()
{
    if (m_panel)
        return;
    Documents::TextDoc document;
    document.text = m_editor.text();
    if (m_doc) {
        document.encoding = m_doc->encoding;
        document.lineEnding = m_doc->lineEnding;
        document.includeBOM = m_doc->hadBOM;
    }
    QFileDialog *panel = makePanel(loc("Save"), QFileDialog::AcceptSave, saveFilterFor(m_doc));
    panel->selectFile(m_doc ? QFileInfo(QString::fromStdString(m_doc->path)).fileName() : QStringLiteral("Untitled.txt"));
    connect(panel, &QFileDialog::fileSelected, this, [this, document = std::move(document)](const QString &path) {
        writeExportedDocument(path, document, false);
    });
    panel->open();
}

void ContentView::showNewFilePanel()
{
    if (m_panel)
        return;
    QFileDialog *panel = makePanel(loc("New File"), QFileDialog::AcceptSave, saveFilterFor(std::nullopt));
    panel->selectFile(QStringLiteral("Untitled.txt"));
    connect(panel, &QFileDialog::fileSelected, this,
            [this](const QString &path) { writeExportedDocument(path, Documents::TextDoc{}, true); });
    panel->open();
}

void ContentView::writeExportedDocument(const QString &path, const Documents::TextDoc &document, bool forNewFile)
{
    if (const auto error = Documents::writeFileAtomically(path.toStdString(), document.fileBytes())) {
        showError(loc(Base::Message{"Save failed: %@",
                                    {std::make_shared<const Base::Message>(Base::Message{*error, {}})}}));
        return;
    }
    if (forNewFile)
        loadURL(path);
    else
        handleExported(path);
}

void ContentView::handleImport(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    saveIfDirty(false);
    loadURL(paths.first());
    const auto &openWindow = WindowSession::shared().hooks.openWindowForURL;
    for (qsizetype i = 1; i < paths.size(); ++i)
        if (openWindow)
            openWindow(paths[i]);
}

void ContentView::handleImportError(const QString &description)
{
    showError(description);
}

void ContentView::handleExported(const QString &path)
{
    if (m_doc && m_doc->isScratch && QFileInfo(path).absoluteFilePath().toStdString() != m_doc->path) {
        const QString scratch = QString::fromStdString(m_doc->path);
        if (const auto &hook = WindowSession::shared().hooks.scratchExported)
            hook(this, scratch);
        else
            QFile::remove(scratch);
    }
    loadURL(path);
}

void ContentView::openRecent(const RecentEntry &entry)
{
    if (const auto path = entry.url()) {
        saveIfDirty(false);
        loadURL(*path);
        return;
    }
    showError(loc(Base::Message{"File not found: %@", {entry.path.toStdString()}}));
    RecentsStore::shared().remove(entry);
}

// ---- Drag and drop ----------------------------------------------------------------------------

void ContentView::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedFiles(event->mimeData()).isEmpty())
        return;
    event->acceptProposedAction();
    m_placeholder->setDropHighlighted(true);
}

void ContentView::showSettings()
{
    if (const auto &show = WindowSession::shared().hooks.showSettings)
        show(this);
    else
        showFileAssociationsSheet(this, SheetKind::Settings);
}

void ContentView::dragLeaveEvent(QDragLeaveEvent *event)
{
    m_placeholder->setDropHighlighted(false);
    QWidget::dragLeaveEvent(event);
}

void ContentView::dropEvent(QDropEvent *event)
{
    m_placeholder->setDropHighlighted(false);
    const QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    openDroppedFiles(paths);
}

void ContentView::openDroppedFiles(const QStringList &paths)
{
    if (m_doc)
        saveIfDirty(false);
    loadURL(paths.first());
    const auto &openWindow = WindowSession::shared().hooks.openWindowForURL;
    for (qsizetype i = 1; i < paths.size(); ++i)
        if (openWindow)
            openWindow(paths[i]);
}

// ---- Session ----------------------------------------------------------------------------------

void ContentView::applyThemeToMenuBar()
{
    // The window's menu bar, when the shell gave it one, belongs to the theme like the toolbar.
    if (auto *host = qobject_cast<QMainWindow *>(window()); host && host->menuWidget())
        Chrome::applyPalette(host->menuWidget(), *m_inputs.theme);
}

void ContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyThemeToMenuBar();
    if (m_wasShown)
        return;
    m_wasShown = true;
    updateWindowTitle();
    QTimer::singleShot(0, this, [this] {
        restoreLastSession();
        if (const auto &check = WindowSession::shared().hooks.checkForUpdatesIfDue)
            check();
    });
}

void ContentView::restoreLastSession()
{
    m_wasRestored = true;
    WindowSession &session = WindowSession::shared();
    const auto exists = [](const QString &path) { return !path.isEmpty() && QFileInfo(path).isFile(); };
    if (!m_options.initialURL.isEmpty() && !m_doc) {
        if (exists(m_options.initialURL))
            loadURL(m_options.initialURL);
        return;
    }
    if (!session.pendingExternalURLs.isEmpty() && !m_doc) {
        const QString path = session.pendingExternalURLs.takeFirst();
        if (exists(path))
            loadURL(path);
        return;
    }
    if (!m_options.initialScratchURL.isEmpty() && !m_doc) {
        if (exists(m_options.initialScratchURL))
            loadURL(m_options.initialScratchURL);
        return;
    }
    if (!session.hasFinishedLaunching) {
        QTimer::singleShot(WindowTimings::shared().restoreRetryMs, this, &ContentView::restoreLastSession);
        return;
    }
    const Preferences &preferences = Preferences::shared();
    if (preferences.sessionEnded() || m_options.skipSessionRestore || m_doc || isLoading()
        || preferences.lastOpenPath().isEmpty())
        return;
    if (exists(preferences.lastOpenPath()))
        loadURL(preferences.lastOpenPath());
}

void ContentView::updateWindowTitle()
{
    QWidget *host = window();
    if (!host)
        return;
    // A window whose first file is still loading already stands for that file.
    std::optional<std::string_view> path;
    if (m_doc)
        path = m_doc->path;
    else if (isLoading())
        path = m_loadTicket.path;
    std::string promised; // The file the window was opened for, until it is loaded.
    if (!path && !m_wasRestored) {
        promised = (m_options.initialURL.isEmpty() ? m_options.initialScratchURL : m_options.initialURL).toStdString();
        if (!promised.empty())
            path = promised;
    }
    host->setWindowTitle(QString::fromStdString(App::windowTitle(path)) + QStringLiteral("[*]"));
    host->setWindowModified(isDirty());
    host->setWindowFilePath(path ? QString::fromStdString(std::string(*path)) : QString());
}

// ---- Application events ---------------------------------------------------------------------

void ContentView::observeApplication()
{
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this,
                [this, previous = Qt::ApplicationState(QGuiApplication::applicationState())](
                    Qt::ApplicationState state) mutable {
                    if (state == Qt::ApplicationActive && previous != Qt::ApplicationActive)
                        applicationDidBecomeActive();
                    else if (state != Qt::ApplicationActive && previous == Qt::ApplicationActive)
                        applicationDidResignActive();
                    previous = state;
                });
    }
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &ContentView::applicationWillTerminate);
}

void ContentView::applicationDidBecomeActive()
{
    checkExternalChange();
}

void ContentView::applicationDidResignActive()
{
    saveIfDirty(false);
}

void ContentView::applicationWillTerminate()
{
    saveIfDirty(true);
}

void ContentView::titledWindowWillClose(ContentView *closing)
{
    const auto views = WindowSession::shared().views();
    for (ContentView *view : views)
        view->saveIfDirty(false);
    const bool othersRemain = std::any_of(views.begin(), views.end(), [closing](ContentView *view) {
        return view != closing && view->window()->isVisible();
    });
    if (!othersRemain)
        Preferences::shared().setSessionEnded(true);
}

bool ContentView::isKeyWindow() const
{
    const QWidget *host = window();
    if (!host->isVisible())
        return true;
    return QApplication::activeWindow() == host;
}

// ---- Notifications ----------------------------------------------------------------------------

void ContentView::observeNotifications()
{
    auto &center = NotificationCenter::defaultCenter();
    const auto observe = [this, &center](const QString &name, std::function<void(const QVariant &)> handler) {
        m_observerTokens.push_back(center.addObserver(name, this, std::move(handler)));
    };
    const auto keyOnly = [this](std::function<void(const QVariant &)> handler) {
        return [this, handler = std::move(handler)](const QVariant &object) {
            if (isKeyWindow())
                handler(object);
        };
    };
    observe(Notifications::openFile, keyOnly([this](const QVariant &) { showOpenPanel(); }));
    observe(Notifications::saveFile, keyOnly([this](const QVariant &) { showSaveAsPanel(); }));
    observe(Notifications::newFile, keyOnly([this](const QVariant &) {
                saveIfDirty(false);
                showNewFilePanel();
            }));
    observe(Notifications::loadFile, keyOnly([this](const QVariant &object) {
                const QString path = object.toString();
                if (path.isEmpty())
                    return;
                WindowSession::shared().pendingExternalURLs.removeAll(path);
                saveIfDirty(false);
                loadURL(path);
            }));
    observe(Notifications::goToLine, keyOnly([this](const QVariant &) {
                m_goToLineText.clear();
                showGoToLine();
            }));
    observe(Notifications::revealInFinder, keyOnly([this](const QVariant &) { revealInFileManager(); }));
    observe(Notifications::copyPath, keyOnly([this](const QVariant &) { copyPath(); }));
    observe(Notifications::forceFlushScratch, [this](const QVariant &object) {
        auto *target = qobject_cast<QWidget *>(object.value<QObject *>());
        if (target && target->isWindow()) {
            if (!window()->isVisible() || target != window())
                return;
        }
        saveIfDirty(false);
    });
}

// ---- Toolbar actions --------------------------------------------------------------------------

void ContentView::connectToolbar()
{
    connect(m_toolbar, &DocumentToolbar::newRequested, this, [] {
        if (const auto &open = WindowSession::shared().hooks.openNewWindow)
            open();
    });
    connect(m_toolbar, &DocumentToolbar::saveRequested, this, &ContentView::showSaveAsPanel);
    connect(m_toolbar, &DocumentToolbar::openRequested, this, &ContentView::showOpenPanel);
    connect(m_toolbar, &DocumentToolbar::recentsMenuAboutToShow, this, [this](QMenu *menu) {
        menu->clear();
        const auto items = RecentsStore::shared().items();
        if (items.isEmpty()) {
            menu->addAction(loc("No recent files"))->setEnabled(false);
        } else {
            for (const RecentEntry &entry : items) {
                QAction *action = menu->addAction(QFileInfo(entry.path).fileName());
                action->setToolTip(entry.path);
                connect(action, &QAction::triggered, this, [this, entry] { openRecent(entry); });
            }
        }
        menu->addSeparator();
        QAction *clear = menu->addAction(loc("Clear Recents"));
        clear->setEnabled(!items.isEmpty());
        connect(clear, &QAction::triggered, this, [] { RecentsStore::shared().clear(); });
    });
    connect(m_toolbar, &DocumentToolbar::revealRequested, this, &ContentView::revealInFileManager);
    connect(m_toolbar, &DocumentToolbar::copyPathRequested, this, &ContentView::copyPath);
    connect(m_toolbar, &DocumentToolbar::modeChosen, this, &ContentView::setMode);
    connect(m_toolbar, &DocumentToolbar::undoRequested, this, [this] { m_textView->undo(); });
    connect(m_toolbar, &DocumentToolbar::redoRequested, this, [this] { m_textView->redo(); });
    connect(m_toolbar, &DocumentToolbar::formatRequested, this, &ContentView::formatDocument);
    connect(m_toolbar, &DocumentToolbar::findRequested, this,
            [] { NotificationCenter::defaultCenter().post(Notifications::findAction, 1); });
    connect(m_toolbar, &DocumentToolbar::smallerFontRequested, this,
            [] { Preferences::shared().setFontSize(smallerFontSize(Preferences::shared().fontSize())); });
    connect(m_toolbar, &DocumentToolbar::largerFontRequested, this,
            [] { Preferences::shared().setFontSize(largerFontSize(Preferences::shared().fontSize())); });
    connect(m_toolbar, &DocumentToolbar::lineNumbersToggled, this,
            [](bool shown) { Preferences::shared().setShowLineNumbers(shown); });
    connect(m_toolbar, &DocumentToolbar::themeRequested, this, &ContentView::showThemePopover);
    connect(m_toolbar, &DocumentToolbar::settingsRequested, this, &ContentView::showSettings);
    connect(m_statusBar, &DocumentStatusBar::errorLineClicked, this, [this](long long line) {
        m_inputs.goToLine = line;
        pushEditorInputs();
    });
}

void ContentView::formatDocument()
{
    if (!m_doc)
        return;
    const std::u16string_view current = currentText();
    const Base::U16Buffer pretty = m_doc->kind == DocKind::Ndjson
                                       ? Formatting::JSONFormatter::prettyPrintNDJSON(current)
                                       : Formatting::JSONFormatter::prettyPrint(current);
    if (pretty.view() != current) {
        m_editor.applyText(pretty.view(), std::min(m_textView->caretPosition(), pretty.size()));
        showFormatToast(loc("Formatted"));
    } else {
        showFormatToast(loc("Already formatted"));
    }
}

void ContentView::showFormatToast(const QString &message)
{
    m_toast->setDuration(WindowTimings::shared().toastMs);
    m_toast->showMessage(message);
}

void ContentView::showGoToLine()
{
    if (!m_doc)
        return;
    const auto &storage = m_textView->textContentManager();
    const qint64 lines = storage.length() == 0 ? 0 : qint64(storage.lineCount());
    auto *sheet = new Editor::GoToLineSheet(lines, this);
    sheet->setObjectName("goToLineSheet");
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setText(m_goToLineText);
    Chrome::applyPalette(sheet, *m_inputs.theme);
    connect(sheet, &Editor::GoToLineSheet::submitted, this, [this](qint64 line) {
        m_inputs.goToLine = line;
        pushEditorInputs();
    });
    connect(sheet, &QDialog::finished, this, [this, sheet] { m_goToLineText = sheet->text(); });
    sheet->open();
}

void ContentView::revealInFileManager()
{
    if (!m_doc)
        return;
    const QString path = QString::fromStdString(m_doc->path);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(path).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage)
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void ContentView::copyPath()
{
    if (m_doc)
        QGuiApplication::clipboard()->setText(QString::fromStdString(m_doc->path));
}

void ContentView::showThemePopover(QWidget *anchor)
{
    if (m_themePopover) {
        m_themePopover->close();
        return;
    }
    auto *popover = new QFrame(this, Qt::Popup);
    popover->setObjectName("themePopover");
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    Chrome::applyPalette(popover, *m_inputs.theme);
    popover->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(popover);
    layout->setContentsMargins(10, 10, 10, 10);
    auto *picker = new Highlighting::ThemePicker(popover);
    picker->setSelected(QString::fromUtf8(m_inputs.theme->id().data(), qsizetype(m_inputs.theme->id().size())));
    layout->addWidget(picker);
    connect(picker, &Highlighting::ThemePicker::selectedChanged, this, [popover](const QString &id) {
        Preferences::shared().setThemeId(id);
        Chrome::applyPalette(popover, Highlighting::Theme::resolve(id.toStdString()));
    });
    popover->adjustSize();
    const QPoint below = anchor->mapToGlobal(QPoint(anchor->width() - popover->width(), anchor->height() + 4));
    popover->move(below);
    m_themePopover = popover;
    popover->show();
}

// ---- Errors -----------------------------------------------------------------------------------

void ContentView::showError(const QString &message)
{
    m_errorMessage = message;
    emit errorShown(message);
    if (m_errorAlert) {
        m_errorAlert->setText(message);
        return;
    }
    auto *alert = new QMessageBox(QMessageBox::Warning, loc("Error"), message, QMessageBox::NoButton, this);
    alert->setObjectName("errorAlert");
    alert->setTextFormat(Qt::PlainText);
    alert->addButton(loc("OK"), QMessageBox::AcceptRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QDialog::finished, this, [this] { m_errorMessage.clear(); });
    connect(alert, &QDialog::finished, alert, &QObject::deleteLater);
    m_errorAlert = alert;
    alert->open();
}

} // namespace App
