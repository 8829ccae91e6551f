// The calendar window's services to the calendar panes: its picture, fonts, printing and the
// number of months it shows.
#include "CalendarUiKeys.h"
#include "CalendarWindow.h"
#include "MonthGrid.h"
#include "MonthPager.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "ztCalendarController.h"

#include <QFileDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QImageReader>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace talvor {

void ztCalendarController::actAddPhoto() {
    auto* dialog = new QFileDialog(window_.get(), tr("Choose a Picture"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    }
    dialog->setNameFilter(tr("Pictures (%1)").arg(patterns.join(QLatin1Char(' '))));
    connect(dialog, &QFileDialog::urlSelected, this, &ztCalendarController::addPhoto);
    dialog_ = dialog;
    dialog->open();
}

void ztCalendarController::addPhoto(const QUrl& url) {
    if (!url.isValid() || url.isEmpty()) {
        return;
    }
    defaults_.setObject(url.toString(), keys::CalImgURL);
    defaults_.synchronize();
    showCalBGImg();
}

void ztCalendarController::actDeletePhoto() {
    defaults_.removeObjectForKey(keys::CalImgURL);
    defaults_.removeObjectForKey(keys::CalImgSize);
    defaults_.synchronize();
    showCalBGImg();
}

QImage ztCalendarController::storedPhoto(const QSize& size) const {
    const QString stored = defaults_.stringForKey(keys::CalImgURL);
    if (stored.isEmpty()) {
        return {};
    }
    const QUrl url(stored);
    QImageReader reader(url.isLocalFile() ? url.toLocalFile() : stored);
    // A picture of any size must not take the memory of a poster.
    reader.setAllocationLimit(256);
    const QImage picture = reader.read();
    if (picture.isNull() || size.isEmpty()) {
        return {};
    }
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(window_ ? window_->palette().color(QPalette::Window) : QColor(Qt::white));
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QSize drawn = picture.size();
    switch (TalvorCalPrefsSettings::sharedInstance().imageScaling()) {
        case TalvorCalPrefsSettings::Scaling::Proportional:
            drawn = picture.size().scaled(size, Qt::KeepAspectRatio);
            break;
        case TalvorCalPrefsSettings::Scaling::IndependentAxes:
            drawn = size;
            break;
        case TalvorCalPrefsSettings::Scaling::None:
            break;
    }
    const QRect target(
        QPoint((size.width() - drawn.width()) / 2, (size.height() - drawn.height()) / 2), drawn);
    painter.drawImage(target, picture);
    return canvas;
}

void ztCalendarController::openFontDialog(QFont TalvorCalPrefsSettings::*font) {
    TalvorCalPrefsSettings& settings = TalvorCalPrefsSettings::sharedInstance();
    auto* dialog = new QFontDialog(settings.*font, window_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFontDialog::fontSelected, this, [this, font](const QFont& chosen) {
        TalvorCalPrefsSettings& s = TalvorCalPrefsSettings::sharedInstance();
        s.*font = chosen;
        s.writePrefsAndSync();
        updateCalendarPrefs();
    });
    dialog_ = dialog;
    dialog->open();
}

void ztCalendarController::actSetCalMonthFontSize() {
    openFontDialog(&TalvorCalPrefsSettings::CalendarWinMonthFontSize);
}

void ztCalendarController::actSetCalDayNumberFontSize() {
    openFontDialog(&TalvorCalPrefsSettings::CalendarWinDayFontSize);
}

void ztCalendarController::actSetCalWeekDayFontSize() {
    openFontDialog(&TalvorCalPrefsSettings::CalendarWinDayOfWeekFontSize);
}

void ztCalendarController::actPrintCal() {
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(QStringLiteral("Talvor Cal"));
    auto* dialog = new QPrintDialog(printer.get(), window_.get());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The printer lives as long as the dialog that prints on it.
    connect(dialog, qOverload<>(&QDialog::accepted), this, [this, printer] { printCal(*printer); });
    dialog_ = dialog;
    dialog->open();
}

bool ztCalendarController::printCal(QPrinter& printer) {
    if (!window_) {
        return false;
    }
    printer.setDocName(QStringLiteral("Talvor Cal"));
    window_->ensurePolished();
    window_->adjustSize();
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    const QSizeF panel = window_->size();
    const double scale = std::min(page.width() / panel.width(), page.height() / panel.height());
    painter.scale(scale, scale);
    window_->render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return painter.end();
}

void ztCalendarController::resetPreferences() {
    defaults_.setBool(false, keys::isBGImageShownBefore);
    defaults_.synchronize();
    showCalBGImg();
}

QDialog* ztCalendarController::openDialog() const {
    return dialog_ && dialog_->isVisible() ? dialog_.data() : nullptr;
}

}  // namespace talvor

