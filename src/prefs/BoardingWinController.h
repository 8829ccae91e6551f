#pragma once

#include "platform/VideoPlayer.h"
#include "widgets/BFPageControl.h"

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QHBoxLayout;

namespace talvor {

// The pictures of the welcome and tutorial pages, by resource name ("1-WelcomeScreen.png"):
// the program's own windows, rendered when it is built and installed beside its other data.
namespace OnboardingPictures {
// The size every page shows its picture at.
inline constexpr QSize kSize{560, 320};
// Where the pictures and videos are installed.
QString folder();
// The installed picture at `size` (scaled whole when made for another size); when it is not
// installed, the page's heading and line on a plain field, and one log line.
QImage picture(const QString& name, const QSize& size);
// The walkthrough video `name` ("3-TurningoffAppleClock"), installed beside the program's
// other data; an empty URL when it is not installed.
QUrl video(const QString& name);
}  // namespace OnboardingPictures

// The welcome window: five pages of pictures, two of them with a short video (titled, with
// its steps written under the title), page dots, a link to the manual on the first page and
// a Continue button on the last. Under every page, until the user answers it, the calendar
// access question: asked here, early, rather than at the first look at a calendar. Left
// unanswered, the calendars' own reminders still ring.
class BoardingWinController : public QObject {
    Q_OBJECT
  public:
    // The controller with its window; null (and a log line) when no window can be made, as
    // in a process without a graphical application. `makePlayer` makes the video player
    // (tests give a fake).
    static std::unique_ptr<BoardingWinController> init(
        platform::VideoPlayer::Factory makePlayer = &platform::VideoPlayer::create);
    ~BoardingWinController() override;

    static constexpr int kPages = 5;
    // The name of page `page`'s picture ("1-WelcomeScreen.png").
    static QString pictureName(int page);

    QWidget* window() const { return window_.get(); }
    // Shows the window, in front and focused.
    void showWindow();
    int currentPage() const { return currentPage_; }
    // Shows page `index` as if its dot was clicked.
    void pageControlDidSelectPageAtIndex(int index);
    void continueBtnPressed();
    void actHelpManualClicked();
    // The answer to the calendar access question, kept in the calendar store.
    void answerCalendarAccess(bool granted);

    // Where a page's video is found; an empty URL shows the page's picture instead.
    std::function<QUrl(const QString& name)> videoFor = &OnboardingPictures::video;

    BFPageControl* control() const { return control_; }
    QLabel* currImg() const { return currImg_; }
    QLabel* titleLbl() const { return titleLbl_; }
    QFrame* titleLine() const { return titleLine_; }
    QPushButton* btnHelpManual() const { return btnHelpManual_; }
    QPushButton* continueBtn() const { return continueBtn_; }
    QPushButton* closeBtn() const { return closeBtn_; }
    QLabel* stepsLbl() const { return stepsLbl_; }
    QLabel* calendarAccessLbl() const { return calendarAccessLbl_; }
    QPushButton* allowCalendarBtn() const { return allowCalendarBtn_; }
    QPushButton* denyCalendarBtn() const { return denyCalendarBtn_; }
    // Made when a page first shows a video; null until then.
    platform::VideoPlayer* player() const { return player_.get(); }

  private:
    explicit BoardingWinController(platform::VideoPlayer::Factory makePlayer);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void windowDidLoad();
    void makePlayerIfNeeded();
    void showCalendarAccess();

    platform::VideoPlayer::Factory makePlayer_;
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<platform::VideoPlayer> player_;
    QHBoxLayout* stage_ = nullptr;  // owned by the window
    std::vector<QString> data_;
    int currentPage_ = 0;
    QPointer<BFPageControl> control_;
    QPointer<QLabel> currImg_;
    QPointer<QLabel> titleLbl_;
    QPointer<QFrame> titleLine_;
    QPointer<QPushButton> btnHelpManual_;
    QPointer<QPushButton> continueBtn_;
    QPointer<QPushButton> closeBtn_;
    QPointer<QLabel> stepsLbl_;
    QPointer<QLabel> calendarAccessLbl_;
    QPointer<QPushButton> allowCalendarBtn_;
    QPointer<QPushButton> denyCalendarBtn_;
};

// The tutorial: three pictures with back and forward buttons, page dots and, on the last
// page, a link to the manual.
class TutorialWindowController : public QObject {
    Q_OBJECT
  public:
    static std::unique_ptr<TutorialWindowController> init();
    ~TutorialWindowController() override;

    static constexpr int kPages = 3;

    QWidget* window() const { return window_.get(); }
    void showWindow();
    int currentPage() const { return currentPage_; }
    void pageControlDidSelectPageAtIndex(int index);
    void btnPressedBackButton();
    void btnPressedForwardButton();
    void actLinkBtnPressed();

    BFPageControl* control() const { return control_; }
    QPushButton* backButton() const { return backButton_; }
    QPushButton* forwardButton() const { return forwardButton_; }
    QPushButton* linkButton() const { return linkButton_; }
    QLabel* imgView() const { return imgView_; }

  private:
    TutorialWindowController();
    void showPage(int index);
    void hideShowBackForwardButtons();

    std::unique_ptr<QWidget> window_;
    std::vector<QString> data_;
    int currentPage_ = 0;
    QPointer<BFPageControl> control_;
    QPointer<QLabel> imgView_;
    QPointer<QPushButton> backButton_;
    QPointer<QPushButton> forwardButton_;
    QPointer<QPushButton> linkButton_;
};

}  // namespace talvor
