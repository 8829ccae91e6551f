// bench/idle-cost's desktop panel: a StatusNotifierWatcher with a host on the session bus that
// does what a panel does each time an item changes (reads its icon and properties anew), then
// runs the program given and ends with it.
//   bench_fake_panel <program> [arguments...]
// Exit status: the program's; 2 when the watcher's name is taken or the program cannot start.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <utility>

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

// One item as the panel follows it: each change signal, a fresh read of its properties.
class ItemReader : public QObject {
    Q_OBJECT
  public:
    ItemReader(QDBusConnection bus, QString service, QObject* parent)
        : QObject(parent), bus_(std::move(bus)), service_(std::move(service)) {
        for (const char* signal : {"NewIcon", "NewTitle", "XAyatanaNewLabel"}) {
            bus_.connect(service_, QStringLiteral("/StatusNotifierItem"), kItemInterface,
                         QLatin1String(signal), this, SLOT(changed()));
        }
        changed();
    }

  public slots:
    void changed() {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service_, QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"));
        call.setArguments({kItemInterface});
        bus_.asyncCall(call);
    }

  private:
    QDBusConnection bus_;
    QString service_;
};

class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
  public:
    explicit Watcher(QDBusConnection bus) : bus_(std::move(bus)) {}
    bool hostRegistered() const { return true; }
    QStringList items() const { return items_; }
    int protocolVersion() const { return 0; }

  public slots:
    void RegisterStatusNotifierItem(const QString& service) {
        items_ << service;
        new ItemReader(bus_, service, this);
    }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);

  private:
    QDBusConnection bus_;
    QStringList items_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fputs("usage: bench_fake_panel <program> [arguments...]\n", stderr);
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher(bus);
    if (!bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")) ||
        !bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                            QDBusConnection::ExportAllContents)) {
        std::fputs("bench_fake_panel: the watcher's name is taken or there is no session bus\n",
                   stderr);
        return 2;
    }
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&program, &QProcess::finished, &app,
                     [&app](int code, QProcess::ExitStatus) { app.exit(code); });
    program.start(args.front(), args.mid(1));
    if (!program.waitForStarted()) {
        std::fprintf(stderr, "bench_fake_panel: %s did not start\n", qPrintable(args.front()));
        return 2;
    }
    return app.exec();
}

#include "FakePanel.moc"
