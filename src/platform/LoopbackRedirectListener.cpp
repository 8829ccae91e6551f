#include "LoopbackRedirectListener.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace talvor::platform {

namespace {

constexpr qint64 kMaxRequestHead = 16 * 1024;

QByteArray htmlEscaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

void answer(QTcpSocket* socket, int status, const QByteArray& reason, const QByteArray& body) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    out += "Content-Type: text/html; charset=utf-8\r\n";
    out += "Cache-Control: no-store\r\n";
    out += "Connection: close\r\n";
    out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n";
    out += body;
    socket->write(out);
    socket->disconnectFromHost();
}

}  // namespace

LoopbackRedirectListener::LoopbackRedirectListener() = default;

LoopbackRedirectListener::~LoopbackRedirectListener() {
    stop();
}

bool LoopbackRedirectListener::start(Handler handler, QString* error) {
    stop();
    server_ = std::make_unique<QTcpServer>();
    // Loopback only: the redirect carries a one-time code that nobody else on the network
    // may reach or race for.
    if (!server_->listen(QHostAddress::LocalHost, 0)) {
        if (error) {
            *error = server_->errorString();
        }
        server_.reset();
        return false;
    }
    handler_ = std::move(handler);
    answered_ = false;
    QObject::connect(server_.get(), &QTcpServer::newConnection, server_.get(),
                     [this] { onConnection(); });
    return true;
}

void LoopbackRedirectListener::stop() {
    if (!server_) {
        return;
    }
    server_->close();
    for (QTcpSocket* socket : server_->findChildren<QTcpSocket*>()) {
        socket->disconnect();
        socket->abort();
    }
    // Sockets still delivering may be in a call of ours: delete the server later.
    server_.release()->deleteLater();
    handler_ = nullptr;
}

bool LoopbackRedirectListener::isListening() const {
    return server_ && server_->isListening();
}

quint16 LoopbackRedirectListener::port() const {
    return server_ ? server_->serverPort() : 0;
}

QUrl LoopbackRedirectListener::redirectUri() const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port()));
}

void LoopbackRedirectListener::onConnection() {
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        socket->setParent(server_.get());
        QObject::connect(socket, &QTcpSocket::readyRead, socket,
                         [this, socket] { onReadable(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackRedirectListener::onReadable(QTcpSocket* socket) {
    if (socket->bytesAvailable() > kMaxRequestHead) {
        answer(socket, 431, "Request Header Fields Too Large", QByteArray());
        return;
    }
    if (!socket->canReadLine()) {
        return;
    }
    const QList<QByteArray> requestLine = socket->readLine().trimmed().split(' ');
    socket->readAll();  // the headers do not matter
    if (requestLine.size() != 3 || requestLine[0] != "GET") {
        answer(socket, 405, "Method Not Allowed", QByteArray());
        return;
    }
    const QUrl target(QString::fromLatin1(requestLine[1]));
    if (target.path() != QLatin1String("/") || answered_ || !handler_) {
        answer(socket, 404, "Not Found", QByteArray());
        return;
    }
    answered_ = true;
    // The handler may stop the listener, which drops its sockets: this one is answered
    // on its own.
    socket->setParent(nullptr);
    QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
    const Handler handler = handler_;
    const Page page = handler(QUrlQuery(target));
    answer(socket, 200, "OK",
           "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + htmlEscaped(page.title) +
               "</title></head><body><h1>" + htmlEscaped(page.title) + "</h1><p>" +
               htmlEscaped(page.text) + "</p></body></html>");
}

}  // namespace talvor::platform
