#pragma once

#include <QObject>

class QSocketNotifier;

namespace App {

// Turns SIGTERM (and SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2) into a signal on the main thread:
// the handler only writes one byte into a socket pair, which a QSocketNotifier reads, so nothing
// unsafe runs inside the handler. SIGPIPE is ignored. One per process.
class TerminationSignal : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignal(QObject *parent = nullptr);
    ~TerminationSignal() override;

signals:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace App
