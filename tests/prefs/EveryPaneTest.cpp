#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"
#include "prefs/PaneFactory.h"
#include "prefs/PaneTable.h"
#include "services/AppleInterfaceStyle.h"
#include "services/HotKeyField.h"
#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/LightAppearance.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace talvor {

namespace {

// Every pane of the factory over an in-memory domain, with delegates and notification
// centres that record what the panes ask and announce.
class EveryPane : public ::testing::Test {
  protected:
    EveryPane() : defaults(domain.store()) {
        // The application has its settings loaded (and their defaults written) before any
        // pane is made.
        TalvorTimeSettings::sharedInstance().loadPrefs();
        TalvorDateSettings::sharedInstance().loadPrefs();
        loadTalvorMenuItemFlags();
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        // A pane's timers run on this test's clock, never on a scheduler that outlives it.
        platform::Scheduler::setShared(&scheduler);
        appearance = test::installLightAppearance();
        for (platform::DistributedNotificationCenter* c :
             {&center, &platform::DistributedNotificationCenter::defaultCenter()}) {
            watches.push_back(
                c->addObserver(QString(), QVariant(),
                               [this](const platform::Notification& n) { posted << n.name; }));
        }
    }
    ~EveryPane() override {
        AppearanceService::setShared(nullptr);
        platform::Scheduler::setShared(nullptr);
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }

