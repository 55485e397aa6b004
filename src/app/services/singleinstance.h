#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace App {

// One running application per user: the first process listens on a local socket, a later one
// hands its request (files to open, or a new window) to it and exits. The socket and its lock
// live in a private folder, one the user owns and nobody else may enter (mode 0700):
// $XDG_RUNTIME_DIR when it is such a folder, else Corvane in the user's cache folder
// ($XDG_CACHE_HOME, ~/.cache), made 0700 when missing. Never in a shared folder under a name
// others could guess and take first: when neither folder is private there is no channel, and
// every launch runs on its own. A socket file nobody listens on is removed, and a socket that
// is not the user's own is neither used nor removed.
//
// The message is a 4-byte big-endian length followed by that many bytes of UTF-8 JSON,
// {"paths": [absolute paths], "newWindow": bool}, at most maximumMessageSize bytes; the primary
// answers with one acknowledgement byte once it has read a whole valid message.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    struct Request {
        QStringList paths;      // absolute
        bool newWindow = false; // the desktop entry's "New File" action
        friend bool operator==(const Request &, const Request &) = default;
    };

    enum class Role {
        Primary,   // this process listens; requests of later launches arrive as requestReceived
        Forwarded, // a running instance acknowledged the request: exit with status 0
        Failed,    // neither: run on without the channel
    };

    static constexpr qint64 maximumMessageSize = 1 << 20;

    // The per-user socket path, in the private folder; empty when there is none.
    static QString defaultName();
    // The private folder, made when missing; empty when it is not private (another owner, other
    // permission bits than 0700, a symbolic link, not a folder) or cannot be made.
    static QString privateFolder();
    // The request of a command line (arguments after the program name): "--new-window" asks for
    // a window, other options are ignored, everything else (and everything after "--") is a
    // file, made absolute against `workingDirectory`.
    static Request requestFromArguments(const QStringList &arguments,
                                        const QString &workingDirectory = QDir::currentPath());

    // `name` is a socket path (or a bare name, placed in the private folder); with an empty
    // name, or a bare one and no private folder, start() fails.
    explicit SingleInstance(QString name = defaultName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    QString name() const { return m_name; }

    // Hands `request` to a running instance, or becomes the one (then `request` is the caller's
    // to act on and is not emitted). Relative paths are made absolute against the current
    // folder. Blocks for at most a few seconds while a running instance answers; call it once,
    // before the first window. The election runs under a lock file beside the socket, so two
    // launches at the same moment cannot both become primary.
    Role start(const Request &request);

signals:
    // A later launch's request, on the primary.
    void requestReceived(const App::SingleInstance::Request &request);

private:
    enum class Delivery { Delivered, NoServer, Failed };
    // What the primary has read from one client: bytes up to one whole message, then nothing.
    struct Connection {
        QByteArray buffer;
        bool answered = false;
    };

    QString socketPath() const;
    Delivery forward(const QByteArray &frame) const;
    void acceptConnections();
    void read(QLocalSocket *socket, Connection &connection);

    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace App
