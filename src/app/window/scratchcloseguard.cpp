#include "scratchcloseguard.h"

#include "contentview.h"
#include "documentwindow.h"

#include "app/services/recentsstore.h"

#include "documents/fileio.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace App {

namespace {

// ---- Quitting -------------------------------------------------------------------------------

// Qt closes every window while it handles the application's quit event; a scratch window closed
// that way is not a user's close, so it must neither ask nor delete. This filter wraps the whole
// handling of that event, which is exactly the time the flag is up.
class QuitWatcher : public QObject {
public:
    using QObject::QObject;
    bool quitting() const { return m_quitting; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() || m_quitting)
            return false;
        const QScopedValueRollback flag(m_quitting, true);
        QCoreApplication::sendEvent(watched, event);
        return true;
    }

private:
    bool m_quitting = false;
};

QuitWatcher *quitWatcher()
{
    static QPointer<QuitWatcher> watcher;
    if (!watcher && QCoreApplication::instance()) {
        watcher = new QuitWatcher(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watcher);
    }
    return watcher;
}


// ---- Files ----------------------------------------------------------------------------------

std::string nativePath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// False for an empty file and for anything that cannot be read as a regular file.
bool holdsText(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    char byte = 0;
    const bool text = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::read(fd, &byte, 1) == 1;
    ::close(fd);
    return text;
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// So that a rename survives a power cut; a failure changes nothing the user could act on.
void syncFolder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool writeAll(int fd, const char *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

// Copies `source` to a hidden temporary beside `destination` and renames it over `destination`.
std::optional<std::string> copyReplacing(const std::string &source, const std::string &destination)
{
    const auto failure = [](int error) { return std::optional<std::string>(Documents::systemErrorText(error)); };
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0)
        return failure(errno);
    struct stat info {};
    if (::fstat(in, &info) != 0) {
        const int error = errno;
        ::close(in);
        return failure(error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(in);
        return std::string(Documents::notRegularFileText);
    }

    const std::string folder = folderOf(destination);
    const std::string name = destination.substr(destination.rfind('/') + 1);
    // Room for the dot and the suffix within the 255 bytes a name may have.
    std::string temporary = folder + "/." + name.substr(0, 200) + ".XXXXXX";
    const int out = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return failure(error);
    }

    bool ok = ::fchmod(out, info.st_mode & 07777) == 0;
    std::vector<char> buffer(1 << 20);
    while (ok) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = writeAll(out, buffer.data(), std::size_t(got));
    }
    ok = ok && ::fsync(out) == 0;
    int error = ok ? 0 : errno;
    if (::close(out) != 0 && ok) {
        ok = false;
        error = errno;
    }
    ::close(in);
    if (ok && ::rename(temporary.c_str(), destination.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return failure(error);
    }
    syncFolder(folder);
    return std::nullopt;
}

} // namespace

// ---- Moving the scratch file ----------------------------------------------------------------

std::optional<std::string> moveFileReplacing(const std::string &source, const std::string &destination)
{
    // rename(2) replaces an existing destination in one step, so no moment is without it.
    if (::rename(source.c_str(), destination.c_str()) == 0) {
        syncFolder(folderOf(destination));
        return std::nullopt;
    }
    // Across file systems, or wherever a rename is refused, the bytes are copied instead.
    if (auto error = copyReplacing(source, destination))
        return error;
    ::unlink(source.c_str());
    return std::nullopt;
}

// ---- The guard ------------------------------------------------------------------------------

ScratchCloseGuard::ScratchCloseGuard(DocumentWindow *window, QString scratchURL)
    : QObject(window), m_window(window), m_scratchURL(std::move(scratchURL)), m_questions(Questions::dialogs())
{
    quitWatcher();
}

bool applicationIsQuitting()
{
    const QuitWatcher *watcher = quitWatcher();
    return watcher && watcher->quitting();
}

bool ScratchCloseGuard::windowShouldClose()
{
    if (!m_window || applicationIsQuitting())
        return true;
    NotificationCenter::defaultCenter().post(Notifications::forceFlushScratch,
                                             QVariant::fromValue<QObject *>(m_window.data()));
    if (const ContentView *view = m_window->contentView(); view->isDirty()) {
        // The file does not hold the window's text, so neither its emptiness nor a move would
        // mean what the user thinks. The window already asked about those edits (and the user
        // gave them up), so the note stays as it is on disk.
        return true;
    }

    const std::string scratch = nativePath(m_scratchURL);
    if (!holdsText(scratch)) {
        ::unlink(scratch.c_str());
        return true;
    }

    const ScratchCloseAnswer answer = m_questions.askToKeep ? m_questions.askToKeep(m_window) : ScratchCloseAnswer::Cancel;
    if (!m_window)
        return true;
    switch (answer) {
    case ScratchCloseAnswer::DontSave:
        ::unlink(scratch.c_str());
        return true;
    case ScratchCloseAnswer::Cancel:
        return false;
    case ScratchCloseAnswer::Save:
        break;
    }
    std::optional<QString> destination;
    if (m_questions.chooseDestination)
        destination = m_questions.chooseDestination(m_window, QFileInfo(m_scratchURL).fileName());
    if (!m_window)
        return true;
    if (!destination || destination->isEmpty())
        return false;
    return keepAt(*destination);
}

