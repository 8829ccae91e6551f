#include "KitStart.h"

#include "CrashReportPrompt.h"
#include "crash/Wreckord.h"
#include "kit/AnalyticsHandOff.h"
#include "kit/DispatchQueue.h"
#include "kit/HostApplication.h"
#include "kit/KitLog.h"
#include "kit/KitRegistry.h"
#include "kit/MainBundle.h"
#include "kit/TLYTallyController.h"
#include "kit/Trellis.h"
#include "platform/Date.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>

#include <memory>

namespace talvor {

std::optional<kit::PlistValue> toKitValue(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Bool:
            return kit::PlistValue(value.toBool());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return kit::PlistValue(static_cast<std::int64_t>(value.toLongLong()));
        case QMetaType::Double:
        case QMetaType::Float:
            return kit::PlistValue(value.toDouble());
        case QMetaType::QString:
            return kit::PlistValue(value.toString().toStdString());
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return kit::PlistValue(kit::PlistData(bytes.begin(), bytes.end()));
        }
        case QMetaType::QDateTime:
            return kit::PlistValue(kit::PlistDate{
                Date::fromQDateTime(value.toDateTime()).timeIntervalSinceReferenceDate()});
        case QMetaType::QVariantList: {
            kit::PlistArray array;
            for (const QVariant& item : value.toList()) {
                auto converted = toKitValue(item);
                if (!converted) {
                    return std::nullopt;
                }
                array.push_back(std::move(*converted));
            }
            return kit::PlistValue(std::move(array));
        }
        case QMetaType::QVariantMap: {
            kit::PlistDictionary dictionary;
            const QVariantMap map = value.toMap();
            for (auto it = map.begin(); it != map.end(); ++it) {
                auto converted = toKitValue(it.value());
                if (!converted) {
                    return std::nullopt;
                }
                dictionary.emplace(it.key().toStdString(), std::move(*converted));
            }
            return kit::PlistValue(std::move(dictionary));
        }
        default:
            return std::nullopt;
    }
}

std::optional<kit::PlistValue> KitApplicationDefaults::objectForKey(const std::string& key) const {
    const QVariant value =
        platform::UserDefaults::standard().objectForKey(QString::fromStdString(key));
    return value.isValid() ? toKitValue(value) : std::nullopt;
}

void KitApplicationDefaults::removeObjectForKey(const std::string& key) {
    platform::UserDefaults::standard().removeObjectForKey(QString::fromStdString(key));
}

bool KitApplicationDefaults::synchronize() {
    return platform::UserDefaults::standard().synchronize();
}

namespace {

// The application's activation, as the kits hear of it.
void forwardActivationToKits() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr) {
        return;
    }
    QObject::connect(app, &QGuiApplication::applicationStateChanged, app,
                     [active = false](Qt::ApplicationState state) mutable {
                         const bool now = state == Qt::ApplicationActive;
                         if (now == active) {
                             return;
                         }
                         active = now;
                         if (now) {
                             kit::hostApplicationDidBecomeActive();
                         } else {
                             kit::hostApplicationWillResignActive();
                         }
                     });
}

}  // namespace

void kitsApplicationWillTerminate() {
    // Short: a quit by signal must end within a second; what is not sent goes next time.
    kit::hostApplicationWillTerminate(std::chrono::milliseconds(700));
}

void startKits() {
    // Whoever starts the analytics (the crash kit or this), they run this engine.
    kit::TLYTallyController::installAsTallyController();
    const std::string version = QCoreApplication::applicationVersion().toStdString();
    kit::MainBundle::setBaseInfo({
        {"CFBundleIdentifier", platform::kMainBundleIdentifier.toStdString()},
        {"CFBundleName", QCoreApplication::applicationName().toStdString()},
        {"CFBundleShortVersionString", version},
        {"CFBundleVersion", version},
    });
    kit::ApplicationDefaults::setStandard(std::make_shared<KitApplicationDefaults>());
    // The kit's lines join the application's log, with its time stamps and destination.
    kit::setLogSink([](std::string_view line) {
        platform::log(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    });
    // The kits' main-queue work runs on the application's loop.
    kit::DispatchQueue::setMainExecutor([](kit::DispatchQueue::Work work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work),
                                  Qt::QueuedConnection);
    });
    crash::WRKCrashReportingController::setPermissionPrompt(askBeforeSendingCrashReport);
    kit::KitRegistry::shared().add(kit::KitClass::of<crash::Wreckord>());
    kit::Trellis::load();
    // The usual case for a build without a service: said once, in the user's terms, rather
    // than as the kit's refusal of a missing configuration.
    const kit::PlistValue* config = kit::MainBundle::main()->objectForInfoDictionaryKey("Trellis");
    if (config == nullptr || config->dictionary() == nullptr) {
        platform::log(QStringLiteral(
            "Crash reports and usage statistics are off: no service key is installed "
            "(share/talvor/Info.plist with a \"Trellis\" entry)."));
        return;
    }
    try {
        kit::Trellis::with({&kit::KitClass::of<crash::Wreckord>()});
        // After the crash kit (which may have started them already, with its hand-off).
        kit::startAnalytics(std::nullopt);
        forwardActivationToKits();
    } catch (const std::exception& e) {
        platform::log(QStringLiteral("Crash reports and usage statistics are off: %1")
                          .arg(QString::fromUtf8(e.what())));
    }
}

}  // namespace talvor
