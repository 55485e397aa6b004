#include "scratchcloseguard.h"

#include "contentview.h"
#include "documentpanels.h"
#include "documentwindow.h"

#include "app/services/recentsstore.h"

#include "documents/fileio.h"

#include "base/localization.h"
#include "base/notificationcenter.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
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

QString scratchFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("Corvane/scratch"));
}


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

} // namespace

// ---- Moving the scratch file ----------------------------------------------------------------

std::optional<std::string> moveFileReplacing(const std::string &source, const std::string &destination)
{
    // Through the documents' save path, so that a file already at the destination keeps its
    // owner, mode and extended attributes, and no moment is without it.
    Base::ByteBuffer bytes;
    if (const auto error = Documents::readWholeFile(source, bytes))
        return error->englishText();
    struct stat existing {};
    const bool replacing = ::stat(destination.c_str(), &existing) == 0;
    struct stat note {};
    const bool noteMode = ::stat(source.c_str(), &note) == 0;
    if (auto error = Documents::writeFileAtomically(destination, std::string_view(bytes.data(), bytes.size())))
        return error;
    // A new file is the note moved: it keeps the note's permissions, as a rename would.
    if (!replacing && noteMode)
        ::chmod(destination.c_str(), note.st_mode & 07777);
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
        const QString desktop = DocumentPanels::defaultSaveDirectory();
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
