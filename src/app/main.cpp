#include "documentwindow.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName("Corvane");
    QApplication::setApplicationName("Corvane");
    QApplication::setApplicationVersion(CORVANE_VERSION);

    App::DocumentWindow window;
    window.show();
    QStringList arguments = QApplication::arguments().mid(1);
    // Options such as the desktop entry's --new-window are not file names.
    arguments.removeIf([](const QString &argument) { return argument.startsWith("--"); });
    if (!arguments.isEmpty())
        QTimer::singleShot(0, &window, [&window, path = arguments.first()] { window.loadFile(path); });
    return QApplication::exec();
}
