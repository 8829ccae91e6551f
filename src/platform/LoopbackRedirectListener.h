#pragma once

#include <QString>
#include <QUrl>
#include <QUrlQuery>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

namespace talvor::platform {

// The one-shot web server a browser sign-in returns to: it listens on 127.0.0.1 only, on a
// port the system picks, takes the first GET to its path, answers the browser with a short
// page and hands the request's query over once. Anything else gets 404 and is ignored.
class LoopbackRedirectListener {
  public:
    struct Page {
        QString title;
        QString text;
    };
    // Returns the page the browser is shown.
    using Handler = std::function<Page(const QUrlQuery& query)>;

    LoopbackRedirectListener();
    ~LoopbackRedirectListener();
    LoopbackRedirectListener(const LoopbackRedirectListener&) = delete;
    LoopbackRedirectListener& operator=(const LoopbackRedirectListener&) = delete;

    // Starts listening; false (with `error`) when no port could be had.
    bool start(Handler handler, QString* error);
    // Stops listening and drops open connections; the handler is not called after this.
    void stop();
    bool isListening() const;
    // "http://127.0.0.1:<port>/" while listening.
    QUrl redirectUri() const;
    quint16 port() const;

  private:
    void onConnection();
    void onReadable(QTcpSocket* socket);

    std::unique_ptr<QTcpServer> server_;
    Handler handler_;
    bool answered_ = false;
};

}  // namespace talvor::platform
