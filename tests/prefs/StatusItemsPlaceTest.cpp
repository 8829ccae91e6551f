// The General pane's choice of where the clock items show: what it shows before and after
// the user chose, with and without a panel that shows status items, and what a click does.

#include "foundation/PreferenceDomain.h"
#include "platform/DesktopPanel.h"
#include "platform/UserDefaults.h"
#include "prefs/AdvancedPrefVC.h"
#include "prefs/StatusItemsPlaceChoice.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::StatusItemsPlace;

// A desktop whose panel shows status items, or not.
class FakeDesktopPanel : public platform::DesktopPanel {
  public:
    bool host = true;
    void findHost(QObject* context, std::function<void(bool)> answer) override {
        QTimer::singleShot(0, context, [this, answer = std::move(answer)] { answer(host); });
    }
    std::unique_ptr<QObject> present(platform::StatusBar&) override {
        return std::make_unique<QObject>();
    }
};

class PlaceChoice : public ::testing::Test {
  protected:
    void SetUp() override { platform::DesktopPanel::setShared(&panel); }
    void TearDown() override { platform::DesktopPanel::setShared(nullptr); }
    QString stored() const {
        return platform::UserDefaults::standard().stringForKey(platform::StatusItemsPlaceKey);
    }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    FakeDesktopPanel panel;
};

using prefsStatusItemsPlace = PlaceChoice;

TEST_F(prefsStatusItemsPlace, ShowsThePlaceInUseAndWhatToInstall) {
    struct Case {
        const char* stored;  // "" when never chosen
        bool host;
        bool panelShown;
        bool noteShown;
    };
    const Case cases[] = {
        {"", true, true, false},        // not chosen: the panel where one shows the items
        {"", false, false, true},       // ... else the strip, and what to install
        {"strip", true, false, false},  // chosen: the choice, whatever the desktop has
        {"panel", false, true, true},   // chosen but no panel: the note says why it is the strip
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.stored) + (c.host ? " with a panel" : " without a panel"));
        platform::UserDefaults::standard().removeObjectForKey(platform::StatusItemsPlaceKey);
        if (*c.stored != '\0') {
            platform::UserDefaults::standard().setObject(QString::fromLatin1(c.stored),
                                                         platform::StatusItemsPlaceKey);
        }
        panel.host = c.host;
        QWidget window;
        auto* choice = new StatusItemsPlaceChoice({}, &window);
        choice->load();
        window.show();
        QTest::qWait(0);
        QCoreApplication::processEvents();
        EXPECT_EQ(choice->panelButton()->isChecked(), c.panelShown);
        EXPECT_EQ(choice->stripButton()->isChecked(), !c.panelShown);
        EXPECT_EQ(choice->note()->isVisible(), c.noteShown);
        if (c.noteShown) {
            EXPECT_TRUE(choice->note()->text().contains(QStringLiteral("AppIndicator")));
        }
        EXPECT_EQ(stored(), QString::fromLatin1(c.stored)) << "showing writes nothing";
    }
}

TEST_F(prefsStatusItemsPlace, GeneralPaneStoresTheChoiceAndMovesTheItems) {
    QList<StatusItemsPlace> moved;
    PaneDelegate delegate;
    delegate.setStatusItemsPlace = [&moved](StatusItemsPlace place) { moved << place; };
    AdvancedPrefVC pane(QStringLiteral("AdvancedPrefVC"), delegate, AdvancedPrefVC::Variant::Store);
    StatusItemsPlaceChoice* choice = pane.placeChoice();
    ASSERT_EQ(choice, nullptr) << "made with the view";
    pane.view();
    choice = pane.placeChoice();
    ASSERT_NE(choice, nullptr);
    EXPECT_EQ(choice->stripButton()->text(), QStringLiteral("our own strip"));
    EXPECT_EQ(choice->panelButton()->text(), QStringLiteral("the desktop's panel"));

    choice->stripButton()->click();
    EXPECT_EQ(stored(), QStringLiteral("strip"));
    choice->panelButton()->click();
    EXPECT_EQ(stored(), QStringLiteral("panel"));
    EXPECT_EQ(moved,
              (QList<StatusItemsPlace>{StatusItemsPlace::Strip, StatusItemsPlace::DesktopPanel}));
    EXPECT_EQ(platform::storedStatusItemsPlace(), StatusItemsPlace::DesktopPanel);
}

}  // namespace
}  // namespace talvor