bool ScratchCloseGuard::keepAt(const QString &destination)
{
    const QString target = QFileInfo(destination).absoluteFilePath();
    if (const auto error = moveFileReplacing(nativePath(m_scratchURL), nativePath(target))) {
        m_window->contentView()->showError(loc(Base::Message{"Could not save %@: %@", {target.toStdString(), *error}}));
        return false;
    }
    RecentsStore::shared().add(target);
    return true;
}

ScratchCloseGuard::Questions ScratchCloseGuard::Questions::dialogs()
{
    Questions questions;
    questions.askToKeep = [](DocumentWindow *window) {
        QMessageBox alert(QMessageBox::Warning, window->windowTitle().remove(QStringLiteral("[*]")),
                          loc("scratch.close.prompt"), QMessageBox::NoButton, window);
        alert.setObjectName(QStringLiteral("scratchCloseAlert"));
        alert.setTextFormat(Qt::PlainText);
        alert.setInformativeText(loc("scratch.close.info"));
        QPushButton *save = alert.addButton(loc("scratch.close.save"), QMessageBox::AcceptRole);
        QPushButton *dontSave = alert.addButton(loc("scratch.close.dontsave"), QMessageBox::DestructiveRole);
        QPushButton *cancel = alert.addButton(loc("scratch.close.cancel"), QMessageBox::RejectRole);
        alert.setDefaultButton(save);
        alert.setEscapeButton(cancel);
        alert.setWindowModality(Qt::WindowModal);
        alert.exec();
        const QAbstractButton *clicked = alert.clickedButton();
        if (clicked == save)
            return ScratchCloseAnswer::Save;
        if (clicked == dontSave)
            return ScratchCloseAnswer::DontSave;
        return ScratchCloseAnswer::Cancel;
    };
    questions.chooseDestination = [](DocumentWindow *window, const QString &proposedName) -> std::optional<QString> {
        QFileDialog panel(window, loc("scratch.savepanel.title"));
        panel.setObjectName(QStringLiteral("scratchSavePanel"));
        panel.setAcceptMode(QFileDialog::AcceptSave);
        panel.setFileMode(QFileDialog::AnyFile);
        panel.setNameFilter(loc("Plain text") + QStringLiteral(" (*.txt)"));
        panel.setDefaultSuffix(QStringLiteral("txt"));
        // Without a Desktop folder the home folder, rather than wherever the process started.
        const QString desktop = ContentView::defaultSaveDirectory();
        panel.setDirectory(desktop.isEmpty() ? QDir::homePath() : desktop);
        panel.selectFile(proposedName);
        panel.setWindowModality(Qt::WindowModal);
        if (panel.exec() != QDialog::Accepted)
            return std::nullopt;
        const QStringList chosen = panel.selectedFiles();
        if (chosen.isEmpty())
            return std::nullopt;
        return chosen.first();
    };
    return questions;
}

// ---- Registries -----------------------------------------------------------------------------

QHash<const QWidget *, QPointer<ScratchCloseGuard>> &scratchDelegates()
{
    static QHash<const QWidget *, QPointer<ScratchCloseGuard>> registry;
    return registry;
}

QHash<const QWidget *, QPointer<DocumentWindow>> &liveScratchWindows()
{
    static QHash<const QWidget *, QPointer<DocumentWindow>> registry;
    return registry;
}

void attachScratchDelegate(DocumentWindow *window, const QString &scratchURL)
{
    if (!window)
        return;
    if (ScratchCloseGuard *previous = scratchDelegates().take(window))
        previous->deleteLater();
    scratchDelegates().insert(window, new ScratchCloseGuard(window, scratchURL));
}

void detachScratchDelegate(DocumentWindow *window)
{
    if (ScratchCloseGuard *guard = scratchDelegates().take(window))
        guard->deleteLater();
    // The registry no longer deletes the window after it closes, so the window does.
    if (liveScratchWindows().remove(window) > 0)
        window->setAttribute(Qt::WA_DeleteOnClose);
}

void scratchWindowWillClose(DocumentWindow *window)
{
    if (ScratchCloseGuard *guard = scratchDelegates().take(window))
        guard->deleteLater();
    if (DocumentWindow *owned = liveScratchWindows().take(window))
        owned->deleteLater();
}

void scratchDocumentExported(ContentView *view, const QString &scratchPath)
{
    if (auto *window = qobject_cast<DocumentWindow *>(view ? view->window() : nullptr))
        detachScratchDelegate(window);
    QFile::remove(scratchPath);
}

} // namespace App
