#include "PortalAppearance.h"

#include "platform/Log.h"

#include <QDBusMessage>
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

std::optional<QVariant> PortalAppearanceSource::read(const QString& nameSpace, const QString& key) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                       QString::fromLatin1(kInterface), QStringLiteral("Read"));
    call << nameSpace << key;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
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

bool PortalAppearanceSource::darkFromScheme(uint scheme) {
    if (scheme == 1) {
        return true;
    }
    if (scheme == 2) {
        return false;
    }
    // No preference: older desktops say dark through the theme's name.
    const std::optional<QVariant> theme = read(kGnomeInterface, kGtkTheme);
    return theme && theme->toString().endsWith(QStringLiteral("-dark"), Qt::CaseInsensitive);
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