namespace talvor {

QSize ztCalendarController::monthLayout() const {
    switch (TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar) {
        case 1:
            return {1, 1};
        case 6:
            return {3, 2};
        case 12:
            return {4, 3};
        default:
            break;
    }
    // As many as fit the screen the window is on, up to a year.
    const QSize one = monthView_ ? monthView_->sizeHint() : QSize(1, 1);
    const QPointF at = window_ && window_->isVisible() ? QPointF(window_->geometry().center())
                                                       : screens_.mouseLocation();
    const QRectF area = screens_.freeArea(at);
    const int cols = std::clamp(int(area.width() * 0.9 / std::max(1, one.width())), 1, 4);
    const int rows = std::clamp(int(area.height() * 0.8 / std::max(1, one.height())), 1, 3);
    return {cols, rows};
}

std::vector<MonthGridView*> ztCalendarController::monthViews() const {
    std::vector<MonthGridView*> views;
    if (monthView_ != nullptr) {
        views.push_back(monthView_);
    }
    views.insert(views.end(), followingMonths_.begin(), followingMonths_.end());
    return views;
}

void ztCalendarController::showMonthCount() {
    if (!window_ || monthView_ == nullptr) {
        return;
    }
    auto* column = qobject_cast<QBoxLayout*>(window_->layout());
    if (months_ == nullptr && column != nullptr) {
        // The first month moves into a grid of its own that the following months share.
        months_ = new QWidget(window_.get());
        auto* grid = new QGridLayout(months_);
        grid->setContentsMargins(0, 0, 0, 0);
        delete column->replaceWidget(monthView_, months_);  // the old item is ours
        grid->addWidget(monthView_, 0, 0);
        connect(monthView_, &MonthGridView::previousMonth, this,
                &ztCalendarController::showFollowingMonths);
        connect(monthView_, &MonthGridView::nextMonth, this,
                &ztCalendarController::showFollowingMonths);
    }
    auto* grid = months_ ? qobject_cast<QGridLayout*>(months_->layout()) : nullptr;
    if (grid == nullptr) {
        return;
    }
    const QSize layout = monthLayout();
    const size_t wanted = static_cast<size_t>(layout.width() * layout.height() - 1);
    while (followingMonths_.size() > wanted) {
        delete followingMonths_.back();
        followingMonths_.pop_back();
    }
    while (followingMonths_.size() < wanted) {
        followingMonths_.push_back(new MonthGridView(MonthGridView::bigStyle(), months_));
    }
    for (size_t i = 0; i < followingMonths_.size(); ++i) {
        const int cell = static_cast<int>(i) + 1;
        grid->addWidget(followingMonths_[i], cell / layout.width(), cell % layout.width());
    }
    showFollowingMonths();
}

void ztCalendarController::showFollowingMonths() {
    const int32_t first = pager_ != nullptr ? pager_->currOffset() : 0;
    for (size_t i = 0; i < followingMonths_.size(); ++i) {
        followingMonths_[i]->setGrid(makeMonthGrid(CalendarExtras::userCalendar(), clock_.now(),
                                                   first + static_cast<int32_t>(i) + 1,
                                                   userFirstWeekday(defaults_)));
    }
}

}  // namespace talvor
