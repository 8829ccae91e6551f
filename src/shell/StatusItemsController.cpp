#include "StatusItemsController.h"

#include "MenuBarDrawing.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/EventModifiers.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "widgets/TalvorTintedImage.h"

#include <QDateTime>
#include <QTime>

#include <exception>

namespace talvor {
namespace {

QTime timeOfDay(Date date, const QTimeZone& zone) {
    return date.toQDateTime().toTimeZone(zone).time();
}

platform::TextAttributes fontAndColor(const QFont& font, const QColor& color) {
    platform::TextAttributes a;
    a.font = font;
    a.foregroundColor = color;
    return a;
}

}  // namespace

StatusItemsController::StatusItemsController(StatusItemsDelegate& delegate,
                                             TalvorTimeSettings& timeSettings,
                                             TalvorDateSettings& dateSettings,
                                             platform::StatusBar& statusBar,
                                             platform::UserDefaults& defaults,
                                             platform::Clock& clock)
    : delegate_(delegate),
      timeSettings_(timeSettings),
      dateSettings_(dateSettings),
      statusBar_(statusBar),
      defaults_(defaults),
      clock_(clock),
      customDateStatusItem_(std::make_shared<CustomDateStatusItem>(this, dateSettings)),
      clockFaceLoader_([] { return drawClockBase(); }) {}

StatusItemsController::~StatusItemsController() {
    removeItem(TalvorTime_);
    removeItem(TalvorDate_);
}

bool StatusItemsController::isDark() const {
    return isDarkAppearance(defaults_);
}

void StatusItemsController::removeItem(std::shared_ptr<platform::StatusItem>& item) {
    if (item) {
        statusBar_.removeStatusItem(item.get());
        item.reset();
    }
}

void StatusItemsController::updateMenuBarItems() {
    delegate_.setLastDay(-1);
    delegate_.setupASMMenu();

    removeItem(TalvorDate_);
    if (dateSettings_.showDateMenu) {
        TalvorDate_ = statusBar_.statusItemWithLength(platform::VariableStatusItemLength);
        TalvorDate_->setHighlightMode(true);
        TalvorDate_->setView(customDateStatusItem_);
    }
    removeItem(TalvorTime_);
    if (timeSettings_.enableTimeMenu) {
        TalvorTime_ = statusBar_.statusItemWithLength(platform::VariableStatusItemLength);
        TalvorTime_->setHighlightMode(true);
    }

    if (TalvorTime_) {
        TalvorTime_->setTitle(QStringLiteral("Time"));
        if (const std::shared_ptr<platform::Menu> menu = delegate_.timeMenu()) {
            platform::MenuDelegate menuDelegate;
            menuDelegate.menuWillOpen = [this](platform::Menu& m) { menuWillOpen(m); };
            menuDelegate.menuDidClose = [this](platform::Menu& m) { menuDidClose(m); };
            menu->setDelegate(std::move(menuDelegate));
            TalvorTime_->setMenu(menu);
        }
        if (!dateSettings_.showMoon) {
            QRectF frame = TalvorTime_->buttonFrame();
            frame.translate(4.0, 0.0);
            TalvorTime_->setButtonFrame(frame);
        }
        TalvorTime_->setAlignment(Qt::AlignRight);
        TalvorTime_->setAction([this](platform::StatusItem& sender) { timeClicked(sender); });
    }
    if (TalvorDate_) {
        TalvorDate_->setTitle(QStringLiteral("Date"));
        TalvorDate_->setAction([this](platform::StatusItem&) { dateClicked(); });
        dateSettingUpdate(false);
    }
    delegate_.updateOtherItems();
    delegate_.updateTimeDate();
}

void StatusItemsController::UpdateFontColorMenuBar() {
    const bool dark = isDark();
    const MenuBarItemAttributes date = menuBarItemAttributes(
        MenuBarItemKind::Date, {dark ? dateSettings_.dateColorDMode : dateSettings_.dateColor, {}},
        dateSettings_.dateFont, dateSettings_.hasDropShadow);
    attrsDateDictionary = date.light;
    attrsDateDictionary_darkMode = date.dark;
    const MenuBarItemAttributes time = menuBarItemAttributes(
        MenuBarItemKind::Time, {dark ? timeSettings_.timeColorDMode : timeSettings_.timeColor, {}},
        timeSettings_.timeFont, timeSettings_.timeHasDropShadow);
    attrsTimeDictionary = time.light;
    attrsTimeDictionary_darkMode = time.dark;
}

void StatusItemsController::dateSettingUpdate(bool fromNotification) {
    UpdateFontColorMenuBar();
    if (fromNotification) {
        delegate_.setLastDay(-1);
    }
    delegate_.moonUpdate();
}

void StatusItemsController::drawHighlight(bool highlight, const QString& path) {
    const QColor color = highlight ? QColor(Qt::white) : QColor(Qt::black);
    if (path == QLatin1String("timePath")) {
        attrsTimeDictionary_darkMode = fontAndColor(timeSettings_.timeFont, color);
    } else if (path == QLatin1String("datePath")) {
        attrsDateDictionary_darkMode = fontAndColor(dateSettings_.dateFont, color);
    }

    const Date now = clock_.now();
    if (timeOfDay(now, clock_.currentZone()) == QTime(0, 0, 0)) {
        delegate_.setLastDay(-1);
    }
    if (TalvorDate_ && dateSettings_.showDateInMenu) {
        const QString text = delegate_.dateItemText(now);
        const double width = platform::widthOfString(text, dateSettings_.dateFont);
        customDateStatusItem_->setText(
            platform::AttributedString(text, attrsDateDictionary_darkMode),
            static_cast<float>(width), TalvorDate_->buttonFrame());
    }
    if (TalvorTime_) {
        TalvorTime_->setAttributedTitle(
            platform::AttributedString(delegate_.timeItemText(now), attrsTimeDictionary_darkMode));
    }
}

void StatusItemsController::menuWillOpen(platform::Menu&) {
    if (isDark() && isNearBlack(timeSettings_.timeColorDMode)) {
        drawHighlight(true, QStringLiteral("timePath"));
    }
}

void StatusItemsController::menuDidClose(platform::Menu&) {
    if (isDark() && isNearBlack(timeSettings_.timeColorDMode)) {
        drawHighlight(false, QStringLiteral("timePath"));
    }
}

void StatusItemsController::timeClicked(platform::StatusItem& sender) {
    platform::log(QStringLiteral("Time clicked %1").arg(sender.title()));
    const platform::ModifierFlags flags = platform::currentEventModifierFlags();
    if (flags & platform::AlternateKeyMask) {
        platform::log(QStringLiteral("NSAlternateKeyMask/Option"));
    } else if (flags & platform::ControlKeyMask) {
        platform::log(QStringLiteral("NSControlKeyMask"));
    } else if (flags & platform::ShiftKeyMask) {
        platform::log(QStringLiteral("NSShiftKeyMask"));
    } else if (flags & platform::CommandKeyMask) {
        platform::log(QStringLiteral("NSCommandKeyMask"));
    }
}

void StatusItemsController::dateClicked() {
    showCal();
}

void StatusItemsController::showCal() {
    delegate_.showCal();
}

void StatusItemsController::setClockFaceLoader(std::function<QImage()> loader) {
    clockFaceLoader_ = std::move(loader);
    clockImage_ = QImage();
    clockTint_.reset();
}

void StatusItemsController::loadClockIcon() {
    // Re-tinted when the time colour changes, so a new colour shows without a restart.
    if (!clockImage_.isNull() && clockTint_ == timeSettings_.timeColor) {
        return;
    }
    const QImage face = clockFaceLoader_ ? clockFaceLoader_() : QImage();
    if (face.isNull()) {
        clockImage_ = QImage();
        clockTint_.reset();
        return;
    }
    try {
        clockImage_ = TalvorTintedImage::tintedImageWithColor(face, timeSettings_.timeColor);
    } catch (const std::exception& e) {
        clockImage_ = face.copy();
        platform::log(
            QStringLiteral("setTimeIcon had an exception name: %1   reason: %2   userInfo: %3")
                .arg(QStringLiteral("std::exception"), QString::fromUtf8(e.what()), QString()));
    }
    clockTint_ = timeSettings_.timeColor;
}

void StatusItemsController::setTimeIcon(Date date) {
    const QTime t = timeOfDay(date, clock_.currentZone());
    loadClockIcon();
    if (!TalvorTime_) {
        return;
    }
    if (clockImage_.isNull()) {
        TalvorTime_->setImage(QImage());
        return;
    }
    TalvorTime_->setImage(drawAnalogClockIcon(clockImage_, t.hour(), t.minute(), t.second()));
}

void StatusItemsController::updateMenubaritems(bool moveLeft) {
    if (!TalvorTime_) {
        return;
    }
    QRectF frame = TalvorTime_->buttonFrame();
    frame.translate(moveLeft ? -4.0 : 4.0, 0.0);
    TalvorTime_->setButtonFrame(frame);
}

void StatusItemsController::updateDateItem(const QString& text) {
    if (!TalvorDate_) {
        return;
    }
    if (!dateSettings_.showDateInMenu) {
        customDateStatusItem_->setText(platform::AttributedString(QString()), 0.0f,
                                       TalvorDate_->buttonFrame());
        return;
    }
    const bool dark = isDark();
    platform::TextAttributes attrs = fontAndColor(
        dateSettings_.dateFont, dark ? dateSettings_.dateColorDMode : dateSettings_.dateColor);
    if (!customDateStatusItem_->isMenuOpen() && dateSettings_.hasDropShadow) {
        platform::TextShadow shadow;
        shadow.offset = QPointF(2.0, -2.0);
        shadow.blurRadius = 0.5;
        attrs.shadow = shadow;
    }
    attrsDateDictionary = attrs;
    attrsDateDictionary_darkMode = attrs;
    const double width = platform::widthOfString(text, dateSettings_.dateFont);
    customDateStatusItem_->setText(platform::AttributedString(text, attrs),
                                   static_cast<float>(width), TalvorDate_->buttonFrame());
    TalvorDate_->setLength(width + (dateSettings_.showMoon ? 32.0 : 13.0));
}

void StatusItemsController::updateTimeItem(const QString& text) {
    if (TalvorTime_) {
        TalvorTime_->setAttributedTitle(platform::AttributedString(
            text, isDark() ? attrsTimeDictionary_darkMode : attrsTimeDictionary));
    }
}

void StatusItemsController::updateAnalogIcon(Date now) {
    if (timeSettings_.showAnalogClockInMenu) {
        setTimeIcon(now);
    } else if (TalvorTime_) {
        TalvorTime_->setImage(QImage());
    }
}

}  // namespace talvor
