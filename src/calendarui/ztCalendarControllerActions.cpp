// The calendar window's services to the calendar panes: its picture, fonts, printing and the
// months it shows. Each hands over to the window's own command.
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "ztCalendarController.h"

#include <QDialog>
#include <QUrl>

namespace talvor {

void ztCalendarController::actAddPhoto() {
    choosePhoto();
}

bool ztCalendarController::addPhoto(const QUrl& url) {
    if (!url.isLocalFile()) {
        platform::log(QStringLiteral("Talvor: only a picture file can be the calendar's picture, "
                                     "not %1")
                          .arg(url.toDisplayString()));
        return false;
    }
    return addPhoto(url.toLocalFile());
}

void ztCalendarController::actDeletePhoto() {
    deletePhoto();
}

QImage ztCalendarController::storedPhoto(const QSize& size) const {
    return picture_ ? picture_->stored(size) : BigCalendarPicture::storedFile(defaults_);
}

void ztCalendarController::actSetCalMonthFontSize() {
    chooseFont(FontOption::Month);
}

void ztCalendarController::actSetCalDayNumberFontSize() {
    chooseFont(FontOption::Day);
}

void ztCalendarController::actSetCalWeekDayFontSize() {
    chooseFont(FontOption::Weekday);
}

void ztCalendarController::actPrintCal() {
    printWithDialog(0);
}

bool ztCalendarController::printCal(QPrinter& printer) {
    return window_ && printCalendar(printer, 0);
}

void ztCalendarController::resetPreferences() {
    BigCalendarPicture::showOursAsAtFirst(defaults_);
    // A closed window shows it so when it next opens.
    if (isWindowVisible()) {
        showCalBGImg();
    }
}

QDialog* ztCalendarController::openDialog() const {
    return menu_ ? menu_->openDialog() : nullptr;
}

QSize ztCalendarController::monthLayout() const {
    if (calView_ == nullptr) {
        return {};
    }
    const Counts counts = BigCalendarLayout::shown(*calView_);
    return {counts.across, counts.down};
}

QList<QDate> ztCalendarController::shownMonths() const {
    return calView_ == nullptr ? QList<QDate>() : BigCalendarLayout::shownMonths(*calView_);
}

}  // namespace talvor
