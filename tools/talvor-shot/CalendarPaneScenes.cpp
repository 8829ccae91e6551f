#include "CalendarPaneScenes.h"

#include "GrabWindow.h"
#include "SettingsScene.h"

#include "calendar/CalSource.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/ColorPickerController.h"
#include "foundation/SharedInstance.h"

#include <QCoreApplication>
#include <QTabWidget>
#include <QTableWidget>

namespace talvor::shot {
namespace {

QImage paneOf(int tag, QSize size, double scale,
              const std::function<void(QWidget&)>& arrange = {}) {
    SettingsScene scene(tag);
    scene.window().resize(size);
    if (arrange) {
        arrange(scene.window());
    }
    QCoreApplication::processEvents();
    return grabWindow(scene.window(), scale);
}

}  // namespace

QImage renderMiniCalendarPane(double scale) {
    // A few calendars shown, one marked with a dot.
    const auto& religious = CalSource::publicCalendars_Religious();
    if (religious.size() >= 2) {
        religious[0]->setEnabled(true);
        religious[1]->setHighlightType(3);
    }
    return paneOf(14, QSize(880, 1000), scale, [](QWidget& window) {
        if (auto* tabs = window.findChild<QTabWidget*>(QStringLiteral("sourceTabs"))) {
            tabs->setCurrentIndex(1);
        }
    });
}

QImage renderCalendarWindowPane(double scale) {
    TalvorCalPrefsSettings settings;
    settings.ShowNoOfCalendar = 6;
    SharedInstance<TalvorCalPrefsSettings>::Override use(settings);
    return paneOf(3, QSize(860, 720), scale);
}

QImage renderTodoPane(double scale) {
    return paneOf(17, QSize(820, 760), scale);
}

QImage renderHighlightPicker(double scale) {
    ColorPickerController picker;
    picker.showPickerWithHighlight(SourceHighlight(QColor(0x38, 0xB0, 0xDE), 3),
                                   [](const SourceHighlight&) {});
    picker.window()->adjustSize();
    QCoreApplication::processEvents();
    QImage shot = grabWindow(*picker.window(), scale);
    picker.window()->close();
    return shot;
}

}  // namespace talvor::shot
