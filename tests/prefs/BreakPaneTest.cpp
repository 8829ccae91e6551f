// The "Take 5" page, offscreen, over the alarms' test world (a fake clock, in-memory
// preference domain): its number fields while typing, the values and sounds it stores, and
// what it asks of the application.
#include "alarms/AlarmsTestSupport.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/SharedInstance.h"
#include "prefs/BreakFormatters.h"
#include "prefs/TalvorTake5WindowsController.h"
#include "services/SoundFadeOut.h"
#include "support/FakeSoundPlayer.h"

#include <QTest>

namespace talvor::test {
namespace {

struct TypingCase {
    const char* typed;
    QValidator::State every;
    QValidator::State duration;
    QValidator::State repeat;
};

// While typing, a number below the minimum is only unfinished, so 10-49 can be typed from
// their first digit; above the maximum, or anything but plain digits, is refused.
TEST(prefsBreakFormatters, TypingAcceptsEveryPrefixOfAValidNumber) {
    using S = QValidator::State;
    const S I = S::Intermediate, A = S::Acceptable, X = S::Invalid;
    const TypingCase cases[] = {
        {"", I, I, I},    {"1", I, I, I},           {"4", I, A, A},
        {"5", A, A, A},   {"10", A, A, A},          {"19", A, A, A},
        {"30", A, A, A},  {"31", A, A, X},          {"49", A, A, X},
        {"60", A, A, X},  {"61", A, X, X},          {"300", A, X, X},
        {"301", X, X, X}, {"05", X, X, X},          {"1a", X, X, X},
        {"-5", X, X, X},  {"99999999999", X, X, X},
    };
    BreakEveryFormatter every;
    BreakDurationFormatter duration;
    BreakRepeatFormatter repeat;
    for (const TypingCase& c : cases) {
        SCOPED_TRACE(c.typed);
        QString text = QString::fromLatin1(c.typed);
        int pos = static_cast<int>(text.size());
        EXPECT_EQ(every.validate(text, pos), c.every);
        EXPECT_EQ(duration.validate(text, pos), c.duration);
        EXPECT_EQ(repeat.validate(text, pos), c.repeat);
    }
}

class BreakPane : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        TalvorTakeABreakSettings::setBundledSoundsFolder(QStringLiteral("/bundle"));
        time_.emplace();
        sharedTime_.emplace(*time_);
        sharedBreaks_.emplace(breaks_);
        PaneDelegate d;
        d.UpdateMenu = [this](qint32 code) { menuUpdates_.push_back(code); };
        d.enableTake5 = [this] { requests_ << QStringLiteral("enable"); };
        d.disableTake5 = [this] { requests_ << QStringLiteral("disable"); };
        d.openURL = [](const QUrl&) {};
        pane_.emplace(QStringLiteral("TalvorTake5WindowsController"), d);
        ASSERT_NE(pane_->view(), nullptr);
    }
    void TearDown() override {
        pane_.reset();
        FadeOut::stopTimers();
        sharedBreaks_.reset();
        sharedTime_.reset();
        time_.reset();
        TalvorTakeABreakSettings::setBundledSoundsFolder(QString());
        AlarmsTest::TearDown();
    }
    TalvorTake5WindowsController& pane() { return *pane_; }
    // The settings as a fresh load from the domain reads them.
    static TalvorTakeABreakSettings stored() {
        TalvorTakeABreakSettings s;
        s.loadPrefs();
        return s;
    }
    void type(TalvorTake5WindowsController::Field tag, const char* keys) {
        QLineEdit* field = pane().textField(tag);
        field->clear();
        QTest::keyClicks(field, QString::fromLatin1(keys));
    }

    std::optional<TalvorTimeSettings> time_;
    std::optional<SharedInstance<TalvorTimeSettings>::Override> sharedTime_;
    TalvorTakeABreakSettings breaks_;
    std::optional<SharedInstance<TalvorTakeABreakSettings>::Override> sharedBreaks_;
    std::optional<TalvorTake5WindowsController> pane_;
    std::vector<qint32> menuUpdates_;
    QStringList requests_;
};

using prefsBreakPane = BreakPane;

// With nothing stored the page shows the defaults: breaks on, every 30 minutes for 5, 8
// times, the built-in start sound as "Select Sound", which can be heard.
TEST_F(prefsBreakPane, ShowsTheDefaults) {
    using F = TalvorTake5WindowsController;
    EXPECT_TRUE(pane().isBreakEnabled()->isChecked());
    EXPECT_EQ(pane().slider(F::Frequency)->value(), 30);
    EXPECT_EQ(pane().slider(F::Duration)->value(), 5);
    EXPECT_EQ(pane().slider(F::Repeat)->value(), 8);
    EXPECT_EQ(pane().textField(F::Frequency)->text(), QStringLiteral("30"));
    EXPECT_EQ(pane().textBreakDurationLbl()->text(), QStringLiteral("minutes"));
    EXPECT_EQ(pane().textBreakRepeatLbl()->text(), QStringLiteral("times"));
    EXPECT_TRUE(pane().slider(F::Repeat)->isEnabled());
    EXPECT_EQ(pane().selectSoundButton()->text(), QStringLiteral("Select Sound"));
    EXPECT_TRUE(pane().playButton()->isEnabled());
    EXPECT_FALSE(pane().showTake5()->isChecked());
    EXPECT_TRUE(menuUpdates_.empty());
    EXPECT_TRUE(requests_.isEmpty());
}

