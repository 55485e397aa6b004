#include "appdelegate.h"

#include "commands.h"

#include "app/services/desktopappearance.h"
#include "app/services/preferences.h"
#include "app/services/recentsstore.h"
#include "app/services/updatechecker.h"
#include "app/window/chrome.h"
#include "app/window/documentwindow.h"
#include "app/window/fileassociationssheet.h"
#include "app/window/scratchcloseguard.h"
#include "app/window/windowsession.h"

#include "base/localization.h"
#include "base/nativepath.h"
#include "base/timer.h"
#include "base/notificationcenter.h"
#include "documents/document.h"
#include "documents/journalwriter.h"
#include "documents/scratchfile.h"
#include "viewers/viewertext.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "0.1"
#endif

namespace App {

namespace {

AppDelegate *instance = nullptr;

constexpr QPoint cascadeOffset(24, 24);
// Windows made per turn of the event loop while queued files open.
constexpr int windowsPerTurn = 4;
constexpr QSize fileWindowSize(1000, 700);
const QRect fallbackScreen(0, 0, 1280, 800);

// The comparable form of a path: absolute, clean, symbolic links resolved where the file exists.
QString normalised(const QString &path)
{
    const QFileInfo info(path);
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
}

QString representedPath(const DocumentWindow *window)
{
    return window->windowFilePath();
}

} // namespace

namespace {

// Only a session bus that is already running: connecting without one would make libdbus start a
// bus of its own for the X display.
bool hasSessionBus()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(QDir(runtime).filePath(QStringLiteral("bus"))).exists();
}

QString desktopDefaultThemeId(const QPalette &palette)
{
    using namespace DesktopAppearance;
    const std::optional<ColorScheme> scheme =
        hasSessionBus() ? portalColorScheme(QDBusConnection::sessionBus()) : std::nullopt;
    return defaultThemeId(scheme, palette.color(QPalette::Window).lightness() < 128);
}

} // namespace

AppDelegate::AppDelegate(QObject *parent) : QObject(parent)
{
    instance = this;
    Viewers::setTextLookup([](const QString &key) { return loc(key.toUtf8().constData()); });
    auto &hooks = WindowSession::shared().hooks;
    hooks.openNewWindow = [this] { openNewWindow(); };
    hooks.openWindowForURL = [this](const QString &path) { openWindowForURL(path); };
    hooks.scratchExported = scratchDocumentExported;
    hooks.showSettings = [](ContentView *view) { showFileAssociationsSheet(view, SheetKind::Settings); };
    hooks.checkForUpdatesIfDue = [] { UpdateChecker::shared().checkIfDue(); };
    // One relay for the process: a file handed over by any route reaches the key window once.
    m_relayToken = NotificationCenter::defaultCenter().addObserver(
        Notifications::openExternalFile, this, [](const QVariant &object) {
            const QString path = object.toString();
            if (!path.isEmpty())
                NotificationCenter::defaultCenter().post(Notifications::loadFile, path);
        });
    // Alerts, panels and sheets wear the theme of the windows they belong to.
    m_basePalette = QApplication::palette();
    if (!Preferences::shared().hasStoredThemeId())
        Preferences::shared().setDefaultThemeId(desktopDefaultThemeId(m_basePalette));
    applyThemePalette();
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString &key) {
        if (key == Preferences::themeIdKey)
            applyThemePalette();
    });
    // Quitting closes every window, which would mark the session as ended by the user; a quit
    // (Ctrl+Q, SIGTERM) is not that, so the next launch reopens the last file.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_quitting)
            Preferences::shared().setSessionEnded(false);
    });
}

AppDelegate::~AppDelegate()
{
    delete m_openManyFilesQuestion;
    NotificationCenter::defaultCenter().removeObserver(m_relayToken);
    auto &hooks = WindowSession::shared().hooks;
    hooks.openNewWindow = nullptr;
    hooks.openWindowForURL = nullptr;
    hooks.scratchExported = nullptr;
    hooks.showSettings = nullptr;
    hooks.checkForUpdatesIfDue = nullptr;
    if (instance == this)
        instance = nullptr;
}

void AppDelegate::applyThemePalette()
{
    const auto &theme = Highlighting::Theme::resolve(Preferences::shared().themeId().toStdString());
    QApplication::setPalette(Chrome::themedPalette(m_basePalette, theme));
    qApp->setStyleSheet(Chrome::scrollBarStyleSheet(theme));
}

