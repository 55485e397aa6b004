#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace App {

class ContentView;
class DocumentWindow;

// The folder of scratch documents: the per-user data folder, then Corvane/scratch.
QString scratchFolder();

// What the user answered when asked about a scratch document's text at close.
enum class ScratchCloseAnswer { Save, DontSave, Cancel };

// The close guard of a window whose document is a scratch file (an untitled document living in
// the private scratch folder). DocumentWindow::closeEvent consults it before anything else:
// - the window saves first (forceFlushScratch with the window), so the file holds its text;
// - an empty or unreadable scratch file is deleted and the window closes without a question;
// - otherwise the user keeps the text under a name of their choice (the file is moved there and
//   added to the recent files), throws it away (the file is deleted) or cancels the close.
// While the application quits, windows close without a question and the scratch file stays with
// the last saved text. A child of its window; main thread only.
class ScratchCloseGuard : public QObject {
    Q_OBJECT

public:
    // The two questions, replaceable so that tests can answer without a modal loop.
    struct Questions {
        std::function<ScratchCloseAnswer(DocumentWindow *window)> askToKeep;
        // The chosen destination, nothing when the user cancelled.
        std::function<std::optional<QString>(DocumentWindow *window, const QString &proposedName)> chooseDestination;
        // The modal alert and save panel.
        static Questions dialogs();
    };

    ScratchCloseGuard(DocumentWindow *window, QString scratchURL);

    QString scratchURL() const { return m_scratchURL; }
    void setQuestions(Questions questions) { m_questions = std::move(questions); }

    // True lets the window close. False keeps it open with its scratch file untouched.
    bool windowShouldClose();

private:
    bool keepAt(const QString &destination);

    QPointer<DocumentWindow> m_window;
    const QString m_scratchURL;
    Questions m_questions;
};

// True while Qt closes every window to quit: such a close is not the user's and asks nothing.
bool applicationIsQuitting();

// Process-wide registries keyed by window identity, main thread only.
// The guard of each scratch window; an entry goes when its window closes or is destroyed.
QHash<const QWidget *, QPointer<ScratchCloseGuard>> &scratchDelegates();
// The windows opened by openNewWindow, owned here while open: when one closes (or its guard is
// detached) its entry goes, and the window is deleted once it has closed.
QHash<const QWidget *, QPointer<DocumentWindow>> &liveScratchWindows();

// Gives `window` a close guard for `scratchURL`, replacing any guard it had.
void attachScratchDelegate(DocumentWindow *window, const QString &scratchURL);
// Takes the window's guard away and its entry out of liveScratchWindows (the window then deletes
// itself when closed). Nothing happens to any file.
void detachScratchDelegate(DocumentWindow *window);
// The window has closed: its entries leave both registries.
void scratchWindowWillClose(DocumentWindow *window);

// WindowSession's `scratchExported` hook: the scratch document of `view` was saved under another
// name, so its window loses the close guard and the scratch file at `scratchPath` is deleted.
void scratchDocumentExported(ContentView *view, const QString &scratchPath);

// Puts the file at `source` in the place of `destination`, which may exist, through the
// documents' atomic save (an existing destination keeps its owner, mode and attributes), then
// deletes `source` (a failed deletion is ignored). On failure `destination` and `source` are as
// they were, and the system's description of the error is returned.
std::optional<std::string> moveFileReplacing(const std::string &source, const std::string &destination);

} // namespace App
