#pragma once

#include "CustomDateStatusItem.h"
#include "platform/AttributedString.h"
#include "platform/Clock.h"
#include "platform/Date.h"
#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace talvor {

namespace platform {
class Menu;
}
class TalvorDateSettings;
class TalvorTimeSettings;

// What the application delegate supplies to the status items.
class StatusItemsDelegate {
  public:
    virtual ~StatusItemsDelegate() = default;
    // The time item's menu (built once at start-up).
    virtual std::shared_ptr<platform::Menu> timeMenu() = 0;
    // `lastDay`; -1 forces the tick's full update.
    virtual void setLastDay(qint64 day) = 0;
    virtual void setupASMMenu() = 0;
    virtual void updateTimeDate() = 0;
    virtual void moonUpdate() = 0;
    virtual void showCal() = 0;
    // The texts as the tick writes them for `now`: the time through the time pattern with
    // "a.m."/"p.m." and the flashing separator; the date through the whole `dateFormat`.
    virtual QString timeItemText(Date now) = 0;
    virtual QString dateItemText(Date now) = 0;
    // The other items of the strip, made again after the date and time items.
    virtual void updateOtherItems() {}
};

// The time and date status items, their text attributes for both appearances, the
// highlight while a menu is open, and the analog clock icon. Owned by the application
// delegate; main thread only.
class StatusItemsController : public CustomDateStatusItemHost {
  public:
    // None is owned; all must outlive the controller.
    StatusItemsController(StatusItemsDelegate& delegate, TalvorTimeSettings& timeSettings,
                          TalvorDateSettings& dateSettings,
                          platform::StatusBar& statusBar = platform::StatusBar::systemStatusBar(),
                          platform::UserDefaults& defaults = platform::UserDefaults::standard(),
                          platform::Clock& clock = platform::Clock::shared());
    ~StatusItemsController() override;
    StatusItemsController(const StatusItemsController&) = delete;
    StatusItemsController& operator=(const StatusItemsController&) = delete;

    // (Re)creates the date and time items from `showDateMenu` and `enableTimeMenu`.
    void updateMenuBarItems();
    // Rebuilds the four attribute sets from the settings and the appearance.
    void UpdateFontColorMenuBar();
    // `dateSettingUpdate:`; `fromNotification` is a notification rather than nil.
    void dateSettingUpdate(bool fromNotification);
    // White (highlight) or black text in the dark slot of "timePath" or "datePath", drawn at once.
    void drawHighlight(bool highlight, const QString& path) override;
    void menuWillOpen(platform::Menu& menu);
    void menuDidClose(platform::Menu& menu);
    void timeClicked(platform::StatusItem& sender);
    void dateClicked();
    void showCal() override;
    // The tinted face, made once and again when `timeColor` changes.
    void loadClockIcon();
    void setTimeIcon(Date date);
    // Moves the time item's button 4 points left (true) or right (false).
    void updateMenubaritems(bool moveLeft);

    // What the tick (`updateTimeDate`) does with the items, given texts it formatted:
    // the date item's text, attributes and length (`lastDay` is the tick's own business),
    // the time item's title, and the analog icon or none.
    void updateDateItem(const QString& text);
    void updateTimeItem(const QString& text);
    void updateAnalogIcon(Date now);

    // Where the clock face comes from; by default our own face drawn in code. A loader
    // that gives a null image stands for a missing resource.
    void setClockFaceLoader(std::function<QImage()> loader);

    bool isDark() const;
    platform::StatusBar& statusBar() const { return statusBar_; }

    const std::shared_ptr<platform::StatusItem>& TalvorTime() const { return TalvorTime_; }
    const std::shared_ptr<platform::StatusItem>& TalvorDate() const { return TalvorDate_; }
    const std::shared_ptr<CustomDateStatusItem>& customDateStatusItem() const {
        return customDateStatusItem_;
    }
    const QImage& clockImage() const { return clockImage_; }

    platform::TextAttributes attrsTimeDictionary;
    platform::TextAttributes attrsTimeDictionary_darkMode;
    platform::TextAttributes attrsDateDictionary;
    platform::TextAttributes attrsDateDictionary_darkMode;

  private:
    void removeItem(std::shared_ptr<platform::StatusItem>& item);

    StatusItemsDelegate& delegate_;
    TalvorTimeSettings& timeSettings_;
    TalvorDateSettings& dateSettings_;
    platform::StatusBar& statusBar_;
    platform::UserDefaults& defaults_;
    platform::Clock& clock_;
    std::shared_ptr<platform::StatusItem> TalvorTime_;
    std::shared_ptr<platform::StatusItem> TalvorDate_;
    std::shared_ptr<CustomDateStatusItem> customDateStatusItem_;
    QImage clockImage_;
    std::optional<QColor> clockTint_;
    std::function<QImage()> clockFaceLoader_;
};

}  // namespace talvor
