#pragma once

#include "platform/InterfaceWatcher.h"

#include <QHash>
#include <QObject>

class QSocketNotifier;

namespace talvor::platform {

// Address and link notifications of the kernel (NETLINK_ROUTE) in the network namespace of
// the thread that creates it.
class NetlinkInterfaceWatcher : public QObject, public InterfaceChangeSource {
    Q_OBJECT
  public:
    explicit NetlinkInterfaceWatcher(QObject* parent = nullptr);
    ~NetlinkInterfaceWatcher() override;

    // False when the socket could not be opened (logged once).
    bool isWatching() const { return fd_ >= 0; }
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }
    QStringList currentKeys() const override;

  private:
    void onReadable();
    void requestLinkNames();

    int fd_ = -1;
    unsigned portId_ = 0;
    unsigned dumpSeq_ = 0;
    QSocketNotifier* notifier_ = nullptr;
    QHash<int, QString> names_;
    ChangeHandler handler_;
};

}  // namespace talvor::platform
