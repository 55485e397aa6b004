#include "app/commandline.h"
#include "app/services/singleinstance.h"
#include "app/shell/appdelegate.h"
#include "app/shell/launchreport.h"
#include "app/shell/terminationsignal.h"
#include "app/window/documentwindow.h"
#include "base/nativepath.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <QTimer>

int main(int argc, char **argv)
{
    if (const auto status = App::answerInformationalOptions(argc, argv))
        return *status;
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication application(argc, argv);
    Q_INIT_RESOURCE(icons); // The window library is static: its resources need registering.
    QApplication::setOrganizationName("Corvane");
    QApplication::setApplicationName("Corvane");
    QApplication::setApplicationVersion(CORVANE_VERSION);
    QApplication::setDesktopFileName("app.corvane.editor");
    QApplication::setWindowIcon(QIcon::fromTheme("app.corvane.editor", QIcon(":/icons/app.corvane.editor.svg")));

    // A later launch hands its files (or "new window") to the running editor and ends.
    const auto request = App::SingleInstance::requestFromArguments(Base::argumentsFromNative(argc, argv));
    App::SingleInstance channel;
    if (channel.start(request) == App::SingleInstance::Role::Forwarded)
        return 0;

    if (App::LaunchReport::isRequested())
        App::LaunchReport::applyTimings();
    App::AppDelegate delegate;
    if (App::LaunchReport::isRequested())
        new App::LaunchReport(delegate, sinceStart);
    QObject::connect(&channel, &App::SingleInstance::requestReceived, &delegate, &App::AppDelegate::handle);
    App::TerminationSignal termination;
    QObject::connect(&termination, &App::TerminationSignal::received, &delegate, &App::AppDelegate::quitWithoutQuestions);

    // Files of the command line are the system's hand-over before launching has finished: the
    // first window takes the first, the others get windows of their own.
    delegate.open(request);
    if (request.newWindow)
        QTimer::singleShot(0, &delegate, [&delegate] { delegate.openNewWindow(); });
    // Launching has finished by the time the first window restores the session: it does so at once.
    delegate.applicationDidFinishLaunching();
    delegate.createSceneWindow();
    const int status = QApplication::exec();
    // Windows still open at quit go without closing questions; their views stop their jobs.
    for (App::DocumentWindow *window : delegate.windows())
        delete window;
    return status;
}
