#include "singleinstance.h"

#include "base/nativepath.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace App {

namespace {

constexpr char acknowledgement = 0x06;
constexpr int connectTimeoutMs = 2'000;
// The primary answers from its event loop, which a save or a large paste can hold up briefly.
constexpr int answerTimeoutMs = 10'000;
// A client that connects and then says nothing is dropped.
constexpr int idleClientTimeoutMs = 10'000;
constexpr int lockTimeoutMs = 5'000;

QByteArray frame(const SingleInstance::Request &request)
{
    // JSON text cannot carry a name that is not UTF-8: its bytes travel beside it, in base64.
    QJsonArray pathBytes;
    for (const QString &path : request.paths)
        pathBytes.append(QString::fromLatin1(QByteArray::fromStdString(Base::nativeFromPath(path)).toBase64()));
    QJsonObject object{
        {QLatin1String("paths"), QJsonArray::fromStringList(request.paths)},
        {QLatin1String("pathBytes"), pathBytes},
        {QLatin1String("newWindow"), request.newWindow},
    };
    // Only when a position was given: a request without one stays the message it always was.
    QJsonArray positions;
    bool anyPosition = false;
    for (qsizetype i = 0; i < request.paths.size(); ++i) {
        const auto position = request.positionAt(i);
        anyPosition = anyPosition || position.isSet();
        positions.append(position.isSet() ? QJsonValue(QJsonArray{position.line, position.column}) : QJsonValue());
    }
    if (anyPosition)
        object.insert(QLatin1String("positions"), positions);
    const QByteArray payload = QJsonDocument(object).toJson(QJsonDocument::Compact);
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), bytes.data());
    return bytes + payload;
}

std::optional<SingleInstance::Request> parse(const QByteArray &payload)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue paths = object.value(QLatin1String("paths"));
    const QJsonValue newWindow = object.value(QLatin1String("newWindow"));
    if (!paths.isArray() || !newWindow.isBool())
        return std::nullopt;
    SingleInstance::Request request;
    request.newWindow = newWindow.toBool();
    const QJsonArray bytes = object.value(QLatin1String("pathBytes")).toArray();
    const QJsonArray texts = paths.toArray();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        if (!texts[i].isString())
            return std::nullopt;
        QString path = texts[i].toString();
        if (bytes.size() == texts.size() && bytes[i].isString())
            path = Base::pathFromNative(QByteArray::fromBase64(bytes[i].toString().toLatin1()).toStdString());
        if (!path.startsWith(QLatin1Char('/')))
            return std::nullopt;
        request.paths.append(path);
    }
    // A malformed entry only loses its position: the files still open.
    const QJsonArray positions = object.value(QLatin1String("positions")).toArray();
    if (positions.size() == texts.size()) {
        for (const QJsonValue &entry : positions) {
            const QJsonArray pair = entry.toArray();
            SingleInstance::Position position;
            if (pair.size() == 2 && pair[0].isDouble() && pair[1].isDouble()) {
                const qint64 line = pair[0].toInteger();
                const qint64 column = pair[1].toInteger();
                if (line >= 1 && column >= 1)
                    position = {line, column};
            }
            request.positions.append(position);
        }
    }
    return request;
}

QString absolute(const QString &path, const QString &workingDirectory)
{
    // Not QDir::isAbsolutePath: to Qt a name starting with ':' is a resource, to the user a file.
    return path.startsWith(QLatin1Char('/')) ? path : QDir::cleanPath(workingDirectory + QLatin1Char('/') + path);
}

// Whether the socket path may be used: nothing there yet, or a socket of this user. In a
// folder other users can write to, someone else's socket would receive our file names.
bool mayUse(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return errno == ENOENT;
    return S_ISSOCK(status.st_mode) && status.st_uid == ::getuid();
}

const QLatin1String socketName("app.corvane.editor.socket");

// A folder only this user may enter: ours, 0700, and itself (not a link to one, which others
// could re-point). Special bits (a set-group-id inherited from the parent) do not matter.
bool isPrivateFolder(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 0777) == 0700;
}

} // namespace

QString SingleInstance::privateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!QDir::isAbsolutePath(cache) || !QDir().mkpath(cache))
        return QString();
    const QString folder = QDir::cleanPath(cache + QLatin1String("/Corvane"));
    const QByteArray native = QFile::encodeName(folder);
    // Made here: 0700 whatever the umask. Found: taken only as it is, never repaired, since
    // someone may have used it while it was open to them.
    if (::mkdir(native.constData(), 0700) == 0)
        ::chmod(native.constData(), 0700);
    if (isPrivateFolder(folder))
        return folder;
    qWarning("%s is not a private folder (a folder of this user with permissions 0700): "
             "each launch runs without the single-instance channel.",
             qPrintable(folder));
    return QString();
}

QString SingleInstance::defaultName()
{
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + socketName;
}

namespace {

// A positive decimal number of at most 18 digits (no sign, no spaces); 0 otherwise.
qint64 positiveNumber(QStringView text)
{
    if (text.isEmpty() || text.size() > 18)
        return 0;
    qint64 value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

// "NAME:N" split at its last colon: NAME and N, when N is a positive number and NAME not empty.
std::optional<std::pair<QString, qint64>> splitNumber(const QString &text)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    const qint64 number = positiveNumber(QStringView(text).mid(colon + 1));
    if (number == 0)
        return std::nullopt;
    return std::pair{text.left(colon), number};
}

} // namespace

