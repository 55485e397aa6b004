#pragma once

// A real HTTP/1.1 server on 127.0.0.1 for the tests, plain or over TLS, answering every
// request with one configured response and closing the connection, or, trickling, with a
// promise of a large body of which it sends one byte at a time and never the end.

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <chrono>

#include <memory>
#include <optional>

class LocalHttpServer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
    };

    // Plain HTTP, or HTTPS with the certificate and key of `tls`.
    explicit LocalHttpServer(std::optional<QSslConfiguration> tls = std::nullopt)
        : m_secure(tls.has_value())
    {
        if (tls) {
            auto server = std::make_unique<QSslServer>();
            server->setSslConfiguration(*tls);
            m_server = std::move(server);
        } else {
            m_server = std::make_unique<QTcpServer>();
        }
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, m_server.get(), [this] { accept(); });
        m_server->listen(QHostAddress::LocalHost);
    }

    // The certificate and key of a fixture pair ("localhost" or "untrusted") as server configuration.
    static QSslConfiguration serverConfiguration(const QString &fixturesFolder, const QString &name)
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(certificate(fixturesFolder, name));
        QFile keyFile(fixturesFolder + '/' + name + ".key");
        keyFile.open(QIODevice::ReadOnly);
        configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        return configuration;
    }

    static QSslCertificate certificate(const QString &fixturesFolder, const QString &name)
    {
        QFile file(fixturesFolder + '/' + name + ".crt");
        file.open(QIODevice::ReadOnly);
        return QSslCertificate(file.readAll());
    }

    bool isListening() const { return m_server->isListening(); }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("%1://127.0.0.1:%2%3").arg(m_secure ? "https" : "http").arg(m_server->serverPort()).arg(path));
    }
    void setResponse(Response response) { m_response = std::move(response); }
    // Answers with a status line and headers, then one byte of the body every `interval`.
    void setTrickle(std::chrono::milliseconds interval) { m_trickle = interval; }
    // Bytes of the body sent so far while trickling.
    qint64 trickledBytes() const { return m_trickled; }
    // The request lines ("GET /version.json HTTP/1.1") received so far.
    const QList<QByteArray> &requests() const { return m_requests; }

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                const qsizetype headerEnd = buffer->indexOf("\r\n\r\n");
                if (headerEnd < 0)
                    return;
                m_requests.append(buffer->left(buffer->indexOf("\r\n")));
                buffer->clear();
                respond(socket);
            });
        }
    }

    void respond(QTcpSocket *socket)
    {
        if (m_trickle.count() > 0) {
            socket->write("HTTP/1.1 200 Status\r\nContent-Type: application/json\r\nContent-Length: 1000000\r\n\r\n");
            auto *timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [this, socket] {
                socket->write(" ");
                ++m_trickled;
            });
            timer->start(m_trickle);
            return;
        }
        const QByteArray head = "HTTP/1.1 " + QByteArray::number(m_response.status) + " Status\r\n"
            "Content-Type: application/json\r\n"
            "Content-Length: " + QByteArray::number(m_response.body.size()) + "\r\n"
            "Connection: close\r\n\r\n";
        socket->write(head + m_response.body);
        socket->disconnectFromHost();
    }

    bool m_secure;
    std::unique_ptr<QTcpServer> m_server;
    Response m_response;
    std::chrono::milliseconds m_trickle{0};
    qint64 m_trickled = 0;
    QList<QByteArray> m_requests;
};
