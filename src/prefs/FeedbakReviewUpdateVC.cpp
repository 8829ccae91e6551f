#include "FeedbakReviewUpdateVC.h"

#include "FeedbackMail.h"
#include "platform/UserDefaults.h"
#include "services/SwitchLightDarkVC.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace talvor {
namespace {

const QString kIsDialogShowed = QStringLiteral("IsDialogShowed");
const QString kCouponCode = QStringLiteral("TALVOR15");

QUrl makerPage(const QString& path) {
    return QUrl(QLatin1String(SwitchLightDarkVC::kHelpHost) + path);
}

}  // namespace

FeedbakReviewUpdateVC::FeedbakReviewUpdateVC(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("FeedbakReviewUpdateVC"), std::move(nibName),
                     QStringLiteral("Feedback")),
      showThanks(
          [this](QWidget*, std::function<void()> done) { showThanksBanner(std::move(done)); }),
      delegate_(std::move(delegate)) {}

FeedbakReviewUpdateVC::~FeedbakReviewUpdateVC() {
    // Closed with the thanks still showing: that ends them too.
    if (thanksDone_) {
        std::exchange(thanksDone_, nullptr)();
    }
}

// A line at the top of the pane, not a dialog: the pane's buttons stay usable beside it.
void FeedbakReviewUpdateVC::showThanksBanner(std::function<void()> done) {
    if (!thanksBanner_) {
        done();
        return;
    }
    thanksDone_ = std::move(done);
    thanksBanner_->show();
}

void FeedbakReviewUpdateVC::thanksOkClicked() {
    if (thanksBanner_) {
        thanksBanner_->hide();
    }
    if (thanksDone_) {
        std::exchange(thanksDone_, nullptr)();
    }
}

QString FeedbakReviewUpdateVC::thanksText() {
    return tr(
        "Glad you like Talvor. If you have a moment here is info to help you let others "
        "know about Talvor. That helps us keep improving it for you. Thanks!");
}

QUrl FeedbakReviewUpdateVC::couponMailURL() {
    QUrl shop = makerPage(QStringLiteral("/product-category/mac/"));
    QUrlQuery coupon;
    coupon.addQueryItem(QStringLiteral("coupon_code"), kCouponCode);
    shop.setQuery(coupon);
    const QString body =
        tr("I have been using Talvor and thought you might like it too.\n\n"
           "The link below adds a coupon for 15% off to the shopping cart of the Larkspindle "
           "web shop; the discount shows on the total of whatever you add.\n\n") +
        shop.toString(QUrl::FullyEncoded);
    QUrl url(QStringLiteral("mailto:"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), tr("Talvor"));
    query.addQueryItem(QStringLiteral("body"), body);
    url.setQuery(query);
    return url;
}

void FeedbakReviewUpdateVC::ShowAlertDialogue() {
    showThanks(viewIfLoaded() ? viewIfLoaded()->window() : nullptr, [] {
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.setBool(true, kIsDialogShowed);
        defaults.synchronize();
    });
}

void FeedbakReviewUpdateVC::actSupportBtnClicked() {
    delegate_.open(makerPage(QStringLiteral("/contact-tech-support/")));
}

void FeedbakReviewUpdateVC::actMacupdateReviewBtnClicked() {
    delegate_.open(QUrl(QStringLiteral("https://www.macupdate.com/app/mac/10849/talvor-pro")));
}

void FeedbakReviewUpdateVC::actTweetBtnClicked() {
    // The short link is asked for over https, never in the clear.
    delegate_.open(QUrl(QStringLiteral("https://clicktotweet.com/rMK53")));
}

void FeedbakReviewUpdateVC::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void FeedbakReviewUpdateVC::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

void FeedbakReviewUpdateVC::actEmailBtnClicked() {
    delegate_.open(couponMailURL());
}

void FeedbakReviewUpdateVC::SendFeedBackViaMail() {
    FeedbackMail::SendFeedBackViaMail([this](const QUrl& url) { delegate_.open(url); });
}

std::unique_ptr<QWidget> FeedbakReviewUpdateVC::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);

    thanksBanner_ = new QFrame(view.get());
    thanksBanner_->setObjectName(QStringLiteral("thanksBanner"));
    thanksBanner_->setFrameShape(QFrame::StyledPanel);
    auto* bannerRow = new QHBoxLayout(thanksBanner_);
    auto* thanks = new QLabel(thanksText(), thanksBanner_);
    thanks->setWordWrap(true);
    bannerRow->addWidget(thanks, 1);
    auto* ok = new QPushButton(tr("Ok"), thanksBanner_);
    ok->setObjectName(QStringLiteral("thanksOk"));
    connect(ok, &QPushButton::clicked, this, [this] { thanksOkClicked(); });
    bannerRow->addWidget(ok, 0, Qt::AlignTop);
    thanksBanner_->hide();
    layout->addWidget(thanksBanner_);

    auto* intro = new QLabel(tr("Enjoying Talvor? Tell others, or tell us what would make it "
                                "better."),
                             view.get());
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* grid = new QGridLayout;
    const auto addButton = [&](const char* id, const QString& title,
                               void (FeedbakReviewUpdateVC::*action)(), int row, int column) {
        auto* button = new QPushButton(title, view.get());
        button->setObjectName(QLatin1String(id));
        connect(button, &QPushButton::clicked, this, [this, action] { (this->*action)(); });
        grid->addWidget(button, row, column);
    };
    addButton("btnSupport", tr("Contact Support"), &FeedbakReviewUpdateVC::actSupportBtnClicked, 0,
              0);
    addButton("btnFeedbackMail", tr("Send Feedback..."),
              &FeedbakReviewUpdateVC::SendFeedBackViaMail, 0, 1);
    addButton("btnReview", tr("Write a Review"),
              &FeedbakReviewUpdateVC::actMacupdateReviewBtnClicked, 1, 0);
    addButton("btnTweet", tr("Post About Talvor"), &FeedbakReviewUpdateVC::actTweetBtnClicked, 1,
              1);
    addButton("btnEmail", tr("Mail a Friend a Coupon"), &FeedbakReviewUpdateVC::actEmailBtnClicked,
              2, 0);
    layout->addLayout(grid);
    auto* hint = new QLabel(tr("Hold Alt while pressing Send Feedback to put Talvor's logs on "
                               "your desktop first."),
                            view.get());
    hint->setWordWrap(true);
    layout->addWidget(hint);
    layout->addStretch(1);

    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    layout->addLayout(links.layout);
    view->resize(480, 360);

    if (!platform::UserDefaults::standard().boolForKey(kIsDialogShowed)) {
        thanksTimer_ =
            platform::Scheduler::shared().scheduleAfter(1.0, [this] { ShowAlertDialogue(); });
    }
    return view;
}

}  // namespace talvor
