#pragma once

#include "documentanalysis.h"
#include "documentpanels.h"
#include "documentquestions.h"
#include "documentsession.h"
#include "recoveryoffer.h"

#include "app/model/viewmode.h"

#include "editor/editortextview.h"

#include "formatting/jsonpath.h"
#include "formatting/validation.h"
#include "formatting/validationlist.h"

#include "viewers/csvdialect.h"

#include "documents/document.h"
#include "documents/textcodec.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QMenu;
class QStackedLayout;

namespace App {

class BusyIndicator;
class ContentArea;
class RecoveryBar;
class DocumentStatusBar;
class DocumentToolbar;
class Toast;
class WelcomeView;
class WindowCommands;
struct RecentEntry;

// How long the window waits for things. Tests shorten them; the defaults are the product's.
struct WindowTimings {
    int autoSaveMs = 5000;
    int toastMs = 1400;
    double jobDelayScale = 1.0;
    int restoreRetryMs = 400;
    // A load that takes longer shows the busy indicator.
    int loadingIndicatorDelayMs = 150;
    static WindowTimings &shared();
};


// The root of one document window: the loaded document and everything the window knows about
// it, the toolbar, the content area (editor and alternate views), the status bar and the toast.
// It loads files in the background, saves them 5 s after the last edit, on leaving the
// application, on closing and on quit, notices changes made on disk, and keeps its background
// jobs (validation, CSV, Markdown, JSON tree, counts) current as the user types.
class ContentView : public QWidget {
    Q_OBJECT

public:
    struct Options {
        bool skipSessionRestore = false;
        QString initialScratchURL;
        QString initialURL;
    };
    // The toolbar, a split view and the status bar need this much room.
    static constexpr QSize minimumContentSize{980, 500};

    explicit ContentView(Options options, QWidget *parent = nullptr);
    explicit ContentView(QWidget *parent = nullptr) : ContentView(Options{}, parent) {}
    ~ContentView() override;

    // ---- Files ----
    void loadPath(const QString &path);
    // Saves when the text changed since the last load or save (or the last save failed).
    // False when the edits are still not on disk (a change on disk stopped it, or it failed).
    bool saveIfDirty(SaveReason reason);
    // The document and its file, without widgets.
    DocumentSession &session() { return *m_session; }
    // Loads `path` in place of the document once the document's edits are on disk, or after the
    // user chose what becomes of them (askAboutUnsavedEdits); nothing is loaded on Cancel.
    void openFile(const QString &path);
    // Asks what to do with edits that could not be saved (a change on disk, a failed save):
    // write over the disk, save them elsewhere (not when opening), give them up, or Cancel (the
    // default). `proceed` runs once the edits are on disk or given up; `cancelled` otherwise.
    // Both run from the event loop, after the question has closed.
    void askAboutUnsavedEdits(LeaveReason reason, std::function<void()> proceed,
                              std::function<void()> cancelled = {});
    QMessageBox *unsavedEditsQuestion() const { return m_questions->unsavedEditsQuestion(); }
    // The user gave the edits up: nothing saves them any more (the window is closing, or another
    // file is being loaded over them).
    bool editsDiscarded() const { return m_session->editsDiscarded(); }
    void checkExternalChange();
    void reloadFromDisk();
    void overwriteDisk();
    void handleImport(const QStringList &paths);
    void handleImportError(const QString &description);
    void handleExported(const QString &path);
    void openRecent(const RecentEntry &entry);
    void showOpenPanel();
    void showSaveAsPanel();
    void showNewFilePanel();
    // The settings sheet (file associations and the counts option).
    void showSettings();
    void restoreLastSession();
    // Until the window, once shown, has taken its first file (or found none to take).
    bool isRestorePending() const { return !m_wasRestored; }

    // ---- Recovery after a crash ----
    // Offers the text of a journal a previous session left behind: once the document at its path
    // is shown here (loaded first when the window has another or none; for a file that is gone,
    // an empty document that saving creates), the recovered text is shown as unsaved edits with
    // the recovery bar. When the file changed on disk since the journal's edits were made, the
    // bar asks first and the text stays the file's until "Recover".
    void offerRecovery(JournalRecovery recovery);
    // The recovery bar while it asks; null otherwise.
    RecoveryBar *recoveryBar() const;
    // The bar's answers: keep the text as unsaved edits (the auto-save then saves it), or the
    // file as it is on disk, the journal deleted.
    void recoverJournal();
    void discardJournal();

