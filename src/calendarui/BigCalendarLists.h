#pragma once

#include "calendar/CalMonth.h"
#include "platform/CalendarStore.h"

#include <QDate>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QStringList>

#include <functional>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPropertyAnimation;
class QScrollArea;
class QToolButton;
class QVBoxLayout;
class QWidget;

namespace talvor {

namespace platform {
class Clock;
class UserDefaults;
}  // namespace platform

// The big calendar's part under the months: the events of the picked day, or the to-dos,
// from the calendars the mini calendar reads. It can be hidden, the window shrinking by it.
class BigCalendarLists : public QObject {
    Q_OBJECT
  public:
    // Builds the part into `window` and its hide/show item at the end of `menu`; all must
    // outlive the part. `resized` is called when the window has finished growing or shrinking.
    BigCalendarLists(QWidget& window, QMenu& menu, platform::Clock& clock,
                     platform::UserDefaults& defaults, std::function<void()> resized);
    ~BigCalendarLists() override;

    QWidget* part() const { return hideBottom_; }
    QAction* hideShowMenuItem() const { return hideShowMenuItem_; }
    QToolButton* eventsButton() const { return eventsButton_; }
    QToolButton* todoButton() const { return todoButton_; }

    void hideShowTaskEvents();
    bool isHidden() const { return hiddenBottom_; }
    bool isAnimatingSize() const { return animatingSize_; }
    // The height the part takes in the window; 0 while it is hidden.
    int room() const;

    bool showsTodos() const { return taskORevents_; }
    void setShowsTodos(bool todos);
    QDate selectedDay() const;
    void selectDay(const QDate& day);
    void reloadList();
    QStringList listedItems() const;
    void applyTodoSettings();
    void archiveFinishedTodos();

    // The calendars' events arrived ("EventsLoaded").
    void eventsLoaded();
    // The window opened: rows that went stale while it was closed are made now.
    void windowShown();
    // The date settings changed: the part's hiding, the to-do icon and the priorities' texts.
    void datePrefsChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildHeader(QWidget& part);
    void buildMenuItem(QMenu& menu);
    void drawList();
    void drawTodoRows(QWidget& rows, QVBoxLayout& column) const;
    void retitleHideShowItem();

    QWidget& window_;
    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    std::function<void()> resized_;
    bool hiddenBottom_ = false;
    bool animatingSize_ = false;
    QRect contentOldFrame_;  // the frame before the part was hidden
    QWidget* hideBottom_ = nullptr;
    QAction* hideShowMenuItem_ = nullptr;
    QLabel* listTitle_ = nullptr;
    QToolButton* eventsButton_ = nullptr;
    QToolButton* todoButton_ = nullptr;
    QScrollArea* listArea_ = nullptr;
    QPointer<QPropertyAnimation> animation_;
    bool taskORevents_ = false;  // true: the to-dos
    bool listStale_ = true;      // not drawn since the window was last open: drawn when it opens
    QDate selectedDay_;          // invalid: today
    CalMonthPtr events_;         // the month of the selected day, filled by the back end
    std::vector<platform::StoreTodo> tasks_;
};

}  // namespace talvor
