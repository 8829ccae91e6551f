#include "AppleInterfaceStyle.h"

#include "SystemEventNames.h"
#include "foundation/FoundationKeys.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QPointer>

#include <atomic>

namespace talvor {
namespace {

std::atomic<AppearanceService*> gOverride{nullptr};

QPalette darkPalette() {
    QPalette p;
    const QColor window(45, 45, 48);
    const QColor base(30, 30, 32);
    const QColor text(232, 232, 232);
    const QColor disabled(128, 128, 128);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Light, QColor(70, 70, 74));
    p.setColor(QPalette::Midlight, QColor(60, 60, 64));
    p.setColor(QPalette::Mid, QColor(40, 40, 42));
    p.setColor(QPalette::Dark, QColor(20, 20, 22));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(90, 160, 240));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

}  // namespace

// ---- AppearanceObservation

AppearanceObservation::AppearanceObservation(AppearanceObservation&& other) noexcept
    : service_(std::exchange(other.service_, nullptr)), id_(std::exchange(other.id_, 0)) {}

AppearanceObservation& AppearanceObservation::operator=(AppearanceObservation&& other) noexcept {
    if (this != &other) {
        reset();
        service_ = std::exchange(other.service_, nullptr);
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void AppearanceObservation::reset() {
    if (service_ != nullptr && id_ != 0) {
        service_->removeReactor(id_);
    }
    service_ = nullptr;
    id_ = 0;
}

bool AppearanceObservation::isActive() const {
    return service_ != nullptr && service_->hasReactor(id_);
}

// ---- AppleInterfaceStyle

AppleInterfaceStyle AppleInterfaceStyle::current() {
    AppearanceService::shared();  // feeds the global value
    const QString text = platform::UserDefaults::standard().stringForKey(keys::AppleInterfaceStyle);
    if (text.isNull()) {
        return light;
    }
    if (text == QStringLiteral("Dark")) {
        return dark;
    }
    platform::log(QStringLiteral("Magical new style: ") + text);
    return light;
}

void AppleInterfaceStyle::setCurrent(AppleInterfaceStyle style) {
    setDarkModeViaAppleScript(style == dark);
}

void AppleInterfaceStyle::setDarkModeViaAppleScript(bool newValue) {
    const QString mode = platform::UserDefaults::standard().stringForKey(kAppearanceSwitchKey);
    // Absent counts as "Off": every caller stores a mode before switching.
    if (mode.isNull() || mode == kAppearanceSwitchOff) {
        return;
    }
    AppearanceService::shared().switchTo(newValue);
}

AppearanceObservation AppleInterfaceStyle::listenForChanges(bool alsoCallNow, Reactor reactor) {
    return AppearanceService::shared().addReactor(std::move(reactor), alsoCallNow);
}

QPalette AppleInterfaceStyle::appearance(bool /*vibrant*/) const {
    return value_ == dark ? darkPalette() : QPalette();
}

// ---- AppearanceService

AppearanceService::AppearanceService(std::unique_ptr<platform::AppearanceSource> source,
                                     std::unique_ptr<platform::AppearanceSetter> setter,
                                     platform::DistributedNotificationCenter* center,
                                     QObject* parent)
    : QObject(parent), source_(std::move(source)), setter_(std::move(setter)), center_(center) {
    if (QGuiApplication::instance() != nullptr) {
        original_ = QGuiApplication::palette();
    }
    // The desktop's answer may take a round trip: until it comes, the look it had last time.
    remembered_ = platform::RememberedAppearance::dark();
    dark_ = remembered_.value_or(false);
    constructing_ = true;
    source_->readIsDark([self = QPointer<AppearanceService>(this)](std::optional<bool> dark) {
        if (self) {
            self->answered(dark.value_or(false));
        }
    });
    constructing_ = false;
    platform::UserDefaults::standard().setGlobalValue(
        keys::AppleInterfaceStyle, dark_ ? QVariant(QStringLiteral("Dark")) : QVariant());
    applyPalette(dark_);
    source_->setChangeHandler([this](bool dark) {
        changeHeard_ = true;
        adopt(dark);
    });
}

void AppearanceService::answered(bool dark) {
    // The desktop says every change; an answer that comes after one may have been read
    // before it, and would undo it.
    if (changeHeard_) {
        return;
    }
    if (constructing_) {
        dark_ = dark;  // a source that answers at once: nothing has seen the other look
    } else {
        adopt(dark);
    }
    remember(dark);
}

void AppearanceService::remember(bool dark) {
    // Nothing remembered reads as light: a light desktop writes nothing.
    if (remembered_.value_or(false) != dark) {
        remembered_ = dark;
        platform::RememberedAppearance::remember(dark);
    }
}

AppearanceService::~AppearanceService() {
    source_->setChangeHandler({});
    if (paletteDark_ && QGuiApplication::instance() != nullptr) {
        QGuiApplication::setPalette(original_);
    }
}

AppearanceService& AppearanceService::shared() {
    if (AppearanceService* overridden = gOverride.load()) {
        return *overridden;
    }
    static AppearanceService* real =
        new AppearanceService(platform::AppearanceSource::createSystemSource(),
                              platform::AppearanceSetter::createSystemSetter(),
                              &platform::DistributedNotificationCenter::defaultCenter());
    return *real;
}

void AppearanceService::setShared(AppearanceService* service) {
    gOverride.store(service);
}

void AppearanceService::switchTo(bool dark) {
    if (dark == dark_) {
        return;
    }
    setter_->setDark(dark);
    // Taken on at once: the desktop may be slow to confirm, or have no setting at all.
    adopt(dark);
}

void AppearanceService::adopt(bool dark) {
    if (dark == dark_) {
        return;
    }
    dark_ = dark;
    remember(dark);
    platform::UserDefaults::standard().setGlobalValue(
        keys::AppleInterfaceStyle, dark ? QVariant(QStringLiteral("Dark")) : QVariant());
    applyPalette(dark);
    if (center_ != nullptr) {
        center_->post(AppleInterfaceThemeChangedNotification);
    }
    notifyReactors();
}

void AppearanceService::applyPalette(bool dark) {
    if (QGuiApplication::instance() == nullptr || dark == paletteDark_) {
        return;
    }
    paletteDark_ = dark;
    QGuiApplication::setPalette(dark ? darkPalette() : original_);
}

AppearanceObservation AppearanceService::addReactor(AppleInterfaceStyle::Reactor reactor,
                                                    bool alsoCallNow) {
    const std::uint64_t id = nextId_++;
    reactors_.emplace(id, std::move(reactor));
    if (alsoCallNow) {
        const AppleInterfaceStyle::Reactor copy = reactors_.at(id);
        if (copy(AppleInterfaceStyle::current()) ==
            ChangeReactorResponse::stopListeningForChanges) {
            reactors_.erase(id);
        }
    }
    return AppearanceObservation(this, id);
}

void AppearanceService::removeReactor(std::uint64_t id) {
    reactors_.erase(id);
}

void AppearanceService::notifyReactors() {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, reactor] : reactors_) {
        ids.push_back(id);
    }
    for (const std::uint64_t id : ids) {
        const auto it = reactors_.find(id);
        if (it == reactors_.end()) {
            continue;  // removed by an earlier reactor
        }
        const AppleInterfaceStyle::Reactor reactor = it->second;
        if (reactor(AppleInterfaceStyle::current()) ==
            ChangeReactorResponse::stopListeningForChanges) {
            reactors_.erase(id);
        }
    }
}

}  // namespace talvor