SingleInstance::Location SingleInstance::locationFromArgument(const QString &argument,
                                                              const std::function<bool(const QString &)> &exists)
{
    if (exists(argument))
        return {argument, {}};
    QList<Location> candidates;
    if (const auto last = splitNumber(argument)) {
        if (const auto first = splitNumber(last->first))
            candidates.append({first->first, {first->second, last->second}});
        candidates.append({last->first, {last->second, 1}});
    }
    for (const Location &candidate : std::as_const(candidates))
        if (exists(candidate.path))
            return candidate;
    return candidates.isEmpty() ? Location{argument, {}} : candidates.first();
}

SingleInstance::Request SingleInstance::requestFromArguments(const QStringList &arguments, const QString &workingDirectory)
{
    Request request;
    bool options = true;
    for (const QString &argument : arguments) {
        if (options && argument == QLatin1String("--")) {
            options = false;
        } else if (options && argument == QLatin1String("--new-window")) {
            request.newWindow = true;
        } else if (options && argument.startsWith(QLatin1String("--"))) {
            continue;
        } else if (!argument.isEmpty()) {
            // A dangling symbolic link is a name that exists too: it is not a position.
            const auto exists = [&workingDirectory](const QString &name) {
                struct stat status {};
                return ::lstat(QFile::encodeName(absolute(name, workingDirectory)).constData(), &status) == 0;
            };
            const Location location = locationFromArgument(argument, exists);
            request.paths.append(absolute(location.path, workingDirectory));
            request.positions.append(location.position);
        }
    }
    return request;
}

SingleInstance::SingleInstance(QString name, QObject *parent)
    : QObject(parent)
    , m_name(std::move(name))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() const
{
    if (m_name.isEmpty() || QDir::isAbsolutePath(m_name))
        return m_name;
    const QString folder = privateFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + m_name;
}

SingleInstance::Role SingleInstance::start(const Request &request)
{
    if (m_server)
        return Role::Primary;
    Request absoluteRequest = request;
    for (QString &path : absoluteRequest.paths)
        path = absolute(path, QDir::currentPath());
    const QByteArray message = frame(absoluteRequest);
    if (message.size() - 4 > maximumMessageSize)
        return Role::Failed;

    const QString path = socketPath();
    if (path.isEmpty())
        return Role::Failed;
    QLockFile lock(path + QLatin1String(".lock"));
    if (!lock.tryLock(lockTimeoutMs))
        return Role::Failed;
    if (!mayUse(path))
        return Role::Failed;

    switch (forward(message)) {
    case Delivery::Delivered:
        return Role::Forwarded;
    case Delivery::Failed:
        return Role::Failed;
    case Delivery::NoServer:
        break;
    }
    // Nobody listens: whatever socket file is there was left by a process that is gone.
    QLocalServer::removeServer(path);
    auto server = std::make_unique<QLocalServer>(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path))
        return Role::Failed;
    m_server = server.release();
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return Role::Primary;
}

SingleInstance::Delivery SingleInstance::forward(const QByteArray &message) const
{
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(connectTimeoutMs)) {
        const auto error = socket.error();
        return error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError
            ? Delivery::NoServer
            : Delivery::Failed;
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(answerTimeoutMs))
            return Delivery::Failed;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(answerTimeoutMs))
            return Delivery::Failed;
    }
    char answer = 0;
    if (!socket.getChar(&answer) || answer != acknowledgement)
        return Delivery::Failed;
    socket.disconnectFromServer();
    return Delivery::Delivered;
}

void SingleInstance::acceptConnections()
{
    m_connections.removeIf([](const auto &entry) { return entry.first.isNull(); });
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        auto connection = std::make_shared<Connection>();
        m_connections.append({socket, connection});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, connection] { read(socket, *connection); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QTimer::singleShot(idleClientTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0)
            read(socket, *connection);
    }
}

int SingleInstance::clientCount() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(), [](const auto &entry) {
        return entry.first && entry.first->state() == QLocalSocket::ConnectedState;
    }));
}

qsizetype SingleInstance::unfinishedBytes() const
{
    qsizetype bytes = 0;
    for (const auto &[socket, connection] : m_connections)
        if (socket)
            bytes += connection->buffer.size();
    return bytes;
}

void SingleInstance::read(QLocalSocket *socket, Connection &connection)
{
    if (connection.answered) {
        socket->readAll();
        return;
    }
    QByteArray &buffer = connection.buffer;
    buffer += socket->read(4 + maximumMessageSize - buffer.size());
    if (buffer.size() < 4)
        return;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData());
    if (length > maximumMessageSize) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (buffer.size() < 4 + qsizetype(length))
        return;
    const auto request = parse(buffer.mid(4, length));
    buffer.clear();
    if (!request) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connection.answered = true;
    socket->putChar(acknowledgement);
    socket->flush();
    socket->disconnectFromServer();
    emit requestReceived(*request);
}

} // namespace App
