// The calendar window's services to the calendar panes: its picture, fonts and printing.
#include "CalendarUiKeys.h"
#include "CalendarWindow.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "platform/UserDefaults.h"
#include "ztCalendarController.h"

#include <QFileDialog>
#include <QFontDialog>
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