// Typed numbers move the slider and are stored as soon as they are whole; the repeat field
// takes 15 digit by digit, refuses the second digit of 31, and a number left below the
// minimum goes back to the slider's value when editing ends.
TEST_F(prefsBreakPane, TypedNumbersAreStoredAndSlidersFollow) {
    using F = TalvorTake5WindowsController;
    type(F::Repeat, "15");
    EXPECT_EQ(pane().textField(F::Repeat)->text(), QStringLiteral("15"));
    EXPECT_EQ(pane().slider(F::Repeat)->value(), 15);
    EXPECT_EQ(stored().takeABreakRepeat(), 15);
    type(F::Repeat, "31");
    EXPECT_EQ(pane().textField(F::Repeat)->text(), QStringLiteral("3"));
    EXPECT_EQ(stored().takeABreakRepeat(), 3);
    type(F::Frequency, "45");
    EXPECT_EQ(stored().takeABreakFrequency(), 45);
    EXPECT_EQ(pane().slider(F::Frequency)->value(), 45);
    type(F::Duration, "1");
    EXPECT_EQ(stored().takeABreakDuration(), 5) << "1 is not a break length";
    emit pane().textField(F::Duration)->editingFinished();
    EXPECT_EQ(pane().textField(F::Duration)->text(), QStringLiteral("5"));
    // The sliders write too, with the unit's number.
    pane().slider(F::Duration)->setValue(2);
    EXPECT_EQ(pane().textField(F::Duration)->text(), QStringLiteral("2"));
    EXPECT_EQ(stored().takeABreakDuration(), 2);
}

// The radios choose which sound the button sets and Play plays: a duration sound chosen with
// "Break Duration Sound" on is stored as the end sound and is the one heard; the start sound
// stays the built-in one, heard from the bundled file.
TEST_F(prefsBreakPane, TheRadiosRouteTheSoundButtonAndPlay) {
    FakeSoundSystem sounds(scheduler_);
    const QString gong = QStringLiteral("/music/Gong.ogg");
    const QString take5 = QStringLiteral("/bundle/Alerts/Take 5.ogg");
    sounds.addSound(gong, 4.0);
    sounds.addSound(take5, 4.0);
    pane().breakDuration()->click();
    pane().setSoundPath(gong);
    EXPECT_EQ(pane().selectSoundButton()->text(), QStringLiteral("Gong"));
    EXPECT_EQ(stored().durationSoundPath(), gong);
    EXPECT_EQ(stored().soundPath(), QStringLiteral("Take 5"));
    pane().playButton()->click();
    pane().breakEvery()->click();
    EXPECT_EQ(pane().selectSoundButton()->text(), QStringLiteral("Select Sound"));
    pane().playButton()->click();
    ASSERT_EQ(sounds.created.size(), 2u);
    EXPECT_EQ(sounds.created[0]->path(), gong);
    EXPECT_EQ(sounds.created[1]->path(), take5);
    EXPECT_FALSE(sounds.created[0]->isPlaying()) << "one preview at a time";
}

// "Show in menu" stores the flag and has the time menu's "Take 5..." group rebuilt; the
// enable box starts and stops the reminders and the number controls follow it.
TEST_F(prefsBreakPane, TheBoxesReachTheMenuAndTheBreakTimer) {
    using F = TalvorTake5WindowsController;
    pane().showTake5()->click();
    EXPECT_TRUE(time_->showTake5);
    EXPECT_TRUE(PreferenceDomain::readFlag(QStringLiteral("take5Show"), false));
    EXPECT_EQ(menuUpdates_, std::vector<qint32>{4});
    pane().isBreakEnabled()->click();
    EXPECT_FALSE(stored().enableTakeABreak());
    EXPECT_FALSE(pane().slider(F::Frequency)->isEnabled());
    EXPECT_FALSE(pane().textField(F::Repeat)->isEnabled());
    pane().isBreakEnabled()->click();
    EXPECT_TRUE(stored().enableTakeABreak());
    EXPECT_TRUE(pane().slider(F::Frequency)->isEnabled());
    EXPECT_EQ(requests_, (QStringList{QStringLiteral("disable"), QStringLiteral("enable")}));
}

}  // namespace
}  // namespace talvor::test