AppDelegate *AppDelegate::shared()
{
    return instance;
}

QList<DocumentWindow *> AppDelegate::windows() const
{
    QList<DocumentWindow *> result;
    for (ContentView *view : WindowSession::shared().views())
        if (auto *window = qobject_cast<DocumentWindow *>(view->window()); window && !result.contains(window))
            result << window;
    return result;
}

DocumentWindow *AppDelegate::makeWindow(ContentView::Options options)
{
    auto *window = new DocumentWindow(std::move(options));
    installMenus(window, {[this] { showAbout(); }, [this] { openNewWindow(); }, [this] { quit(); }});
    return window;
}

void AppDelegate::present(DocumentWindow *window)
{
    window->show();
    window->raise();
    window->activateWindow();
    emit windowOpened(window);
}

DocumentWindow *AppDelegate::createSceneWindow()
{
    DocumentWindow *window = makeWindow({});
    window->setAttribute(Qt::WA_DeleteOnClose);
    present(window);
    return window;
}

void AppDelegate::applicationDidFinishLaunching()
{
    Preferences::shared().setSessionEnded(false);
    WindowSession::shared().hasFinishedLaunching = true;
    const qsizetype handedOver = WindowSession::shared().pendingExternalURLs.size();
    Base::Timer::singleShot(timings.startupDelayMs, this, [this, handedOver] {
        const QStringList queued = std::exchange(WindowSession::shared().pendingExternalURLs, {});
        // The first window has taken the first file meanwhile: it counts among the windows.
        const int taken = int(std::clamp<qsizetype>(handedOver - queued.size(), 0, handedOver));
        openHandedOver(queued, taken);
        recoverJournals();
        reportRecoveredEdits();
        pollForWindowAndActivate(0);
    });
}

void AppDelegate::open(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (WindowSession::shared().hasFinishedLaunching) {
        openHandedOver(paths, 0);
        return;
    }
    WindowSession::shared().pendingExternalURLs << paths;
}

void AppDelegate::open(const SingleInstance::Request &request)
{
    auto &positions = WindowSession::shared().pendingCaretPositions;
    for (qsizetype i = 0; i < request.paths.size(); ++i) {
        const auto position = request.positionAt(i);
        // A later hand-over of the file without a position drops an earlier one not yet taken.
        if (position.isSet())
            positions.insert(request.paths[i], Editor::CaretPosition{position.line, position.column});
        else
            positions.remove(request.paths[i]);
    }
    open(request.paths);
}

void AppDelegate::openHandedOver(const QStringList &paths, int alreadyShown)
{
    if (paths.isEmpty())
        return;
    QHash<QString, DocumentWindow *> shown;
    for (DocumentWindow *window : windows())
        if (window->isVisible() && !representedPath(window).isEmpty())
            shown.insert(normalised(representedPath(window)), window);
    // Each file once: a hand-over may name one file many times, or one already asked about.
    QSet<QString> seen = m_openManyFilesQuestion ? m_askedKeys : QSet<QString>();
    QStringList fresh;
    QSet<QString> freshKeys;
    for (const QString &path : paths) {
        const QString key = normalised(path);
        if (seen.contains(key))
            continue;
        seen.insert(key);
        if (DocumentWindow *window = shown.value(key)) {
            auto &positions = WindowSession::shared().pendingCaretPositions;
            if (const auto found = positions.constFind(path); found != positions.constEnd()) {
                window->contentView()->goToPosition(*found);
                positions.erase(found);
            }
            window->raise();
            window->activateWindow();
            continue;
        }
        fresh << path;
        freshKeys.insert(key);
    }
    if (m_openManyFilesQuestion) {
        m_askedPaths << fresh;
        m_askedKeys.unite(freshKeys);
        updateOpenManyFilesQuestion();
        return;
    }
    if (fresh.size() + alreadyShown <= maximumWindowsWithoutAsking) {
        for (const QString &path : std::as_const(fresh))
            openWindowForURL(path);
        return;
    }
    m_askedKeys = freshKeys;
    askBeforeOpening(fresh, alreadyShown);
}

