#include "PortalAppearance.h"

#include "platform/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace talvor::platform {
namespace {

constexpr int kCallTimeoutMs = 1000;
const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");
const QString kGnomeInterface = QStringLiteral("org.gnome.desktop.interface");
const QString kGtkTheme = QStringLiteral("gtk-theme");

// The portal's Read wraps the value in one variant more than ReadOne does.
QVariant unwrap(QVariant v) {
    while (v.metaType() == QMetaType::fromType<QDBusVariant>()) {
        v = qvariant_cast<QDBusVariant>(v).variant();
    }
    return v;
}

bool themeIsDark(const std::optional<QVariant>& theme) {
    return theme && theme->toString().endsWith(QStringLiteral("-dark"), Qt::CaseInsensitive);
}

}  // namespace

PortalAppearanceSource::PortalAppearanceSource(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    // The whole message: a typed slot would depend on the variant type being registered first.
    if (!bus_.connect(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                      QString::fromLatin1(kInterface), QStringLiteral("SettingChanged"), this,
                      SLOT(onSettingChanged(QDBusMessage)))) {
        log(QStringLiteral("Cannot follow the desktop portal's settings"));
    }
}

PortalAppearanceSource::~PortalAppearanceSource() = default;

namespace {

QDBusMessage readCall(const QString& nameSpace, const QString& key) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(PortalAppearanceSource::kService),
        QString::fromLatin1(PortalAppearanceSource::kPath),
        QString::fromLatin1(PortalAppearanceSource::kInterface), QStringLiteral("Read"));
    call << nameSpace << key;
    return call;
}

}  // namespace

std::optional<QVariant> PortalAppearanceSource::valueOf(const QString& nameSpace,
                                                        const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (nameSpace == kAppearance && !failureLogged_) {
            failureLogged_ = true;
            log(QStringLiteral(
                    "The desktop portal does not tell light or dark (%1): taken as light")
                    .arg(reply.errorName().isEmpty() ? QStringLiteral("no reply")
                                                     : reply.errorName()));
        }
        return std::nullopt;
    }
    return unwrap(reply.arguments().constFirst());
}

std::optional<QVariant> PortalAppearanceSource::read(const QString& nameSpace, const QString& key) {
    return valueOf(nameSpace, bus_.call(readCall(nameSpace, key), QDBus::Block, kCallTimeoutMs));
}

void PortalAppearanceSource::readLater(const QString& nameSpace, const QString& key,
                                       std::function<void(std::optional<QVariant>)> answer) {
    // Owned by this source: a reply after it has gone reaches nobody.
    auto* watcher =
        new QDBusPendingCallWatcher(bus_.asyncCall(readCall(nameSpace, key), kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, nameSpace, answer = std::move(answer)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                answer(valueOf(nameSpace, finished->reply()));
            });
}

void PortalAppearanceSource::readIsDark(std::function<void(std::optional<bool>)> answer) {
    readLater(kAppearance, kColorScheme,
              [this, answer = std::move(answer)](std::optional<QVariant> scheme) {
                  if (!scheme) {
                      answer(std::nullopt);
                      return;
                  }
                  const uint value = scheme->toUInt();
                  if (value == 1 || value == 2) {
                      answer(value == 1);
                      return;
                  }
                  readLater(kGnomeInterface, kGtkTheme,
                            [answer](const std::optional<QVariant>& theme) {
                                answer(themeIsDark(theme));
                            });
              });
}

bool PortalAppearanceSource::darkFromScheme(uint scheme) {
    if (scheme == 1) {
        return true;
    }
    if (scheme == 2) {
        return false;
    }
    // No preference: older desktops say dark through the theme's name.
    return themeIsDark(read(kGnomeInterface, kGtkTheme));
}

std::optional<bool> PortalAppearanceSource::isDark() {
    const std::optional<QVariant> scheme = read(kAppearance, kColorScheme);
    if (!scheme) {
        return std::nullopt;
    }
    return darkFromScheme(scheme->toUInt());
}

void PortalAppearanceSource::onSettingChanged(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (!handler_ || args.size() < 3) {
        return;
    }
    const QString nameSpace = args.at(0).toString();
    const QString key = args.at(1).toString();
    const QVariant& value = args.at(2);
    if (nameSpace == kAppearance && key == kColorScheme) {
        handler_(darkFromScheme(unwrap(value).toUInt()));
    } else if (nameSpace == kGnomeInterface && key == kGtkTheme) {
        if (const std::optional<bool> dark = isDark()) {
            handler_(*dark);
        }
    }
}

DesktopAppearanceSetter::DesktopAppearanceSetter(ProcessLauncher& launcher, QString currentDesktop)
    : launcher_(launcher), desktop_(std::move(currentDesktop)) {}

bool DesktopAppearanceSetter::setDark(bool dark) {
    if (desktop_.contains(QStringLiteral("KDE"), Qt::CaseInsensitive)) {
        const QString tool = launcher_.findExecutable(QStringLiteral("plasma-apply-colorscheme"));
        if (!tool.isEmpty()) {
            return launcher_.startDetached(
                tool, {dark ? QStringLiteral("BreezeDark") : QStringLiteral("BreezeLight")});
        }
    }
    const QString gsettings = launcher_.findExecutable(QStringLiteral("gsettings"));
    if (!gsettings.isEmpty()) {
        return launcher_.startDetached(
            gsettings, {QStringLiteral("set"), kGnomeInterface, kColorScheme,
                        dark ? QStringLiteral("prefer-dark") : QStringLiteral("default")});
    }
    if (!unsupportedLogged_) {
        unsupportedLogged_ = true;
        log(
            QStringLiteral("This desktop has no light/dark setting that Talvor can change; only "
                           "Talvor's own look follows"));
    }
    return false;
}

}  // namespace talvor::platform
