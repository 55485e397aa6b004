#include "contentview.h"

#include "chrome.h"
#include "contentarea.h"
#include "documentanalysis.h"
#include "documentpanels.h"
#include "documentquestions.h"
#include "statusmenus.h"
#include "documentstatusbar.h"
#include "documenttoolbar.h"
#include "toast.h"
#include "fileassociationssheet.h"
#include "recoverybar.h"
#include "welcomeview.h"
#include "windowcommands.h"
#include "windowsession.h"

#include "app/model/documentcheck.h"
#include "app/model/fontsize.h"
#include "app/model/windowstatus.h"
#include "app/services/preferences.h"
#include "app/services/filemanager.h"
#include "app/services/recentsstore.h"

#include "editor/gotolinesheet.h"

#include "formatting/jsonformatter.h"
#include "formatting/jsonpath.h"

#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"

#include "highlighting/themepicker.h"

#include "documents/fileio.h"
#include "documents/textcodec.h"

#include "base/localization.h"
#include "base/nativepath.h"
#include "base/notificationcenter.h"
#include "base/timer.h"

#include <QApplication>
#include <QClipboard>
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
#include <QScrollBar>
#include <QStackedLayout>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <variant>

namespace App {

using Documents::DocKind;

namespace {

// Paths are kept as the file system's bytes and shown (and handed to Qt) in a form that maps
// back to those bytes, even for names that are not UTF-8.
std::string nativePath(const QString &path)
{
    return Base::nativeFromPath(QFileInfo(path).absoluteFilePath());
}

QString displayPath(std::string_view path)
{
    return Base::pathFromNative(path);
}

QString fromView(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Files from a drop, in order; anything that is not a local file is skipped.
QStringList droppedFiles(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl &url : data->urls())
        if (url.isLocalFile()) // Percent-decoded by hand: a name that is not UTF-8 keeps its bytes.
            paths << Base::pathFromNative(
                QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
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
    setMinimumSize(minimumContentSize);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_questions = new DocumentQuestions(this);
    m_panels = new DocumentPanels(this);
    connect(m_questions, &DocumentQuestions::errorShown, this, &ContentView::errorShown);
    m_session->setAutoSaveDelay(WindowTimings::shared().autoSaveMs);
    m_textView = m_editor.makeView(m_session->document(), m_inputs, nullptr);
    m_analysis = std::make_unique<DocumentAnalysis>([this] { return m_textView->textContentManager().snapshot(); },
                                                    [this] { return m_textView->caretPosition(); });
    m_analysis->jobs().setDelayScale(WindowTimings::shared().jobDelayScale);

    buildLayout();
    connectEditor();
    connectAnalysis();
    connectSession();
    connectToolbar();
    connectPanels();
    applyPreferences();
    connect(&Preferences::shared(), &Preferences::changed, this, &ContentView::applyPreference);
    m_commands = std::make_unique<WindowCommands>(*this);
    observeApplication();
    updateLayoutForDocument();
}

ContentView::~ContentView()
{
    WindowSession::shared().remove(this);
    m_commands.reset();
    m_analysis.reset();
    // The view shows the session's document: it goes first.
    delete m_textView;
    m_textView = nullptr;
    m_session.reset();
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
    m_recoveryBar = new RecoveryBar(m_documentPage);
    m_recoveryBar->hide();
    connect(m_recoveryBar, &RecoveryBar::recoverRequested, this, &ContentView::recoverJournal);
    connect(m_recoveryBar, &RecoveryBar::discardRequested, this, &ContentView::discardJournal);
    column->addWidget(m_toolbar);
    column->addWidget(m_recoveryBar);
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
    connect(m_placeholder, &WelcomeView::scratchNoteRequested, this, [this](const QString &path) {
        // A note already open in a window comes to the front rather than opening twice.
        const std::string wanted = nativePath(path);
        for (ContentView *view : WindowSession::shared().views())
            if (view != this && view->doc() && view->doc()->path == wanted) {
                view->window()->raise();
                view->window()->activateWindow();
                return;
            }
        openFile(path);
    });
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
    const std::optional<DocKind> kind = doc() ? std::optional<DocKind>(doc()->kind) : std::nullopt;
    m_rootPages->setCurrentWidget(doc() ? m_documentPage : static_cast<QWidget *>(m_placeholder));
    m_toolbar->setDocument(kind, doc() ? QFileInfo(displayPath(doc()->path)).fileName() : QString());
    m_toolbar->setMode(m_mode);
    m_content->arrange(kind, m_mode);
    updateStatusBar();
    updateToolbar();
}

void ContentView::updateStatusBar()
{
    if (!doc()) {
        m_statusBar->clearDocument();
    } else {
        m_statusBar->setDocument(fromView(doc()->kind.label()),
                                 fromView(Documents::displayName(doc()->encoding)),
                                 fromView(Documents::label(doc()->lineEnding)));
        m_statusBar->setIndentation(StatusMenus::indentationLabel(m_session->indentation()));
    }
    if (doc() && showsValidation(doc()->kind))
        m_statusBar->setValidation(validationStatus(m_analysis->validation()));
    else
        m_statusBar->setValidation(std::nullopt);
    m_statusBar->setCaret(m_caretLine, m_caretColumn);
    m_statusBar->setCounts(m_analysis->counts(), Preferences::shared().showCounts());
}

void ContentView::updateToolbar()
{
    const std::optional<DocKind> kind = doc() ? std::optional<DocKind>(doc()->kind) : std::nullopt;
    m_toolbar->setFormatOffered(formatIsOffered(kind, m_analysis->validation(), m_analysis->isFormatted()));
    updateToolbarMinWidth();
}

void ContentView::updateToolbarMinWidth()
{
    if (!doc())
        return;
    const double width = m_toolbar->naturalWidth();
    if (std::abs(width - m_toolbarMinWidth) <= 0.5)
        return;
    m_toolbarMinWidth = width;
    // A toolbar wider than the usual minimum (more pickers, a larger font) widens the window.
    setMinimumWidth(std::max(minimumContentSize.width(), int(std::ceil(m_toolbarMinWidth))));
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
        m_questions->setTheme(theme);
        m_toolbar->setTheme(theme);
        m_statusBar->setTheme(theme);
        m_content->setTheme(theme);
        m_toast->setTheme(theme);
        m_placeholder->setTheme(theme);
        m_recoveryBar->setTheme(theme);
        m_loadingIndicator->setTheme(theme);
        applyThemeToMenuBar();
        update();
    } else if (key == Preferences::fontSizeKey || key == Preferences::fontFamilyKey) {
        m_inputs.fontSize = preferences.fontSize();
        m_inputs.fontFamily = preferences.fontFamily();
        m_toolbar->setFontSize(m_inputs.fontSize);
        m_content->setTextFont(Editor::editorFont(m_inputs.fontFamily, m_inputs.fontSize));
    } else if (key == Preferences::showLineNumbersKey) {
        m_inputs.showLineNumbers = preferences.showLineNumbers();
        m_toolbar->setLineNumbers(m_inputs.showLineNumbers);
    } else if (key == Preferences::wordWrapKey) {
        m_inputs.wordWrap = preferences.wordWrap();
    } else if (key == Preferences::showCountsKey) {
        m_statusBar->setCounts(m_analysis->counts(), preferences.showCounts());
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
    connect(&m_editor, &Editor::Coordinator::goToLineConsumed, this, [this] {
        m_inputs.goToLine.reset();
        m_inputs.goToColumn.reset();
    });
    connect(m_textView, &STTextView::selectionChanged, this, [this] { scheduleJob(Job::JSONPath); });
}

void ContentView::pushEditorInputs()
{
    m_inputs.docKind = doc() ? doc()->kind : DocKind(DocKind::Txt);
    m_inputs.indentation = m_session->indentation();
    m_inputs.documentId = doc() ? displayPath(doc()->path) : QString();
    m_inputs.isActiveEditor = doc() && !isAlternateFullView(doc()->kind, m_mode);
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
    return m_session->isDirty();
}

void ContentView::onTextChanged()
{
    m_session->textDidChange();
    scheduleAllJobs();
    updateWindowTitle();
}

// ---- Background jobs --------------------------------------------------------------------------

void ContentView::scheduleAllJobs()
{
    updateAnalysisContext();
    m_analysis->textDidChange();
}

void ContentView::scheduleJob(Job job)
{
    updateAnalysisContext();
    m_analysis->schedule(job);
}

void ContentView::updateAnalysisContext()
{
    m_analysis->setDocument(doc(), m_mode, m_delimiterChoice, Preferences::shared().showCounts());
}

void ContentView::connectAnalysis()
{
    DocumentAnalysis *analysis = m_analysis.get();
    connect(analysis, &DocumentAnalysis::validationChanged, this, [this] {
        showValidation();
        updateToolbar();
    });
    connect(analysis, &DocumentAnalysis::tableChanged, this, [this, analysis] {
        if (analysis->table())
            m_toolbar->setDelimiter(m_delimiterChoice, analysis->tableDelimiter());
        else
            m_statusBar->setNote({});
        m_content->setTable(analysis->table());
    });
    connect(analysis, &DocumentAnalysis::blocksChanged, this, [this, analysis] { m_content->setBlocks(analysis->blocks()); });
    connect(analysis, &DocumentAnalysis::treeChanged, this, [this, analysis] { m_content->setTree(analysis->tree()); });
    connect(analysis, &DocumentAnalysis::countsChanged, this, [this, analysis] {
        m_statusBar->setCounts(analysis->counts(), Preferences::shared().showCounts());
    });
    connect(analysis, &DocumentAnalysis::jsonPathChanged, this, [this](const QString &path) {
        m_statusBar->setJSONPath(path);
        emit jsonPathChanged(path);
    });
    connect(analysis, &DocumentAnalysis::coloursReady, this,
            [this](const std::shared_ptr<const std::vector<std::uint8_t>> &classes) { m_editor.applyRecolouring(*classes); });
    connect(analysis, &DocumentAnalysis::jobFinished, this, &ContentView::jobFinished);
}

void ContentView::showValidation()
{
    updateStatusBar();
    const Formatting::ValidationList &errors = m_analysis->errors();
    std::optional<long long> line;
    if (const auto fault = m_analysis->validation().errorLine())
        line = *fault;
    // The first fault is marked as the error line; the others as further ones.
    std::vector<long long> more = errors.lines();
    if (!errors.errors.empty() && errors.errors.front().line && !more.empty())
        more.erase(more.begin());
    const bool ndjson = doc() && doc()->kind == DocKind::Ndjson;
    m_statusBar->setErrorCount(ndjson ? errors.errors.size() : 0, errors.stoppedEarly
                                                                      ? DocumentStatusBar::MoreErrors::Yes
                                                                      : DocumentStatusBar::MoreErrors::No);
    if (line != m_inputs.errorLine || more != m_inputs.moreErrorLines) {
        m_inputs.errorLine = line;
        m_inputs.moreErrorLines = std::move(more);
        pushEditorInputs();
    }
}

std::size_t ContentView::offeredModeCount() const
{
    return doc() ? offeredModes(doc()->kind).size() : 0;
}

void ContentView::showOfferedMode(std::size_t index)
{
    if (index < offeredModeCount())
        setMode(offeredModes(doc()->kind)[index]);
}

void ContentView::setMode(ViewMode mode)
{
    if (mode == m_mode)
        return;
    // Read before the tree is hidden: hiding it forgets its rows and selection.
    const auto treeSelection = m_mode == ViewMode::Tree ? treeSelectionSteps() : std::nullopt;
    m_mode = mode;
    m_toolbar->setMode(mode);
    m_content->arrange(doc() ? std::optional<DocKind>(doc()->kind) : std::nullopt, mode);
    pushEditorInputs();
    scheduleJob(Job::CSVParse);
    scheduleJob(Job::MarkdownParse);
    scheduleJob(Job::JSONTree);
    if (treeSelection)
        moveCaretToValue(*treeSelection);
    if (!isAlternateFullView(doc() ? std::optional<DocKind>(doc()->kind) : std::nullopt, mode))
        m_textView->setFocus();
}

// ---- Loading ----------------------------------------------------------------------------------

void ContentView::loadPath(const QString &path)
{
    auto &positions = WindowSession::shared().pendingCaretPositions;
    const auto pending = positions.constFind(path);
    if (pending != positions.constEnd()) {
        m_pendingPosition = *pending;
        positions.erase(pending);
    } else {
        m_pendingPosition.reset();
    }
    m_session->load(path);
}

void ContentView::connectSession()
{
    DocumentSession *session = m_session.get();
    connect(session, &DocumentSession::loadStarted, this, [this](const QString &fileName) {
        m_loadingIndicator->setLabel(loc(Base::Message{"Opening %@…", {fileName.toStdString()}}));
        m_loadingIndicator->showAfter(WindowTimings::shared().loadingIndicatorDelayMs, [this] { return isLoading(); });
        if (!doc())
            updateWindowTitle();
    });
    connect(session, &DocumentSession::loadFailed, this, [this](const QString &message, const QString &path) {
        m_loadingIndicator->dismiss();
        // A file that cannot be read is not tried again at the next start.
        if (Preferences::shared().lastOpenPath() == path)
            Preferences::shared().setLastOpenPath(QString());
        updateWindowTitle();
        showError(message);
    });
    connect(session, &DocumentSession::textArrived, this, &ContentView::showLoadedText);
    connect(session, &DocumentSession::documentLoaded, this, &ContentView::documentDidLoad);
    connect(session, &DocumentSession::saved, this, [this] {
        updateWindowTitle();
        emit documentSaved();
    });
    connect(session, &DocumentSession::saveFailed, this, &ContentView::showError);
    connect(session, &DocumentSession::saveRecovered, this, [this] {
        // The alert of the failure this save recovers from is over.
        QMessageBox *alert = m_questions->errorAlert();
        if (alert && alert->text().startsWith(loc("Auto-save failed: %@").section(QStringLiteral("%@"), 0, 0)))
            alert->close();
    });
    connect(session, &DocumentSession::externalChangeDetected, this, &ContentView::raiseExternalChangeDialog);
    connect(session, &DocumentSession::formatChanged, this, [this] {
        updateStatusBar();
        updateWindowTitle();
    });
    connect(session, &DocumentSession::indentationChanged, this, [this] {
        pushEditorInputs();
        updateStatusBar();
    });
    connect(session, &DocumentSession::followedTextArrived, this,
            [this](const std::shared_ptr<const std::u16string> &text) { appendFollowedText(*text); });
}

void ContentView::showLoadedText(std::shared_ptr<Base::U16Buffer> text, bool sameFile)
{
    m_loadingIndicator->dismiss();
    const auto &loaded = *m_session->doc();
    // The delimiter and the view the user picked belong to the file: a reload keeps them.
    if (!sameFile)
        m_delimiterChoice = Viewers::CSVDelimiterChoice::Auto;
    closeDocumentQuestions();
    m_inputs.text = std::move(text);
    ++m_inputs.textGeneration;
    m_inputs.goToLine.reset();
    m_inputs.goToColumn.reset();
    m_inputs.errorLine.reset();
    if (!sameFile)
        m_mode = initialMode(loaded.kind);
    pushEditorInputs();
    m_inputs.text.reset();
}

void ContentView::documentDidLoad(bool, const QString &note)
{
    const Documents::LoadedDoc &loaded = *m_session->doc();
    // A new document starts without the previous one's results.
    m_analysis->clear();
    m_inputs.moreErrorLines.clear();
    m_statusBar->setErrorCount(0, DocumentStatusBar::MoreErrors::No);
    m_statusBar->setNote({});
    m_toolbar->setDelimiter(m_delimiterChoice, m_analysis->tableDelimiter());
    if (!loaded.isScratch) {
        RecentsStore::shared().add(displayPath(loaded.path));
        Preferences::shared().setLastOpenPath(displayPath(loaded.path));
    }
    updateLayoutForDocument();
    scheduleAllJobs();
    updateWindowTitle();
    if (!isAlternateFullView(loaded.kind, m_mode))
        m_textView->setFocus();
    m_toolbar->setFollowing(m_session->isFollowing());
    if (m_session->isFollowing())
        scrollToEnd();
    if (!note.isEmpty())
        showError(note);
    if (m_recovery.isAsking() && *m_recovery.path() != loaded.path) {
        m_recovery.end(); // Another document replaced the one the question was about.
        recoveryAnswered();
    }
    if (m_recovery.path() && !m_recovery.isAsking() && *m_recovery.path() == loaded.path)
        applyRecovery();
    if (const auto position = std::exchange(m_pendingPosition, std::nullopt))
        goToPosition(*position);
    emit documentLoaded();
}

// ---- Recovery after a crash -------------------------------------------------------------------

void ContentView::offerRecovery(JournalRecovery recovery)
{
    const std::string path = recovery.header.path;
    if (!m_recovery.offer(std::move(recovery)))
        return; // One question at a time; the other journal stays for the next start.
    if (doc() && doc()->path == path && !isLoading())
        applyRecovery();
    else if (isLoading() && m_session->pendingPath() == path)
        return; // Applied when it arrives.
    else if (!m_wasRestored && !m_options.initialURL.isEmpty() && nativePath(m_options.initialURL) == path)
        return; // The window is about to load it.
    else if (QFileInfo::exists(displayPath(path)))
        loadPath(displayPath(path));
    else {
        m_wasRestored = true;
        m_recovery.openWithoutFile();
    }
}

RecoveryBar *ContentView::recoveryBar() const
{
    return m_recovery.isAsking() ? m_recoveryBar : nullptr;
}

void ContentView::applyRecovery()
{
    const std::optional<QString> message = m_recovery.apply(currentText());
    if (!message)
        return;
    // Nothing is typed over text whose fate is undecided.
    m_textView->setEditable(false);
    m_recoveryBar->setMessage(*message);
    m_recoveryBar->show();
    m_recoveryBar->recoverButton()->setFocus();
    updateWindowTitle();
}

void ContentView::recoverJournal()
{
    if (m_recovery.recover())
        recoveryAnswered();
}

void ContentView::discardJournal()
{
    if (m_recovery.discard())
        recoveryAnswered();
}

void ContentView::recoveryAnswered()
{
    m_recoveryBar->hide();
    m_textView->setEditable(true);
    m_textView->setFocus();
    updateWindowTitle();
}

// ---- Saving -----------------------------------------------------------------------------------

bool ContentView::saveIfDirty(SaveReason reason)
{
    return m_session->saveIfDirty(reason);
}

void ContentView::openFile(const QString &path)
{
    if (saveIfDirty(SaveReason::BeforeLeaving)) {
        loadPath(path);
        return;
    }
    askAboutUnsavedEdits(LeaveReason::Opening, [this, path] { loadPath(path); });
}

void ContentView::askAboutUnsavedEdits(LeaveReason reason, std::function<void()> proceed,
                                       std::function<void()> cancelled)
{
    DocumentQuestions::UnsavedFacts facts;
    facts.fileName = doc() ? QFileInfo(displayPath(doc()->path)).fileName() : QStringLiteral("Untitled");
    facts.changedOnDisk = m_session->externalChangePending()
                          || (doc() && !m_session->lastSaveFailed() && m_session->fileChangedOnDisk());
    facts.failure = m_session->lastSaveError();
    const auto orCancel = [cancelled] {
        if (cancelled)
            cancelled();
    };
    using Answer = DocumentQuestions::UnsavedAnswer;
    m_questions->askAboutUnsavedEdits(reason, facts, [this, proceed, orCancel](Answer answer) {
        switch (answer) {
        case Answer::Overwrite:
            overwriteDisk();
            if (!isDirty() && !m_session->lastSaveFailed())
                proceed();
            else
                orCancel();
            break;
        case Answer::SaveAs:
            m_afterExport = proceed;
            showSaveAsPanel();
            if (!m_panels->panel()) {
                m_afterExport = nullptr;
                orCancel();
                break;
            }
            connect(m_panels->panel(), &QDialog::rejected, this, [this, orCancel] {
                m_afterExport = nullptr;
                orCancel();
            });
            break;
        case Answer::Discard:
            m_session->discardEdits();
            proceed();
            break;
        case Answer::Cancel:
            orCancel();
            break;
        }
    });
}

void ContentView::closeDocumentQuestions()
{
    m_questions->closeDocumentQuestions();
}

// ---- External changes -----------------------------------------------------------------------

void ContentView::checkExternalChange()
{
    m_session->checkExternalChange();
}

void ContentView::raiseExternalChangeDialog()
{
    using Answer = DocumentQuestions::ExternalChangeAnswer;
    m_questions->askAboutExternalChange([this](Answer answer) {
        if (answer == Answer::Reload)
            reloadFromDisk();
        else if (answer == Answer::Overwrite)
            overwriteDisk();
        else
            m_session->keepEditing();
    });
}

void ContentView::reloadFromDisk()
{
    m_session->reloadFromDisk();
}

void ContentView::overwriteDisk()
{
    m_session->overwriteDisk();
}

// ---- Panels -----------------------------------------------------------------------------------

void ContentView::connectPanels()
{
    connect(m_panels, &DocumentPanels::openChosen, this, &ContentView::handleImport);
    connect(m_panels, &DocumentPanels::writeFailed, this, &ContentView::showError);
    connect(m_panels, &DocumentPanels::written, this, [this](const QString &path, DocumentPanels::Purpose purpose) {
        if (purpose == DocumentPanels::Purpose::NewFile)
            loadPath(path);
        else
            handleExported(path);
        if (auto then = std::exchange(m_afterExport, nullptr)) {
            // The edits went elsewhere: nothing writes them to the old file any more.
            m_session->discardEdits();
            then();
        }
    });
}

void ContentView::showOpenPanel()
{
    m_panels->showOpen(doc(), Preferences::shared().lastOpenPath());
}

void ContentView::showSaveAsPanel()
{
    if (!m_panels->panel())
        m_panels->showSaveAs(doc(), Documents::TextDoc{m_editor.text()});
}

void ContentView::showNewFilePanel()
{
    m_panels->showNewFile();
}

void ContentView::showSettings()
{
    if (const auto &show = WindowSession::shared().hooks.showSettings)
        show(this);
    else
        showFileAssociationsSheet(this, SheetKind::Settings);
}

void ContentView::handleImport(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    openFile(paths.first());
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
    if (doc() && doc()->isScratch && nativePath(path) != doc()->path) {
        const QString scratch = displayPath(doc()->path);
        if (const auto &hook = WindowSession::shared().hooks.scratchExported)
            hook(this, scratch);
        else
            QFile::remove(scratch);
    }
    loadPath(path);
}

void ContentView::openRecent(const RecentEntry &entry)
{
    if (const auto path = entry.url()) {
        openFile(*path);
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
    handleImport(paths);
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
    // A file handed over that cannot be opened is reported by loadPath, like any other.
    if (!m_options.initialURL.isEmpty() && !doc()) {
        loadPath(m_options.initialURL);
        return;
    }
    if (!session.pendingExternalURLs.isEmpty() && !doc()) {
        loadPath(session.pendingExternalURLs.takeFirst());
        return;
    }
    if (!m_options.initialScratchURL.isEmpty() && !doc()) {
        if (QFileInfo(m_options.initialScratchURL).isFile())
            loadPath(m_options.initialScratchURL);
        return;
    }
    if (!session.hasFinishedLaunching) {
        Base::Timer::singleShot(WindowTimings::shared().restoreRetryMs, this, [this] { restoreLastSession(); });
        return;
    }
    Preferences &preferences = Preferences::shared();
    if (preferences.sessionEnded() || m_options.skipSessionRestore || doc() || isLoading()
        || preferences.lastOpenPath().isEmpty())
        return;
    const QString last = preferences.lastOpenPath();
    if (const auto checked = Documents::checkBeforeLoad(nativePath(last));
        std::holds_alternative<Base::Message>(checked)) {
        // Said once: the next start does not try the same file again.
        preferences.setLastOpenPath(QString());
        showError(loc(std::get<Base::Message>(checked)));
        return;
    }
    loadPath(last);
}

void ContentView::updateWindowTitle()
{
    QWidget *host = window();
    if (!host)
        return;
    // A window whose first file is still loading already stands for that file.
    std::optional<std::string_view> path;
    const std::optional<std::string> pending = m_session->pendingPath();
    if (pending)
        path = *pending;
    std::string promised; // The file the window was opened for, until it is loaded.
    if (!path && !m_wasRestored) {
        promised = nativePath(m_options.initialURL.isEmpty() ? m_options.initialScratchURL : m_options.initialURL);
        if (!promised.empty())
            path = promised;
    }
    host->setWindowTitle(QString::fromStdString(App::windowTitle(path)) + QStringLiteral("[*]"));
    host->setWindowModified(isDirty());
    host->setWindowFilePath(path ? displayPath(*path) : QString());
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
    m_session->saveIfDirty(SaveReason::AutoSave);
}

void ContentView::applicationWillTerminate()
{
    saveIfDirty(SaveReason::Quit);
}

bool ContentView::isKeyWindow() const
{
    const QWidget *host = window();
    if (!host->isVisible())
        return true;
    return QApplication::activeWindow() == host;
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
    connect(m_toolbar, &DocumentToolbar::recentChosen, this, &ContentView::openRecent);
    connect(m_toolbar, &DocumentToolbar::revealRequested, this, &ContentView::revealInFileManager);
    connect(m_toolbar, &DocumentToolbar::copyPathRequested, this, &ContentView::copyPath);
    connect(m_toolbar, &DocumentToolbar::modeChosen, this, &ContentView::setMode);
    // A find over a view that cannot search goes to the text.
    connect(m_content, &ContentArea::textFindRequested, this, [this] { setMode(ViewMode::Text); });
    connect(m_toolbar, &DocumentToolbar::undoRequested, this, [this] { m_textView->undo(); });
    connect(m_toolbar, &DocumentToolbar::redoRequested, this, [this] { m_textView->redo(); });
    connect(m_toolbar, &DocumentToolbar::formatRequested, this, &ContentView::formatDocument);
    connect(m_toolbar, &DocumentToolbar::findRequested, this, [] {
        using TextView::FindAction;
        NotificationCenter::defaultCenter().post(Notifications::findAction, findActionCode(FindAction::ShowFindInterface));
    });
    connect(m_toolbar, &DocumentToolbar::smallerFontRequested, this,
            [] { Preferences::shared().setFontSize(smallerFontSize(Preferences::shared().fontSize())); });
    connect(m_toolbar, &DocumentToolbar::largerFontRequested, this,
            [] { Preferences::shared().setFontSize(largerFontSize(Preferences::shared().fontSize())); });
    connect(m_toolbar, &DocumentToolbar::lineNumbersToggled, this,
            [](bool shown) { Preferences::shared().setShowLineNumbers(shown); });
    connect(m_toolbar, &DocumentToolbar::themeRequested, this, &ContentView::showThemePopover);
    connect(m_toolbar, &DocumentToolbar::settingsRequested, this, &ContentView::showSettings);
    connect(m_statusBar, &DocumentStatusBar::encodingClicked, this, &ContentView::showEncodingMenu);
    connect(m_statusBar, &DocumentStatusBar::lineEndingClicked, this, &ContentView::showLineEndingMenu);
    connect(m_statusBar, &DocumentStatusBar::indentationClicked, this, &ContentView::showIndentationMenu);
    connect(m_statusBar, &DocumentStatusBar::errorsClicked, this, &ContentView::showErrorList);
    connect(m_toolbar, &DocumentToolbar::delimiterChosen, this, &ContentView::setDelimiterChoice);
    connect(m_toolbar, &DocumentToolbar::followToggled, this, &ContentView::setFollowing);
    connect(m_content->tableView(), &Viewers::CSVTableView::raggedRowCountChanged, this, [this](qsizetype count) {
        m_statusBar->setNote(Viewers::CSVTableView::raggedRowsNote(std::size_t(count)));
    });
    connect(m_statusBar, &DocumentStatusBar::errorLineClicked, this, &ContentView::goToLine);
}

void ContentView::goToPosition(Editor::CaretPosition position)
{
    if (!doc() || isLoading()) {
        m_pendingPosition = position;
        return;
    }
    if (isAlternateFullView(doc()->kind, m_mode))
        setMode(ViewMode::Text);
    m_inputs.goToLine = position.line;
    m_inputs.goToColumn = position.column;
    pushEditorInputs();
}

void ContentView::goToLine(long long line)
{
    m_inputs.goToLine = line;
    m_inputs.goToColumn.reset();
    pushEditorInputs();
}

void ContentView::formatDocument()
{
    if (!doc())
        return;
    const std::u16string_view current = currentText();
    const Base::U16Buffer pretty = doc()->kind == DocKind::Ndjson
                                       ? Formatting::JSONFormatter::prettyPrintNDJSON(current)
                                       : Formatting::JSONFormatter::prettyPrint(current);
    if (pretty.view() != current) {
        m_editor.replaceAllText(pretty.view());
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
    if (!doc())
        return;
    const auto &storage = m_textView->textContentManager();
    const qint64 lines = storage.length() == 0 ? 0 : qint64(storage.lineCount());
    auto *sheet = new Editor::GoToLineSheet(lines, this);
    sheet->setObjectName("goToLineSheet");
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    Chrome::applyPalette(sheet, *m_inputs.theme);
    connect(sheet, &Editor::GoToLineSheet::submitted, this, [this](qint64 line) { goToLine(line); });
    sheet->open();
}

void ContentView::revealInFileManager()
{
    if (!doc())
        return;
    const QString path = displayPath(doc()->path);
    if (!showInFileManager(path))
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}

void ContentView::copyPath()
{
    if (doc())
        QGuiApplication::clipboard()->setText(displayPath(doc()->path));
}

void ContentView::showThemePopover(QWidget *anchor)
{
    if (m_themePopover) {
        m_themePopover->close();
        return;
    }
    QFrame *popover = StatusMenus::popup(this, "themePopover", 10, *m_inputs.theme);
    QLayout *layout = popover->layout();
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

// ---- Encodings and line endings -----------------------------------------------------------

QMenu *ContentView::showEncodingMenu()
{
    if (!doc())
        return nullptr;
    QMenu *menu = StatusMenus::encodingMenu(
        this, *doc(), [this](Documents::Encoding encoding) { reopenWithEncoding(encoding); },
        [this](Documents::Encoding encoding, bool withBOM) { saveWithEncoding(encoding, withBOM); });
    return m_statusBar->popUpMenu(menu, m_statusBar->encodingItem());
}

QMenu *ContentView::showLineEndingMenu()
{
    if (!doc())
        return nullptr;
    QMenu *menu = StatusMenus::lineEndingMenu(this, doc()->lineEnding,
                                              [this](Documents::LineEnding ending) { setLineEnding(ending); });
    return m_statusBar->popUpMenu(menu, m_statusBar->lineEndingItem());
}

void ContentView::reopenWithEncoding(Documents::Encoding encoding)
{
    if (!doc())
        return;
    const auto reopen = [this, encoding] { m_session->reloadDiscardingEdits(encoding); };
    if (!isDirty())
        reopen();
    else
        m_questions->confirmReopen(fromView(Documents::displayName(encoding)), reopen);
}

bool ContentView::saveWithEncoding(Documents::Encoding encoding, bool withBOM)
{
    if (!doc())
        return false;
    if (const auto refused = m_session->setSaveEncoding(encoding, withBOM)) {
        showError(loc(*refused));
        return false;
    }
    // An XML declaration is checked against the bytes it will be written in.
    if (doc()->kind == DocKind::Xml)
        scheduleJob(Job::Validation);
    return true;
}

void ContentView::setLineEnding(Documents::LineEnding lineEnding)
{
    m_session->setLineEnding(lineEnding);
}

// ---- Indentation -----------------------------------------------------------------------------

void ContentView::setIndentation(TextView::IndentStyle style)
{
    m_session->setIndentation(style);
}

void ContentView::convertIndentation()
{
    if (!doc())
        return;
    m_editor.convertIndentation(m_session->indentation());
}

QMenu *ContentView::showIndentationMenu()
{
    if (!doc())
        return nullptr;
    QMenu *menu = StatusMenus::indentationMenu(
        this, m_session->indentation(), doc()->kind != DocKind::Yaml,
        [this](TextView::IndentStyle style) { setIndentation(style); }, [this] { convertIndentation(); });
    return m_statusBar->popUpMenu(menu, m_statusBar->indentationItem());
}

// ---- Following a log -------------------------------------------------------------------------

void ContentView::setFollowing(bool following)
{
    m_session->setFollowing(following);
    m_toolbar->setFollowing(m_session->isFollowing());
    if (m_session->isFollowing())
        scrollToEnd();
}

void ContentView::scrollToEnd()
{
    const std::size_t end = m_textView->textContentManager().length();
    m_textView->setTextSelection({end, 0});
    m_textView->scrollRangeToVisible({end, 0});
}

void ContentView::appendFollowedText(std::u16string_view appended)
{
    TextView::TextStorage &storage = m_textView->textContentManager();
    QScrollBar *bar = m_textView->verticalScrollBar();
    const std::size_t end = storage.length();
    const TextView::TextRange selection = m_textView->textSelection();
    const bool caretAtEnd = selection.location == end && selection.length == 0;
    const bool scrolledToEnd = bar->value() >= bar->maximum();
    m_editor.appendExternalText(appended);
    m_session->followedTextShown();
    if (caretAtEnd)
        scrollToEnd();
    else if (scrolledToEnd)
        bar->setValue(bar->maximum());
    scheduleAllJobs();
}

// ---- Structure: JSON paths, errors, delimiters ----------------------------------------------

void ContentView::copyJSONPath()
{
    if (!doc() || (doc()->kind != DocKind::Json && doc()->kind != DocKind::Ndjson))
        return;
    // Computed now for the caret as it is: the status bar's text may be a moment old.
    const auto snapshot = m_textView->textContentManager().snapshot();
    const std::size_t offset = m_textView->caretPosition();
    const auto path = doc()->kind == DocKind::Ndjson ? Formatting::ndjsonPathAt(*snapshot, offset)
                                                     : Formatting::jsonPathAt(*snapshot, offset);
    if (!path)
        return;
    QGuiApplication::clipboard()->setText(QString::fromStdString(*path));
    showFormatToast(loc("Copied JSON Path"));
}

void ContentView::goToError(int direction)
{
    const auto target = m_analysis->errors().lineFrom(m_caretLine, direction >= 0);
    if (!target)
        return;
    if (isAlternateFullView(doc()->kind, m_mode))
        setMode(ViewMode::Text);
    goToLine(*target);
}

QWidget *ContentView::showErrorList()
{
    if (!doc() || m_analysis->errors().errors.empty())
        return nullptr;
    QFrame *list = StatusMenus::errorList(this, m_analysis->errors(), width() - 40, *m_inputs.theme,
                                          [this](long long line) { goToLine(line); });
    m_statusBar->popUpList(list, m_statusBar->errorsItem());
    if (QWidget *items = list->findChild<QWidget *>("errorListItems"))
        items->setFocus();
    return list;
}

void ContentView::setDelimiterChoice(Viewers::CSVDelimiterChoice choice)
{
    m_delimiterChoice = choice;
    m_toolbar->setDelimiter(choice, m_analysis->tableDelimiter());
    scheduleJob(Job::CSVParse);
}

std::optional<std::vector<Formatting::JSONPathStep>> ContentView::treeSelectionSteps() const
{
    const Viewers::JSONTreeView *tree = m_content->treeView();
    if (!doc() || !tree || !tree->selectedRow() || *tree->selectedRow() >= tree->rows().size())
        return std::nullopt;
    return Viewers::pathSteps(tree->rows()[*tree->selectedRow()].node);
}

void ContentView::moveCaretToValue(const std::vector<Formatting::JSONPathStep> &steps)
{
    const auto offset = Formatting::jsonValueOffset(currentText(), steps);
    if (!offset)
        return;
    m_textView->setTextSelection({*offset, 0});
    m_textView->scrollRangeToVisible({*offset, 0});
}

// ---- Errors -----------------------------------------------------------------------------------

void ContentView::showError(const QString &message)
{
    m_questions->showError(message);
}

} // namespace App