    // ---- Encodings and line endings ----
    // Reads the file again, strictly in `encoding`; asks first when there are unsaved edits.
    void reopenWithEncoding(Documents::Encoding encoding);
    // The encoding and mark the next save writes; refused with a message (false) when the
    // text cannot be encoded in it.
    bool saveWithEncoding(Documents::Encoding encoding, bool withBOM);
    void setLineEnding(Documents::LineEnding lineEnding);
    // The status bar's menus and the error list, shown at their items; returned for tests.
    QMenu *showEncodingMenu();
    QMenu *showLineEndingMenu();
    QWidget *showErrorList();
    QMessageBox *reopenConfirmation() const { return m_questions->reopenConfirmation(); }

    // ---- Indentation ----
    // What Tab types and how wide tabs show, for this document only.
    void setIndentation(TextView::IndentStyle style);
    // Rewrites every line's indentation in the document's style, as one undo step.
    void convertIndentation();
    // The status bar's indentation menu, shown at its item; returned for tests.
    QMenu *showIndentationMenu();

    // ---- Following a log ----
    // Follow mode for LOG documents: text other programs append appears at the end.
    void setFollowing(bool following);
    bool isFollowing() const { return m_session->isFollowing(); }
    LogFollower &follower() { return m_session->follower(); }

    // ---- Structure ----
    // The JSONPath at the caret as the status bar shows it (empty for other kinds).
    QString jsonPath() const { return m_analysis->jsonPath(); }
    void copyJSONPath();
    // Every fault of the last check: each invalid NDJSON record, else the first fault.
    const Formatting::ValidationList &errors() const { return m_analysis->errors(); }
    // To the next (1) or previous (-1) error line from the caret's, wrapping around.
    void goToError(int direction);
    Viewers::CSVDelimiterChoice delimiterChoice() const { return m_delimiterChoice; }
    void setDelimiterChoice(Viewers::CSVDelimiterChoice choice);
    // The delimiter the table was last parsed with.
    char16_t tableDelimiter() const { return m_analysis->tableDelimiter(); }

    // ---- Application events, also called by tests ----
    void applicationDidBecomeActive();
    void applicationDidResignActive();
    void applicationWillTerminate();

    // ---- State ----
    const std::optional<Documents::LoadedDoc> &doc() const { return m_session->doc(); }
    // The edited text, materialised (O(n)): for tests and the save panels.
    std::u16string text() const;
    bool isDirty() const;
    ViewMode mode() const { return m_mode; }
    void setMode(ViewMode mode);
    // The views the document offers (Text, then Table, Preview or Tree, then Split), as the
    // toolbar's picker lists them; showing an index past them does nothing.
    std::size_t offeredModeCount() const;
    void showOfferedMode(std::size_t index);
    const Formatting::Validation &jsonValidation() const { return m_analysis->validation(); }
    bool isJSONFormatted() const { return m_analysis->isFormatted(); }
    bool lastSaveFailed() const { return m_session->lastSaveFailed(); }
    bool externalChangePending() const { return m_session->externalChangePending(); }
    QString errorMessage() const { return m_questions->errorMessage(); }
    QString countsText() const { return m_analysis->counts(); }
    long long caretLine() const { return m_caretLine; }
    long long caretColumn() const { return m_caretColumn; }
    std::optional<long long> errorLine() const { return m_inputs.errorLine; }
    // From loadPath until its result is applied (or refused).
    bool isLoading() const { return m_session->isLoading(); }
    const std::optional<Viewers::CSVTable> &parsedTable() const { return m_analysis->table(); }
    std::size_t parsedBlockCount() const { return m_analysis->blocks().size(); }
    const std::optional<Viewers::JSONTreeResult> &jsonTreeResult() const { return m_analysis->tree(); }
    double toolbarMinWidth() const { return m_toolbarMinWidth; }

    // ---- Actions ----
    void formatDocument();
    void showFormatToast(const QString &message);
    void showGoToLine();
    // Puts the caret at 1-based `line` (the last line for one past it) and `column` (as the
    // status bar counts it) and scrolls it into view, in the text; once loaded when a load runs.
    void goToPosition(Editor::CaretPosition position);
    void revealInFileManager();
    void copyPath();
    void showThemePopover(QWidget *anchor);
    void updateWindowTitle();
    // Puts `message` in the window's one error slot and shows it; a newer message replaces it.
    void showError(const QString &message);

