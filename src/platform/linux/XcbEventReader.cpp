#include "XcbEventReader.h"

#include "platform/Log.h"

#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdlib>

namespace talvor::platform {

XcbEventReader::XcbEventReader(xcb_connection_t* connection, QString lostLine, Handler handler,
                               std::function<void()> batchDone)
    : connection_(connection),
      lostLine_(std::move(lostLine)),
      handler_(std::move(handler)),
      batchDone_(std::move(batchDone)),
      notifier_(
          new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, &XcbEventReader::readEvents);
}

XcbEventReader::~XcbEventReader() = default;

bool XcbEventReader::checkConnection() {
    if (!lost_ && xcb_connection_has_error(connection_) != 0) {
        lost_ = true;
        notifier_->setEnabled(false);
        log(lostLine_);
    }
    return !lost_;
}

void XcbEventReader::scheduleRead() {
    if (!readScheduled_) {
        readScheduled_ = true;
        QTimer::singleShot(0, this, [this] {
            readScheduled_ = false;
            readEvents();
        });
    }
}

void XcbEventReader::readEvents() {
    if (!checkConnection()) {
        return;
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        handler_(event);
        std::free(event);
    }
    if (checkConnection() && batchDone_) {
        batchDone_();
    }
}

}  // namespace talvor::platform
