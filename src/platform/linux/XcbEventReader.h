#pragma once

#include <QObject>
#include <QString>

#include <functional>

struct xcb_connection_t;
class QSocketNotifier;

namespace talvor::platform {

// Reads the events of an xcb connection of our own as the Qt event loop announces them, and
// those xcb queued while a caller waited for a reply. Once the connection breaks it says so
// in the log, once, and reads no more.
class XcbEventReader : public QObject {
    Q_OBJECT
  public:
    // `event`: an xcb_generic_event_t, freed after the call.
    using Handler = std::function<void(const void* event)>;

    // `lostLine`: the log line for a broken connection. `batchDone`, when given, runs after
    // each batch of events while the connection holds. The connection must outlive the reader.
    XcbEventReader(xcb_connection_t* connection, QString lostLine, Handler handler,
                   std::function<void()> batchDone = {});
    ~XcbEventReader() override;

    // False once the connection broke.
    bool checkConnection();
    bool isLost() const { return lost_; }
    // For callers that waited for a reply: the socket no longer announces what xcb queued
    // meanwhile.
    void scheduleRead();

  private:
    void readEvents();

    xcb_connection_t* connection_;
    QString lostLine_;
    Handler handler_;
    std::function<void()> batchDone_;
    QSocketNotifier* notifier_;
    bool lost_ = false;
    bool readScheduled_ = false;
};

}  // namespace talvor::platform
