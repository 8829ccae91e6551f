#include "BigCalendarPicture.h"

#include "CalendarUiKeys.h"
#include "DragView.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"

#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QUrl>

#include <algorithm>

namespace talvor {
namespace {

constexpr int kPictureHeight = 274;

}  // namespace

BigCalendarPicture::BigCalendarPicture(QWidget& window, platform::UserDefaults& defaults,
                                       MakeRoom makeRoom)
    : defaults_(defaults), makeRoom_(std::move(makeRoom)), well_(new DragView(&window)) {
    well_->setObjectName(QStringLiteral("calBGImg"));
    well_->setDelegate([this](const QImage& picture) { show(picture); });
    well_->setMinimumHeight(40);
}

bool BigCalendarPicture::isShown() const {
    return !well_->isHidden() && !well_->image().isNull();
}

int BigCalendarPicture::shownHeight() const {
    return isShown() ? well_->height() : 0;
}

void BigCalendarPicture::showChosen() {
    const bool own = defaults_.boolForKey(keys::ShowDefaultCalBGImg);
    const bool firstTime = !own && !defaults_.boolForKey(keys::isBGImageShownBefore);
    const QImage picture = own ? stored(QSize()) : defaultPicture(QSize(640, 400));
    if (picture.isNull()) {
        if (isShown()) {
            setHeight(0);
        }
        hideWell();
        return;
    }
    show(picture);
    if (firstTime) {
        // The first showing has its own height, whatever was stored.
        setHeight(kPictureHeight);
        defaults_.setBool(true, keys::isBGImageShownBefore);
        defaults_.synchronize();
    }
}

void BigCalendarPicture::show(const QImage& picture) {
    const bool hadPicture = isShown();
    well_->setImage(picture);
    well_->show();
    if (!hadPicture) {
        const double stored = defaults_.doubleForKey(keys::CalImgHeight);
        setHeight(stored > 40 ? static_cast<int>(stored) : kPictureHeight);
    }
}

bool BigCalendarPicture::add(const QString& path) {
    const QImage picture = read(path);
    if (picture.isNull()) {
        platform::log(QStringLiteral("Talvor: the picture %1 could not be read").arg(path));
        return false;
    }
    defaults_.setObject(QUrl::fromLocalFile(path).toString(), keys::CalImgURL);
    defaults_.setBool(true, keys::ShowDefaultCalBGImg);
    defaults_.synchronize();
    show(picture);
    return true;
}

void BigCalendarPicture::remove() {
    defaults_.setDouble(0, keys::CalImgWidth);
    defaults_.setDouble(0, keys::CalImgHeight);
    defaults_.removeObjectForKey(keys::CalImgURL);
    defaults_.setBool(true, keys::ShowDefaultCalBGImg);
    defaults_.synchronize();
    if (isShown()) {
        setHeight(0);
        hideWell();
    }
}

void BigCalendarPicture::keepSize() {
    if (isShown()) {
        defaults_.setDouble(well_->width(), keys::CalImgWidth);
        defaults_.setDouble(well_->height(), keys::CalImgHeight);
        defaults_.synchronize();
    }
}

void BigCalendarPicture::setScaling(TalvorCalPrefsSettings::Scaling scaling) {
    switch (scaling) {
        case TalvorCalPrefsSettings::Scaling::Proportional:
            well_->setScaling(DragView::Scaling::Proportional);
            break;
        case TalvorCalPrefsSettings::Scaling::None:
            well_->setScaling(DragView::Scaling::None);
            break;
        case TalvorCalPrefsSettings::Scaling::IndependentAxes:
            well_->setScaling(DragView::Scaling::IndependentAxes);
            break;
    }
}

QImage BigCalendarPicture::stored(const QSize& size) const {
    QImage picture = storedFile(defaults_);
    if (picture.isNull() || !size.isValid() || size.isEmpty()) {
        return picture;
    }
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(DragView::fitted(picture.size(), size, well_->scaling()), picture);
    return canvas;
}

QImage BigCalendarPicture::storedFile(const platform::UserDefaults& defaults) {
    const QUrl url(defaults.stringForKey(keys::CalImgURL));
    return url.isLocalFile() ? read(url.toLocalFile()) : QImage();
}

QImage BigCalendarPicture::defaultPicture(const QSize& size) {
    QImage picture(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, picture.height());
    sky.setColorAt(0, QColor(250, 214, 170));
    sky.setColorAt(0.6, QColor(236, 160, 150));
    sky.setColorAt(1, QColor(70, 110, 130));
    painter.fillRect(picture.rect(), sky);
    // A water lily on still water.
    const QPointF centre(picture.width() * 0.5, picture.height() * 0.72);
    const qreal r = std::min(picture.width(), picture.height()) * 0.18;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 120, 80));
    painter.drawEllipse(centre + QPointF(0, r * 0.45), r * 1.6, r * 0.35);
    for (int petal = 0; petal < 7; ++petal) {
        painter.save();
        painter.translate(centre);
        painter.rotate(-90 + (petal - 3) * 25);
        QRadialGradient glow(QPointF(r * 0.5, 0), r * 0.6);
        glow.setColorAt(0, QColor(255, 240, 245));
        glow.setColorAt(1, QColor(232, 120, 160));
        painter.setBrush(glow);
        painter.drawEllipse(QRectF(0, -r * 0.18, r, r * 0.36));
        painter.restore();
    }
    painter.setBrush(QColor(250, 210, 80));
    painter.drawEllipse(centre, r * 0.15, r * 0.15);
    return picture;
}

void BigCalendarPicture::showOursAsAtFirst(platform::UserDefaults& defaults) {
    defaults.setBool(false, keys::isBGImageShownBefore);
    defaults.synchronize();
}

void BigCalendarPicture::setHeight(int height) {
    makeRoom_(well_->isHidden() ? 0 : well_->height(), height);
}

void BigCalendarPicture::hideWell() {
    well_->setImage(QImage());
    well_->hide();
}

QImage BigCalendarPicture::read(const QString& path) {
    QImageReader reader(path);
    // A picture of any size must not take the memory of a poster.
    reader.setAllocationLimit(256);
    return reader.read();
}

}  // namespace talvor
