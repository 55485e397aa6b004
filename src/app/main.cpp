#include "window/documentwindow.h"
#include "window/windowsession.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Corvane");
    QApplication::setApplicationName("Corvane");
    QApplication::setApplicationVersion(CORVANE_VERSION);

    QStringList files = QApplication::arguments().mid(1);
    // Options such as the desktop entry's --new-window are not file names.
    files.removeIf([](const QString &argument) { return argument.startsWith("--"); });
    auto &session = App::WindowSession::shared();
    for (const QString &file : files)
        session.pendingExternalURLs << QDir::current().absoluteFilePath(file);

    auto *window = new App::DocumentWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    QTimer::singleShot(0, [&session] { session.hasFinishedLaunching = true; });
    return QApplication::exec();
}
