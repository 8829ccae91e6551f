#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "platform/Scheduler.h"

#include <QFrame>
#include <QPointer>
#include <QPushButton>

#include <functional>

namespace talvor {

// The "Feedback" pane: thanks the user once, and links to support, a review page, a post, the
// manual and the change log; composes a mail with a shop coupon and the feedback mail.
class FeedbakReviewUpdateVC : public PreferencePane {
    Q_OBJECT
  public:
    explicit FeedbakReviewUpdateVC(QString nibName, PaneDelegate delegate = {});
    ~FeedbakReviewUpdateVC() override;

    static Manual::Section helpPage() { return Manual::Section::DateMenu; }
    static QString thanksText();
    // The mail that passes the coupon on.
    static QUrl couponMailURL();

    void ShowAlertDialogue();
    void actSupportBtnClicked();
    void actMacupdateReviewBtnClicked();
    void actTweetBtnClicked();
    void helpBtnClicked();
    void OnVersionNoClicked();
    void actEmailBtnClicked();
    void SendFeedBackViaMail();

    // Shows the thanks (a line at the top of the pane, its "Ok" dismisses it); `done` runs when
    // it ends, however it ends. Tests may answer at once.
    std::function<void(QWidget* window, std::function<void()> done)> showThanks;

    bool thanksPending() const { return thanksTimer_.isActive(); }

  protected:
    std::unique_ptr<QWidget> loadView() override;

  private:
    void showThanksBanner(std::function<void()> done);
    void thanksOkClicked();

    PaneDelegate delegate_;
    QPointer<QFrame> thanksBanner_;
    std::function<void()> thanksDone_;
    platform::TimerHandle thanksTimer_;
};

}  // namespace talvor