    PaneFactory factory() {
        SwitchLightDarkDelegate lightDark;
        lightDark.UpdateMenu = [this](int code) { record("UpdateMenu", code); };
        lightDark.makeLocationManager = [] {
            return std::make_unique<test::FakeLocationService>();
        };
        TalvorMenuDelegate menu;
        menu.UpdateMenu = [this](qint32 code) { record("UpdateMenu", code); };
        menu.locationTimeZoneSetup = [this](QWidget*) { record("locationTimeZoneSetup"); };
        menu.openURL = [this](const QUrl& url) { record("openURL", url); };
        PaneDelegate d;
        d.updatedCalendar = [this] { record("updatedCalendar"); };
        d.setupASMMenu = [this] { record("setupASMMenu"); };
        d.applicationChange = [this] { record("applicationChange"); };
        d.appDockIcon = [this] { record("appDockIcon"); };
        d.openURL = [this](const QUrl& url) { record("openURL", url); };
        d.LoadTimerOptions = [this] { record("LoadTimerOptions"); };
        d.updateMenuBarItems = [this] { record("updateMenuBarItems"); };
        d.UpdateMenu = [this](qint32 code) { record("UpdateMenu", code); };
        d.UpdateTake5 = [this] { record("UpdateTake5"); };
        d.distributedCenter = &center;
        return PaneFactory::standard(lightDark, menu, d);
    }
    void record(const char* request, const QVariant& argument = QVariant()) {
        // Written as `describe` writes a pane's request, to compare with the rows' calls.
        calls << QStringLiteral("%1(%2)").arg(QString::fromLatin1(request), argument.toString());
    }
    // What was posted since the last call, once every post has arrived.
    QStringList takePosted() {
        for (platform::DistributedNotificationCenter* c :
             {&center, &platform::DistributedNotificationCenter::defaultCenter()}) {
            c->flush();
        }
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    QVariantMap stored() const { return domain.store().dictionaryRepresentation(); }

    test::XdgSandbox sandbox;
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeClock clock{Date::fromReference(0), QTimeZone::utc()};
    test::ManualScheduler scheduler{clock};
    std::unique_ptr<AppearanceService> appearance;
    platform::DistributedNotificationCenter center;
    std::vector<platform::Observation> watches;
    QStringList posted;
    // What the delegates were asked, in order.
    QStringList calls;
};

using prefsEveryPane = EveryPane;

TEST_F(prefsEveryPane, LoadingAndShowingWritesPostsAndAsksNothing) {
    const PaneFactory panes = factory();
    takePosted();
    for (const QString& className : panes.classNames()) {
        SCOPED_TRACE(className.toStdString());
        const QVariantMap before = stored();
        auto pane = panes.make(className, QStringLiteral("Nib"));
        ASSERT_NE(pane, nullptr);
        ASSERT_NE(pane->view(), nullptr);
        pane->viewDidShow();
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(takePosted(), QStringList());
        EXPECT_EQ(calls, QStringList());
        calls.clear();
    }
}

// A lone "&" in a button's or a box's title is taken for a mnemonic marker: the "&" is not
// shown and the next letter is underlined ("Date & Time" reads "Date _Time").
TEST_F(prefsEveryPane, NoTitleLosesAnAmpersandToAMnemonic) {
    const QRegularExpression loneAmpersand(QStringLiteral("(^|[^&])(&&)*&([^&]|$)"));
    const PaneFactory panes = factory();
    int ampersands = 0;
    for (const QString& className : panes.classNames()) {
        auto pane = panes.make(className, QStringLiteral("Nib"));
        QWidget* view = pane->view();
        QStringList titles;
        for (const QAbstractButton* b : view->findChildren<QAbstractButton*>()) {
            titles << b->text();
        }
        for (const QGroupBox* box : view->findChildren<QGroupBox*>()) {
            titles << box->title();
        }
        for (const QString& title : titles) {
            EXPECT_FALSE(loneAmpersand.match(title).hasMatch())
                << className.toStdString() << ": " << title.toStdString();
            ampersands += title.contains(QLatin1String("&&")) ? 1 : 0;
        }
    }
    EXPECT_GT(ampersands, 0) << "the time-zone pane's openers show an ampersand";
}

// Every pane fits the settings window at its default size without scrolling sideways, keeps
// the margins of every other pane, and shows each label whole at that size.
TEST_F(prefsEveryPane, EveryPaneFitsTheWindowWithTheCommonMargins) {
    const PaneFactory panes = factory();
    for (const QString& className : panes.classNames()) {
        SCOPED_TRACE(className.toStdString());
        auto pane = panes.make(className, QStringLiteral("Nib"));
        QWidget* view = pane->view();
        ASSERT_NE(view, nullptr);
        ASSERT_NE(view->layout(), nullptr);
        EXPECT_EQ(view->layout()->contentsMargins(), PreferencePane::margins());
        // As the settings window sizes a pane: never below what its layout needs.
        const QSize size =
            view->size().expandedTo(view->sizeHint()).expandedTo(view->minimumSizeHint());
        EXPECT_LE(size.width(), PreferencePane::kMaxWidth);
        view->resize(size.boundedTo(QSize(PreferencePane::kMaxWidth, size.height())));
        view->show();
        QCoreApplication::processEvents();
        for (const QLabel* label : view->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(view) || label->wordWrap() || label->text().isEmpty()) {
                continue;
            }
            EXPECT_GE(label->width(), label->minimumSizeHint().width())
                << "cut: \"" << label->text().toStdString() << "\"";
        }
        // A hot-key field shows even the longest shortcut whole (F12 is key code 111).
        for (HotKeyField* field : view->findChildren<HotKeyField*>()) {
            field->setKeyCode(111, platform::CommandKeyMask | platform::AlternateKeyMask |
                                       platform::ShiftKeyMask | platform::ControlKeyMask);
            QCoreApplication::processEvents();
            EXPECT_GE(field->width(),
                      QFontMetrics(field->font()).horizontalAdvance(field->displayString()))
                << "cut: \"" << field->displayString().toStdString() << "\"";
        }
        view->hide();
        takePosted();
        calls.clear();
    }
}

// Uses the row's control as a user would; returns the value it then shows.
QVariant drive(const PaneRow& row, QWidget& control) {
    switch (row.kind) {
        case PaneRow::Kind::Check: {
            auto& box = dynamic_cast<QAbstractButton&>(control);
            box.click();
            return box.isChecked();
        }
        case PaneRow::Kind::Choice: {
            auto& menu = dynamic_cast<QComboBox&>(control);
            const int other = (menu.currentIndex() + 1) % menu.count();
            menu.setCurrentIndex(other);
            emit menu.activated(other);
            return other;
        }
        case PaneRow::Kind::Button:
            dynamic_cast<QAbstractButton&>(control).click();
            break;
        case PaneRow::Kind::Text: {
            auto& field = dynamic_cast<QLineEdit&>(control);
            field.setText(field.text() + QStringLiteral("x"));
            field.setModified(true);
            emit field.editingFinished();
            return field.text();
        }
        case PaneRow::Kind::Number: {
            auto& number = dynamic_cast<QSpinBox&>(control);
            number.setValue(number.value() < number.maximum() ? number.value() + 1
                                                              : number.minimum());
            return number.value();
        }
    }
    return {};
}

TEST_F(prefsEveryPane, EveryRowDoesWhatItsTableSays) {
    const PaneFactory panes = factory();
    int rowsDriven = 0;
    for (const QString& className : panes.classNames()) {
        auto pane = panes.make(className, QStringLiteral("Nib"));
        pane->view();
        PaneTable* table = pane->table();
        if (table == nullptr) {
            continue;
        }
        for (const PaneRow& row : table->rows()) {
            SCOPED_TRACE((className + QLatin1Char('.') + row.id).toStdString());
            QWidget* control = table->control(row.id);
            ASSERT_NE(control, nullptr);
            EXPECT_EQ(control->objectName(), row.id);
            EXPECT_TRUE(control->isEnabled());
            takePosted();
            calls.clear();
            const QVariantMap before = stored();
            const int syncs = domain.store().synchronizeCount();

            const QVariant value = drive(row, *control);
            ++rowsDriven;

            if (row.effects.store) {
                EXPECT_GT(domain.store().synchronizeCount(), syncs) << "stored at once";
                if (row.binding.read) {
                    EXPECT_EQ(row.binding.read(), value) << "the binding holds what is shown";
                    EXPECT_NE(stored(), before) << "the change reached the domain";
                }
            } else {
                EXPECT_EQ(stored(), before) << "a row that does not store writes nothing";
            }
            const QStringList heard = takePosted();
            if (!row.effects.post.isEmpty()) {
                EXPECT_TRUE(heard.contains(row.effects.post)) << heard.join(u' ').toStdString();
            }
            EXPECT_EQ(calls,
                      row.effects.call ? QStringList{describe(*row.effects.call)} : QStringList());
        }
    }
    EXPECT_GT(rowsDriven, 0) << "at least one pane is built from a table";
}

// A reopened pane shows what its rows stored.
TEST_F(prefsEveryPane, ReopenedPaneShowsWhatItsRowsStored) {
    const PaneFactory panes = factory();
    for (const QString& className : panes.classNames()) {
        QMap<QString, QVariant> shown;
        {
            auto pane = panes.make(className, QStringLiteral("Nib"));
            pane->view();
            PaneTable* table = pane->table();
            if (table == nullptr) {
                continue;
            }
            for (const PaneRow& row : table->rows()) {
                if (row.binding.read && row.effects.store) {
                    shown.insert(row.id, drive(row, *table->control(row.id)));
                }
            }
        }
        auto reopened = panes.make(className, QStringLiteral("Nib"));
        reopened->view();
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            EXPECT_EQ(reopened->table()->shown(it.key()), it.value())
                << (className + QLatin1Char('.') + it.key()).toStdString();
        }
    }
}

}  // namespace
}  // namespace talvor
