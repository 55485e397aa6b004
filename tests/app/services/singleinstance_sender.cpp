// A later launch for tst_singleinstance: `singleinstance_sender SOCKET ARGUMENT…` hands its
// arguments to the instance at SOCKET. Exit status 0 forwarded, 3 became primary, 4 failed.
#include "app/services/singleinstance.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return 2;
    App::SingleInstance instance(arguments.takeFirst());
    switch (instance.start(App::SingleInstance::requestFromArguments(arguments))) {
    case App::SingleInstance::Role::Forwarded:
        return 0;
    case App::SingleInstance::Role::Primary:
        return 3;
    case App::SingleInstance::Role::Failed:
        return 4;
    }
    return 4;
}