    // ---- Parts, for the shell and tests ----
    Editor::Coordinator &editor() { return m_editor; }
    STTextView *textView() const { return m_textView; }
    // The open, save-as or new-file panel while one is shown.
    QFileDialog *panel() const { return m_panels->panel(); }
    DocumentToolbar *toolbar() const { return m_toolbar; }
    DocumentStatusBar *statusBar() const { return m_statusBar; }
    ContentArea *contentArea() const { return m_content; }
    Toast *toast() const { return m_toast; }
    BackgroundJobs &jobs() { return m_analysis->jobs(); }
    DocumentAnalysis &analysis() { return *m_analysis; }
    QMessageBox *errorAlert() const { return m_questions->errorAlert(); }
    QMessageBox *externalChangeDialog() const { return m_questions->externalChangeDialog(); }
    QWidget *placeholder() const;
    BusyIndicator *loadingIndicator() const { return m_loadingIndicator; }
    // True when commands addressed to the key window concern this one.
    bool isKeyWindow() const;

signals:
    void documentLoaded();
    void documentSaved();
    void jobFinished(App::Job job);
    void errorShown(const QString &message);
    void jsonPathChanged(const QString &path);

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;

private:
    void buildLayout();
    void connectEditor();
    void connectToolbar();
    void connectSession();
    void observeApplication();
    void applyPreferences();
    void applyPreference(const QString &key);
    void applyThemeToMenuBar();
    void connectPanels();
    void pushEditorInputs();
    // The session's load arrived: the text goes into the document through the editor (a new
    // file starts at its top, a reload keeps the user's place), then the window follows.
    void showLoadedText(std::shared_ptr<Base::U16Buffer> text, bool sameFile);
    void documentDidLoad(bool sameFile, const QString &note);
    // The value selected in the tree, as steps from the root; the caret goes there on leaving it.
    std::optional<std::vector<Formatting::JSONPathStep>> treeSelectionSteps() const;
    // Puts the caret on the value, if the text still holds it.
    void moveCaretToValue(const std::vector<Formatting::JSONPathStep> &steps);
    // Puts the caret at the start of 1-based `line` in the text.
    void goToLine(long long line);
    void appendFollowedText(std::u16string_view text);
    void scrollToEnd();
    void onTextChanged();
    void scheduleAllJobs();
    void scheduleJob(Job job);
    void updateAnalysisContext();
    void connectAnalysis();
    // The status bar's validation, the error count and the editor's error marks.
    void showValidation();
    void updateStatusBar();
    void updateToolbar();
    void updateLayoutForDocument();
    void updateToolbarMinWidth();
    void raiseExternalChangeDialog();
    // The questions that belong to the document shown: they go when another one replaces it.
    void closeDocumentQuestions();
    std::u16string_view currentText();
    // The recovery offered is for the document now shown: the text and the bar go in.
    void applyRecovery();
    void recoveryAnswered();

    Options m_options;
    RecoveryBar *m_recoveryBar = nullptr;
    bool m_wasShown = false;
    bool m_wasRestored = false;

    // The document and its file. Made before the text view, which shows its document, and
    // destroyed after it.
    std::unique_ptr<DocumentSession> m_session = std::make_unique<DocumentSession>();
    // A journal's text offered to this window, until it is answered.
    RecoveryOffer m_recovery{*m_session};
    // Runs once the save panel has written the document (Save As… in the unsaved-edits question).
    std::function<void()> m_afterExport;
    ViewMode m_mode = ViewMode::Text;

    // What the background jobs found out about the text.
    std::unique_ptr<DocumentAnalysis> m_analysis;
    Viewers::CSVDelimiterChoice m_delimiterChoice = Viewers::CSVDelimiterChoice::Auto;

    // The editor.
    Editor::Coordinator m_editor;
    Editor::EditorTextView m_inputs;
    STTextView *m_textView = nullptr;
    long long m_caretLine = 1;
    // A position asked for while its file was loading, applied once it has loaded.
    std::optional<Editor::CaretPosition> m_pendingPosition;
    long long m_caretColumn = 1;

    // Widgets.
    QStackedLayout *m_rootPages = nullptr;
    QWidget *m_documentPage = nullptr;
    WelcomeView *m_placeholder = nullptr;
    DocumentToolbar *m_toolbar = nullptr;
    ContentArea *m_content = nullptr;
    DocumentStatusBar *m_statusBar = nullptr;
    Toast *m_toast = nullptr;
    BusyIndicator *m_loadingIndicator = nullptr;
    double m_toolbarMinWidth = 0;

    // Dialogs, alive while shown.
    DocumentQuestions *m_questions = nullptr;
    QPointer<QWidget> m_themePopover;
    DocumentPanels *m_panels = nullptr;

    std::unique_ptr<WindowCommands> m_commands;
};

} // namespace App
