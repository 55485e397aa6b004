#pragma once

#include <QDir>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>

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
// answers with one acknowledgement byte once it has read a whole valid message. When a file was
// named with a position, "positions" holds one entry per path, [line, column] or null; a
// primary that predates it ignores the key and opens the files as they are.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    // Where the caret goes in a file named "FILE:LINE[:COL]": 1-based; line 0 means nowhere.
    struct Position {
        qint64 line = 0;
        qint64 column = 1;
        bool isSet() const { return line > 0; }
        friend bool operator==(const Position &, const Position &) = default;
    };
    // An argument split into a file and the position its ":LINE" or ":LINE:COL" suffix names
    // (positive decimal numbers, a non-empty name before them).
    struct Location {
        QString path;
        Position position;
        friend bool operator==(const Location &, const Location &) = default;
    };
    // The file an argument names and where in it: the argument itself when `exists` says a
    // file of that name is there (a file really called "a:3"), else the first of "NAME:LINE:COL"
    // and "NAME:LINE" whose NAME exists, else the first that parses, else the argument as it is.
    static Location locationFromArgument(const QString &argument,
                                         const std::function<bool(const QString &)> &exists);

    struct Request {
        QStringList paths;      // absolute
        bool newWindow = false; // the desktop entry's "New File" action
        // Parallel to `paths` (missing entries: no position).
        QList<Position> positions = {};
        Position positionAt(qsizetype index) const { return index < positions.size() ? positions[index] : Position{}; }
        // Equal positions, whether listed as unset or not listed.
        friend bool operator==(const Request &a, const Request &b)
        {
            if (a.paths != b.paths || a.newWindow != b.newWindow)
                return false;
            for (qsizetype i = 0; i < a.paths.size(); ++i)
                if (a.positionAt(i) != b.positionAt(i))
                    return false;
            return true;
        }
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
    // file, made absolute against `workingDirectory`, with its position when it is named
    // "FILE:LINE[:COL]" and no file has that whole name (locationFromArgument).
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

    // On the primary: the clients it is still connected to, and the bytes of the messages it
    // has begun but not finished reading from them. For tests.
    int clientCount() const;
    qsizetype unfinishedBytes() const;

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
    // Gone clients are dropped at the next connection.
    QList<std::pair<QPointer<QLocalSocket>, std::shared_ptr<Connection>>> m_connections;
};

} // namespace App
