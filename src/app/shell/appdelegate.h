#pragma once

#include "app/services/singleinstance.h"
#include "app/window/contentview.h"
#include "app/window/scratchcloseguard.h"

#include <QList>
#include <QObject>
#include <QPalette>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class QMessageBox;

namespace App {

class DocumentWindow;

// The application as a whole: start-up, files handed over by the command line or by a later
// launch, new windows (a scratch document or a given file), About, and quitting. One per
// process, main thread only; it fills the window hooks of WindowSession while it lives.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    struct Timings {
        int startupDelayMs = 300;  // before files queued at start-up get their windows
        int pollIntervalMs = 50;   // between attempts to bring the first window to the front
        int pollAttempts = 40;
    };

    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;
    // The living delegate, or null.
    static AppDelegate *shared();

    Timings timings;

    // The first window of a session (and the window "New" makes when none is left).
    DocumentWindow *createSceneWindow();
    // Start-up once the event loop runs: a new session, queued files get windows 0.3 s later,
    // then a window is brought to the front.
    void applicationDidFinishLaunching();
    // More windows than this for one hand-over (the command line at start-up, a later launch)
    // are opened only once the user says so.
    static constexpr int maximumWindowsWithoutAsking = 20;

    // Files handed over by the system: queued before launching finished, else opened or focused
    // (each file once, a file already shown brings its window to the front). When more than
    // maximumWindowsWithoutAsking would open, the question "Open N files?" comes first, without
    // holding the event loop; a hand-over while it is up joins it.
    void open(const QStringList &paths);
    // The same for the files of a command line or a later launch, each with the caret position
    // it was named with: where the window that loads the file (or already shows it) puts it.
    void open(const SingleInstance::Request &request);
    // Brings the window showing `path` (symbolic links resolved) to the front, or opens one.
    void openOrFocus(const QString &path);
    // A new window with a fresh scratch document, cascaded from the first window.
    DocumentWindow *openNewWindow();
    // A new window loading `path`, cascaded from the first visible window or centred 1000 × 700.
    DocumentWindow *openWindowForURL(const QString &path);
    // The About box (name, version, credits); it closes itself.
    QMessageBox *showAbout();
    // Saves every window (even over a pending external change), asks about each window whose
    // edits still could not be saved (Cancel, the default, keeps the application running), then
    // writes the recent files and quits. Windows close without further questions: a scratch
    // document stays in its file.
    void quit();
    // Quits at once, for a termination signal: saves every window as `quit` does, never waits
    // for an answer, and keeps edits that could not be saved in a recovery copy in the scratch
    // folder, which the next start reports.
    void quitWithoutQuestions();
    // Journals of sessions that ended without closing their documents (a crash, a kill): each
    // one no running editor holds is offered in the window showing its document, else in a new
    // window for it. A journal that cannot be read is reported and set aside.
    void recoverJournals();
    // Recovery copies a previous run left (original path, copy path), reported once at start.
    static QList<QPair<QString, QString>> takeRecoveredEdits();
    // What a later launch asked for.
    void handle(const SingleInstance::Request &request);

    // The question before a hand-over of more files than get windows without asking, while it
    // is up: "Open All", "Open First 20" (the default) or "Cancel".
    QMessageBox *openManyFilesQuestion() const { return m_openManyFilesQuestion; }

    bool activationDone() const { return m_activationDone; }
    bool isQuitting() const { return m_quitting; }
    // The document windows, oldest first.
    QList<DocumentWindow *> windows() const;

signals:
    // A window was made and shown (tests and the launch benchmark follow windows through it).
    void windowOpened(App::DocumentWindow *window);

private:
    DocumentWindow *makeWindow(ContentView::Options options);
    // Opens windows for `paths`, of which `alreadyShown` more files of the same hand-over are
    // already shown (the first window's at start-up), or asks first.
    void openHandedOver(const QStringList &paths, int alreadyShown);
    void askBeforeOpening(const QStringList &paths, int alreadyShown);
    void updateOpenManyFilesQuestion();
    // Opens the queued files a few per turn of the event loop, so that it stays responsive.
    void openQueuedFiles();
    void present(DocumentWindow *window);
    void pollForWindowAndActivate(int attempt);
    // Asks about the first window that still has unsaved edits, then the next one.
    void askBeforeQuitting(QList<QPointer<ContentView>> unsaved);
    void finishQuitting();
    void keepRecoveryCopy(ContentView &view);
    void reportRecoveredEdits();
    void applyThemePalette();

    bool m_activationDone = false;
    bool m_quitting = false;
    quint64 m_relayToken = 0;
    QPointer<QMessageBox> m_openManyFilesQuestion;
    // What the question is about: files to open (and their comparable forms), and how many of
    // the hand-over windows already show.
    QStringList m_askedPaths;
    QSet<QString> m_askedKeys;
    int m_askedAlreadyShown = 0;
    QStringList m_openingQueue;
    QPalette m_basePalette;
};

} // namespace App
