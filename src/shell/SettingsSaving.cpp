#include "SettingsSaving.h"

#include "alarms/ActiveAlarms.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/Preferences.h"
#include "platform/SharedInstance.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

namespace talvor {
namespace {

const QString kSaveFailureTitle = QStringLiteral("Talvor cannot save its settings");

void showSaveFailure(const QString& why) {
    static QPointer<QMessageBox> shown;
    if (shown) {
        return;
    }
    shown = new QMessageBox(
        QMessageBox::Warning, kSaveFailureTitle,
        QStringLiteral("%1.\n\nChanges made now are kept while Talvor runs and saved as soon as "
                       "the settings can be written again. Meanwhile your alarms are also kept "
                       "in %2.")
            .arg(why, unsavedAlarmsPath()),
        QMessageBox::NoButton);
    shown->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    platform::openDialog(shown);
}

}  // namespace

void noticeSettingsThatCannotBeSaved() {
    platform::Preferences::setFailureHandler([](const QString&, const QString& why) {
        // Logged at once: a save that fails while quitting has no loop left to show it.
        platform::log(QStringLiteral("%1: %2").arg(kSaveFailureTitle, why));
        // A save on any thread may fail; the notice is shown from the main loop.
        QMetaObject::invokeMethod(
            qApp, [why] { showSaveFailure(why); }, Qt::QueuedConnection);
    });
}

bool saveSettingsForQuit() {
    // Only models that were in use: making one now would load it just to write it back.
    if (TalvorTimeSettings* time = SharedInstance<TalvorTimeSettings>::existing()) {
        time->writePrefs();
    }
    if (TalvorDateSettings* date = SharedInstance<TalvorDateSettings>::existing()) {
        date->writePrefs();
    }
    platform::Preferences::disableAutoSync();
    if (!platform::Preferences::synchronizeAll()) {
        platform::log(QStringLiteral("Some settings could not be saved"));
        return false;
    }
    return true;
}

}  // namespace talvor
