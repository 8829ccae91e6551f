#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <optional>
#include <vector>

namespace talvor::test {

// An HTTP/1.1 server on 127.0.0.1 for one test: it records each request and answers it
// with the canned reply, or holds it until `answer` is called when there is none. Every
// answer closes its connection.
class CannedHttpServer {
  public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QByteArray body;
    };
    struct Reply {
        Reply(int code = 200, QByteArray content = {}, QByteArray phrase = {})
            : status(code), body(std::move(content)), reason(std::move(phrase)) {}
        int status;
        QByteArray body;
        QByteArray reason;  // empty: the usual phrase for the status
    };
    // Writes an answer of its own to the request's socket, at its own pace.
    using Streamer = std::function<void(QTcpSocket& socket)>;

    CannedHttpServer() {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
    }

    QString origin() const {
        return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
    }
    void setCannedReply(std::optional<Reply> reply) { canned_ = std::move(reply); }
    // Replaces the canned reply until reset with an empty one.
    void setStreamer(Streamer streamer) { streamer_ = std::move(streamer); }

    const std::vector<Request>& requests() const { return requests_; }
    bool waitForRequests(std::size_t count) {
        return QTest::qWaitFor([&] { return requests_.size() >= count; }, 5000);
    }
    // True once the client closed the connection of the request numbered `index`: nothing
    // it sent can be answered any more.
    bool waitForClientGone(std::size_t index) {
        return QTest::qWaitFor(
            [&] {
                const QTcpSocket* socket = sockets_.at(index);
                return socket == nullptr || socket->state() != QAbstractSocket::ConnectedState;
            },
            5000);
    }
    // Answers the request numbered `index` (from 0, in order of arrival).
    void answer(std::size_t index, const Reply& reply) {
        QTcpSocket* socket = sockets_.at(index);
        if (socket != nullptr) {
            write(*socket, reply);
        }
    }

  private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                buffers_[socket] += socket->readAll();
                parse(*socket);
            });
        }
    }

    void parse(QTcpSocket& socket) {
        QByteArray& buffer = buffers_[&socket];
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) {
            return;
        }
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        qsizetype length = 0;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("content-length:")) {
                length = line.mid(15).trimmed().toLongLong();
            }
        }
        if (buffer.size() < end + 4 + length) {
            return;
        }
        const QList<QByteArray> first = lines.first().trimmed().split(' ');
        requests_.push_back({first.value(0), first.value(1), buffer.mid(end + 4, length)});
        sockets_.push_back(&socket);
        buffers_.remove(&socket);
        if (streamer_) {
            streamer_(socket);
        } else if (canned_) {
            write(socket, *canned_);
        }
    }

    static void write(QTcpSocket& socket, const Reply& reply) {
        const QByteArray reason = !reply.reason.isEmpty() ? reply.reason
                                  : reply.status == 200   ? QByteArray("OK")
                                  : reply.status == 404   ? QByteArray("Not Found")
                                                          : QByteArray("Internal Server Error");
        socket.write("HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason +
                     "\r\nContent-Type: text/plain\r\nContent-Length: " +
                     QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                     reply.body);
        socket.disconnectFromHost();
    }

    QTcpServer server_;
    std::optional<Reply> canned_;
    Streamer streamer_;
    std::vector<Request> requests_;
    std::vector<QPointer<QTcpSocket>> sockets_;
    QHash<QTcpSocket*, QByteArray> buffers_;
};

}  // namespace talvor::test
