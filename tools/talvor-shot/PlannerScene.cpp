#include "PlannerScene.h"

#include "GrabWindow.h"
#include "SettingsScene.h"

#include "foundation/TalvorFilePaths.h"
#include "platform/Clock.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QSlider>
#include <QTemporaryDir>
#include <QVariantMap>

namespace talvor::shot {
namespace {

class StillClock : public platform::Clock {
  public:
    Date now() const override {
        return Date::fromQDateTime(QDateTime(QDate(2026, 3, 10), QTime(11, 20), QTimeZone::utc()));
    }
    QTimeZone currentZone() const override { return QTimeZone("Europe/London"); }
};

QVariant row(const char* city, const char* zone) {
    return QVariantMap{{QStringLiteral("CityName"), QString::fromUtf8(city)},
                       {QStringLiteral("FilePath"), QString::fromLatin1(zone)}};
}

}  // namespace

QImage renderSettingsPlanner(const QSize& size, double scale) {
    // The places are read from a data folder of the scene's own.
    QTemporaryDir data;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    StillClock clock;
    platform::Clock::setShared(&clock);
    TalvorFilePaths::TalvorSaveSchedulerTable(
        {QVariantMap{{QStringLiteral("CityName"), QStringLiteral("Local Time")},
                     {QStringLiteral("FilePath"), QStringLiteral("empty")},
                     {QStringLiteral("ActualCityName"), QStringLiteral("False")}},
         row("New_York", "America/New_York"), row("Kathmandu", "Asia/Kathmandu"),
         row("Santa Cruz de Tenerife", "Atlantic/Canary"), row("Chatham", "Pacific/Chatham")});
    QImage image;
    {
        SettingsScene scene(PaneTag::globalScheduler);
        scene.window().resize(size);
        QCoreApplication::processEvents();
        if (auto* meeting =
                scene.window().findChild<QCheckBox*>(QStringLiteral("scheduleMeeting"))) {
            meeting->setChecked(true);
        }
        if (auto* slider =
                scene.window().findChild<QSlider*>(QStringLiteral("timeZoneMovingSlider"))) {
            slider->setValue(15 * 60);
        }
        image = grabWindow(scene.window(), scale);
    }
    platform::Clock::setShared(nullptr);
    if (oldData.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", oldData);
    }
    return image;
}

}  // namespace talvor::shot
