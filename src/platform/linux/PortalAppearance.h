#pragma once

#include "platform/DesktopAppearance.h"
#include "platform/ProcessLauncher.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

class QDBusMessage;

namespace talvor::platform {

// The settings portal: namespace "org.freedesktop.appearance", key "color-scheme" (1 dark,
// 2 light, 0 no preference: then a GTK theme named "...-dark" means dark).
class PortalAppearanceSource : public QObject, public AppearanceSource {
    Q_OBJECT
  public:
    static constexpr const char* kService = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPath = "/org/freedesktop/portal/desktop";
    static constexpr const char* kInterface = "org.freedesktop.portal.Settings";

    // Asks the portal on `bus` (the session bus; tests give a private one).
    explicit PortalAppearanceSource(const QDBusConnection& bus, QObject* parent = nullptr);
    ~PortalAppearanceSource() override;

    std::optional<bool> isDark() override;
    void readIsDark(std::function<void(std::optional<bool>)> answer) override;
    void setChangeHandler(ChangeHandler handler) override { handler_ = std::move(handler); }

  private slots:
    void onSettingChanged(const QDBusMessage& message);

  private:
    std::optional<QVariant> read(const QString& nameSpace, const QString& key);
    // The same read without waiting: `answer` runs once the portal replies or times out.
    void readLater(const QString& nameSpace, const QString& key,
                   std::function<void(std::optional<QVariant>)> answer);
    std::optional<QVariant> valueOf(const QString& nameSpace, const QDBusMessage& reply);
    bool darkFromScheme(uint scheme);

    QDBusConnection bus_;
    ChangeHandler handler_;
    bool failureLogged_ = false;
};

// KDE Plasma's colour scheme where its tool exists, else GNOME's "color-scheme" setting
// through gsettings; elsewhere nothing (one log line).
class DesktopAppearanceSetter : public AppearanceSetter {
  public:
    explicit DesktopAppearanceSetter(
        ProcessLauncher& launcher = ProcessLauncher::shared(),
        QString currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    bool setDark(bool dark) override;

  private:
    ProcessLauncher& launcher_;
    QString desktop_;
    bool unsupportedLogged_ = false;
};

}  // namespace talvor::platform
