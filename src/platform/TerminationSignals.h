#pragma once

#include <QObject>

class QSocketNotifier;

namespace talvor::platform {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main loop, so that quitting by
// signal takes the same road as the Quit command. One instance per process.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

  signals:
    void terminationRequested(int signalNumber);

  private:
    void drain();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace talvor::platform