void AppDelegate::askBeforeOpening(const QStringList &paths, int alreadyShown)
{
    m_askedPaths = paths;
    m_askedAlreadyShown = alreadyShown;
    QWidget *parent = nullptr;
    for (DocumentWindow *window : windows()) {
        if (!window->isVisible())
            continue;
        parent = window;
        if (window->isActiveWindow())
            break;
    }
    auto *question = new QMessageBox(QMessageBox::Question, loc("Open Files"), QString(), QMessageBox::NoButton, parent);
    question->setObjectName(QStringLiteral("openManyFilesQuestion"));
    question->setTextFormat(Qt::PlainText);
    question->setInformativeText(loc("Each file opens in a window of its own."));
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *openAll = question->addButton(loc("Open All"), QMessageBox::AcceptRole);
    openAll->setObjectName(QStringLiteral("openAll"));
    QPushButton *openFirst = question->addButton(
        loc(Base::Message{"Open First %lld", {std::int64_t(maximumWindowsWithoutAsking)}}), QMessageBox::AcceptRole);
    openFirst->setObjectName(QStringLiteral("openFirst"));
    QPushButton *cancel = question->addButton(loc("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    // Return opens the first twenty: a bounded number of windows, as a default must be when the
    // list may come from anywhere, and still what was asked for rather than nothing. Opening
    // every file takes a deliberate click; Escape opens none.
    question->setDefaultButton(openFirst);
    question->setEscapeButton(cancel);
    connect(question, &QMessageBox::buttonClicked, this, [this, openAll, openFirst](QAbstractButton *button) {
        QStringList chosen;
        if (button == openAll)
            chosen = m_askedPaths;
        else if (button == openFirst)
            chosen = m_askedPaths.mid(0, std::max(0, maximumWindowsWithoutAsking - m_askedAlreadyShown));
        // Files left unopened leave no position behind for a later, plain opening.
        for (const QString &path : std::as_const(m_askedPaths).mid(chosen.size()))
            WindowSession::shared().pendingCaretPositions.remove(path);
        m_askedPaths.clear();
        m_askedKeys.clear();
        if (chosen.isEmpty())
            return;
        m_openingQueue << chosen;
        QTimer::singleShot(0, this, &AppDelegate::openQueuedFiles);
    });
    connect(question, &QDialog::finished, this, [this] {
        m_askedPaths.clear();
        m_askedKeys.clear();
    });
    m_openManyFilesQuestion = question;
    updateOpenManyFilesQuestion();
    question->open();
}

void AppDelegate::updateOpenManyFilesQuestion()
{
    if (!m_openManyFilesQuestion)
        return;
    const std::int64_t count = std::int64_t(m_askedPaths.size()) + m_askedAlreadyShown;
    m_openManyFilesQuestion->setText(loc(Base::Message{"Open %lld files?", {count}}));
}

void AppDelegate::openQueuedFiles()
{
    if (m_quitting) {
        m_openingQueue.clear();
        return;
    }
    for (int i = 0; i < windowsPerTurn && !m_openingQueue.isEmpty(); ++i)
        openOrFocus(m_openingQueue.takeFirst());
    if (!m_openingQueue.isEmpty())
        QTimer::singleShot(0, this, &AppDelegate::openQueuedFiles);
}

void AppDelegate::openOrFocus(const QString &path)
{
    const QString target = normalised(path);
    for (DocumentWindow *window : windows()) {
        if (!window->isVisible() || representedPath(window).isEmpty())
            continue;
        if (normalised(representedPath(window)) == target) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
    openWindowForURL(path);
}

void AppDelegate::pollForWindowAndActivate(int attempt)
{
    if (m_activationDone || attempt >= timings.pollAttempts)
        return;
    // Already in front and in use (a dialog the user opened, a window the desktop focused):
    // bringing the first window forward now would take the keys away from it.
    if (QApplication::activeWindow()) {
        m_activationDone = true;
        return;
    }
    for (DocumentWindow *window : windows()) {
        if (window->isVisible() && window->isEnabled()) {
            m_activationDone = true;
            window->raise();
            window->activateWindow();
            return;
        }
    }
    Base::Timer::singleShot(timings.pollIntervalMs, this, [this, attempt] { pollForWindowAndActivate(attempt + 1); });
}

DocumentWindow *AppDelegate::openNewWindow()
{
    const QString folder = scratchFolder();
    std::optional<std::string> scratch;
    if (!folder.isEmpty())
        scratch = Documents::ScratchFile::create(folder.toStdString());
    const QList<DocumentWindow *> existing = windows();
    // Hidden windows count as the reference here: a new window goes where the user expects it.
    if (existing.isEmpty()) {
        if (scratch)
            QFile::remove(QString::fromStdString(*scratch)); // The scene window starts without it.
        return createSceneWindow();
    }
    DocumentWindow *reference = existing.first();
    const QString scratchPath = scratch ? QString::fromStdString(*scratch) : QString();
    ContentView::Options options;
    options.skipSessionRestore = true;
    options.initialScratchURL = scratchPath;
    DocumentWindow *window = makeWindow(std::move(options));
    window->setWindowTitle((scratch ? QFileInfo(scratchPath).fileName() : QStringLiteral("Corvane"))
                           + QStringLiteral("[*]"));
    window->setMinimumSize(reference->minimumSize());
    window->setGeometry(QRect(reference->geometry().topLeft() + cascadeOffset, reference->geometry().size()));
    liveScratchWindows().insert(window, window);
    if (scratch)
        attachScratchDelegate(window, scratchPath);
    else
        window->setAttribute(Qt::WA_DeleteOnClose);
    present(window);
    return window;
}

DocumentWindow *AppDelegate::openWindowForURL(const QString &path)
{
    DocumentWindow *reference = nullptr;
    for (DocumentWindow *window : windows())
        if (window->isVisible()) {
            reference = window;
            break;
        }
    ContentView::Options options;
    options.skipSessionRestore = true;
    options.initialURL = path;
    DocumentWindow *window = makeWindow(std::move(options));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QFileInfo(path).fileName() + QStringLiteral("[*]"));
    window->setWindowFilePath(path);
    if (reference) {
        window->setMinimumSize(reference->minimumSize());
        window->setGeometry(QRect(reference->geometry().topLeft() + cascadeOffset, reference->geometry().size()));
    } else {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRect visible = screen ? screen->availableGeometry() : fallbackScreen;
        QRect frame(QPoint(), fileWindowSize);
        frame.moveCenter(visible.center());
        window->setGeometry(frame);
    }
    present(window);
    return window;
}

QMessageBox *AppDelegate::showAbout()
{
    QWidget *parent = QApplication::activeWindow();
    auto *about = new QMessageBox(QMessageBox::NoIcon, loc("About Corvane"), QStringLiteral("Corvane"),
                                  QMessageBox::Ok, parent);
    about->setObjectName(QStringLiteral("about"));
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->setTextFormat(Qt::PlainText);
    // Says who brings new versions: this build's own check, or the system's package manager.
    const QString updates = UpdateChecker::isEnabled()
        ? loc(Base::Message{"Updates: checked at %@", {UpdateChecker::productSite().domain.toStdString()}})
        : loc("Updates: through your package manager");
    about->setInformativeText(loc(Base::Message{"Version %@", {CORVANE_VERSION}}) + QLatin1Char('\n')
                              + loc("Fast macOS text editor") + QLatin1Char('\n') + updates);
    about->setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
    about->setWindowModality(Qt::NonModal);
    about->show();
    about->raise();
    about->activateWindow();
    return about;
}

void AppDelegate::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    QList<QPointer<ContentView>> unsaved;
    for (ContentView *view : WindowSession::shared().views())
        if (!view->saveIfDirty(SaveReason::Quit))
            unsaved << view;
    askBeforeQuitting(std::move(unsaved));
}

void AppDelegate::askBeforeQuitting(QList<QPointer<ContentView>> unsaved)
{
    while (!unsaved.isEmpty() && (!unsaved.first() || !unsaved.first()->isDirty() || unsaved.first()->editsDiscarded()))
        unsaved.removeFirst();
    if (unsaved.isEmpty()) {
        finishQuitting();
        return;
    }
    ContentView *view = unsaved.takeFirst();
    view->window()->raise();
    view->window()->activateWindow();
    view->askAboutUnsavedEdits(
        LeaveReason::Quitting, [this, unsaved] { askBeforeQuitting(unsaved); }, [this] { m_quitting = false; });
}

void AppDelegate::finishQuitting()
{
    RecentsStore::shared().flushNow();
    QApplication::quit();
}

void AppDelegate::quitWithoutQuestions()
{
    m_quitting = true;
    for (ContentView *view : WindowSession::shared().views())
        if (!view->saveIfDirty(SaveReason::Quit) && !view->editsDiscarded())
            keepRecoveryCopy(*view);
    RecentsStore::shared().flushNow();
    QApplication::quit();
    // Qt's quit closes windows first; ending every event loop as well means that no window and no
    // open dialog can hold the application.
    QCoreApplication::exit(0);
}

namespace {

const QString recoveredEditsKey = QStringLiteral("recoveredEdits");

} // namespace

void AppDelegate::keepRecoveryCopy(ContentView &view)
{
    const auto &doc = view.doc();
    if (!doc)
        return;
    const QString original = QString::fromStdString(doc->path);
    const QString folder = scratchFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return;
    const QString base = QStringLiteral("recovered-") + QFileInfo(original).completeBaseName();
    const QString suffix = QFileInfo(original).suffix().isEmpty() ? QStringLiteral("txt") : QFileInfo(original).suffix();
    QString copy = QDir(folder).filePath(base + QLatin1Char('.') + suffix);
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = QDir(folder).filePath(base + QStringLiteral("-%1.").arg(n) + suffix);
    // UTF-8 holds any text, whatever the document's own encoding could not.
    if (Documents::saveText(QFile::encodeName(copy).toStdString(), view.text(), Documents::Encoding::Utf8,
                            doc->lineEnding, false))
        return;
    QSettings &settings = Preferences::shared().settings();
    QStringList recorded = settings.value(recoveredEditsKey).toStringList();
    recorded << original << copy;
    settings.setValue(recoveredEditsKey, recorded);
    settings.sync();
}

QList<QPair<QString, QString>> AppDelegate::takeRecoveredEdits()
{
    QSettings &settings = Preferences::shared().settings();
    const QStringList recorded = settings.value(recoveredEditsKey).toStringList();
    settings.remove(recoveredEditsKey);
    QList<QPair<QString, QString>> pairs;
    for (qsizetype i = 0; i + 1 < recorded.size(); i += 2)
        pairs.append({recorded[i], recorded[i + 1]});
    return pairs;
}

void AppDelegate::reportRecoveredEdits()
{
    const auto recovered = takeRecoveredEdits();
    const QList<DocumentWindow *> open = windows();
    if (recovered.isEmpty() || open.isEmpty())
        return;
    QStringList lines;
    for (const auto &[original, copy] : recovered)
        lines << loc(Base::Message{"Changes to %@ could not be saved when Corvane was ended. They were kept in %@.",
                                   {original.toStdString(), copy.toStdString()}});
    open.first()->contentView()->showError(lines.join(QLatin1Char('\n')));
}

void AppDelegate::recoverJournals()
{
    const QString folder = DocumentJournal::folder();
    RecoverableJournals found = takeRecoverableJournals(folder);
    for (JournalRecovery &recovery : found.journals) {
        const QString path = Base::pathFromNative(recovery.header.path);
        const QString key = normalised(path);
        DocumentWindow *target = nullptr;
        for (DocumentWindow *window : windows())
            if (!representedPath(window).isEmpty() && normalised(representedPath(window)) == key) {
                target = window;
                break;
            }
        if (!target) {
            if (QFileInfo::exists(path)) {
                target = openWindowForURL(path);
            } else {
                // Nothing to load: the window gets the recovered text as a new file of that name.
                ContentView::Options options;
                options.skipSessionRestore = true;
                target = makeWindow(std::move(options));
                target->setAttribute(Qt::WA_DeleteOnClose);
                const QList<DocumentWindow *> existing = windows();
                if (!existing.isEmpty() && existing.first() != target)
                    target->setGeometry(QRect(existing.first()->geometry().topLeft() + cascadeOffset,
                                              existing.first()->geometry().size()));
                present(target);
            }
        }
        target->contentView()->offerRecovery(std::move(recovery));
    }
    const QList<DocumentWindow *> open = windows();
    if (!found.damaged.isEmpty() && !open.isEmpty()) {
        QStringList lines;
        for (const QString &journal : std::as_const(found.damaged))
            lines << loc(Base::Message{"A recovery journal could not be read: %@", {journal.toStdString()}});
        open.first()->contentView()->showError(lines.join(QLatin1Char('\n')));
    }
}

void AppDelegate::handle(const SingleInstance::Request &request)
{
    if (request.newWindow)
        openNewWindow();
    open(request);
    if (!request.newWindow && request.paths.isEmpty()) {
        // A plain second launch: the user wants to see the editor.
        const QList<DocumentWindow *> existing = windows();
        if (existing.isEmpty())
            createSceneWindow();
        else
            present(existing.first());
    }
}

} // namespace App
