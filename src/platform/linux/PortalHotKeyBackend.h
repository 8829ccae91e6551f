#pragma once

#include "platform/HotKeyBackend.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <map>
#include <utility>

namespace talvor::platform {

// (sa{sv}): one shortcut of the GlobalShortcuts portal: its id and its properties.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;
QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& shortcut);
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& shortcut);

// Global hot keys through the desktop portal's GlobalShortcuts interface, for Wayland
// sessions, where no program may grab keys itself. The portal binds the keys in a session
// of ours and the desktop may ask the user first, so everything here is asynchronous: a
// registration is accepted at once and bound with the others at the next pass of the event
// loop; the desktop's answer comes later. When the desktop refuses, or has no such portal,
// it says so once in the log and `isAvailable` turns false (the hot-key fields say that
// global keys are not available here); the keys then work while a Talvor window has focus.
class PortalHotKeyBackend : public QObject, public HotKeyBackend {
    Q_OBJECT
  public:
    PortalHotKeyBackend(QDBusConnection bus, std::shared_ptr<const KeyboardLayout> layout);
    ~PortalHotKeyBackend() override;

    bool isAvailable() const override { return !refused_; }
    HotKeyGrab registerHotKey(qint32 keyCode, ModifierFlags flags, Handler handler) override;
    void unregisterHotKey(quint32 handle) override;
    // The portal decides; nothing of ours can tell beforehand.
    bool isHeldElsewhere(qint32, ModifierFlags) override { return false; }
    std::shared_ptr<const KeyboardLayout> keyboardLayout() const override { return layout_; }

    // The trigger offered to the desktop, in the shortcuts specification's form ("CTRL+ALT+t").
    QString preferredTrigger(qint32 keyCode, ModifierFlags flags) const;
    // The session's handle once the portal made it; empty before.
    const QString& session() const { return session_; }
    // Whether the portal's last answer bound every current registration.
    bool isBound() const { return bound_; }

  signals:
    // The desktop answered a binding (tests wait for it).
    void bindingAnswered(bool accepted);

  private slots:
    void activated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                   const QVariantMap& options);
    void deactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

  private:
    using Answer = std::function<void(uint response, const QVariantMap& results)>;

    // Calls `method` with a fresh handle token; `answer` gets the Request's Response.
    void request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                 Answer answer);
    void createSession();
    void scheduleBind();
    void bind();
    void refuse(const QString& why);
    void deliver(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                 bool pressed);

    QDBusConnection bus_;
    std::shared_ptr<const KeyboardLayout> layout_;
    HotKeyRegistrations registrations_;
    int tokens_ = 0;
    QString session_;
    bool creating_ = false;
    bool bindPending_ = false;
    bool bound_ = false;
    bool refused_ = false;
    // After a refusal: the keys while a Talvor window has focus.
    std::unique_ptr<FocusHotKeys> focus_;
};

// The answer to one portal request: its Response signal, once.
class PortalResponse : public QObject {
    Q_OBJECT
  public:
    explicit PortalResponse(std::function<void(uint, const QVariantMap&)> answer, QObject* parent)
        : QObject(parent), answer_(std::move(answer)) {}
    void give(uint response, const QVariantMap& results) {
        if (auto answer = std::exchange(answer_, nullptr)) {
            answer(response, results);
        }
        deleteLater();
    }

  public slots:
    void Response(uint response, const QVariantMap& results) { give(response, results); }

  private:
    std::function<void(uint, const QVariantMap&)> answer_;
};

}  // namespace talvor::platform

Q_DECLARE_METATYPE(talvor::platform::PortalShortcut)
