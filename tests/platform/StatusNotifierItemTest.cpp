// The status items in the desktop's panel, against a StatusNotifierWatcher and a panel of
// our own on the test's session bus (run under dbus-run-session): the item registers, its
// icon and label follow the tick, its menu travels over dbusmenu and runs the model's
// actions, and activating it does what a click on the strip does.

#include "platform/DesktopPanel.h"
#include "platform/Menu.h"
#include "platform/OffscreenStatusBar.h"
#include "platform/StatusBar.h"
#include "platform/linux/DBusMenuExporter.h"
#include "platform/linux/DBusMenuTypes.h"
#include "platform/linux/StatusNotifierItems.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::Menu;
using platform::MenuItem;
using platform::StatusItem;
namespace dbus = platform::dbus;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");

// The panel's watcher: takes every item, and says whether a panel shows them.
class FakeWatcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
  public:
    bool host = true;
    QStringList registered;
    bool hostRegistered() const { return host; }
    QStringList items() const { return registered; }
    int protocolVersion() const { return 0; }

  public slots:
    void RegisterStatusNotifierItem(const QString& service) { registered << service; }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& service);
};

// What the panel hears from one item.
class Heard : public QObject {
    Q_OBJECT
  public:
    int icons = 0;
    int titles = 0;
    QStringList labels;
    int layouts = 0;
    QList<dbus::MenuItemPropertiesList> updates;

  public slots:
    void newIcon() { ++icons; }
    void newTitle() { ++titles; }
    void newLabel(const QString& label, const QString&) { labels << label; }
    void layoutUpdated(uint, int) { ++layouts; }
    void propertiesUpdated(const talvor::platform::dbus::MenuItemPropertiesList& updated,
                           const talvor::platform::dbus::MenuItemKeysList&) {
        updates << updated;
    }
};

// A view that records its presses, as the date item's view opens the calendar.
class RecordingView : public platform::StatusItemView {
  public:
    explicit RecordingView(QStringList& log) : log_(log) { setWidth(40); }
    void drawRect(QPainter& painter, const QRectF& bounds) override {
        painter.fillRect(bounds, Qt::red);
    }
    void mouseDown(const platform::StatusItemMouseEvent&) override { log_ << "view down"; }
    void mouseUp(const platform::StatusItemMouseEvent&) override { log_ << "view up"; }
    QString text() const override { return QStringLiteral("Fri 11 Dec"); }

  private:
    QStringList& log_;
};

class StatusNotifierBus : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected()) {
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
        }
        dbus::registerTypes();
        platform::StatusBar::setSystemStatusBar(&bar);
    }
    void TearDown() override {
        presenter.reset();
        platform::StatusBar::setSystemStatusBar(nullptr);
        if (serving) {
            panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
            panel.unregisterService(kWatcher);
        }
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-panel"));
    }

    void serveWatcher() {
        ASSERT_TRUE(panel.registerService(kWatcher));
        ASSERT_TRUE(panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                         QDBusConnection::ExportAllContents));
        serving = true;
    }
    void present() {
        platform::StatusNotifierPanel desktop(QDBusConnection::sessionBus());
        std::unique_ptr<QObject> made = desktop.present(bar);
        presenter.reset(qobject_cast<platform::StatusNotifierPresenter*>(made.release()));
        ASSERT_NE(presenter, nullptr);
    }
    // The item's service name once the watcher has it.
    QString registeredName(int count = 1) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.registered.size() >= count; }, 10000));
        return watcher.registered.value(count - 1);
    }

    // One call from the panel, answered by the item in this thread.
    QDBusMessage ask(const QString& service, const QString& path, const QString& interface,
                     const QString& method, const QVariantList& args = {}) {
        QDBusMessage call = QDBusMessage::createMethodCall(service, path, interface, method);
        call.setArguments(args);
        QDBusPendingCallWatcher pending(panel.asyncCall(call));
        EXPECT_TRUE(QTest::qWaitFor([&] { return pending.isFinished(); }, 10000));
        const QDBusMessage reply = pending.reply();
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
        return reply;
    }
    QVariant property(const QString& service, const QString& name) {
        const QDBusMessage reply = ask(service, platform::StatusNotifierItem::ObjectPath,
                                       QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("Get"), {kItemInterface, name});
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    dbus::IconPixmapList icon(const QString& service) {
        dbus::IconPixmapList pixmaps;
        property(service, QStringLiteral("IconPixmap")).value<QDBusArgument>() >> pixmaps;
        return pixmaps;
    }
    dbus::MenuLayoutItem layout(const QString& service) {
        const QDBusMessage reply =
            ask(service, platform::StatusNotifierItem::MenuPath, kMenuInterface,
                QStringLiteral("GetLayout"), {0, -1, QStringList()});
        dbus::MenuLayoutItem root;
        reply.arguments().value(1).value<QDBusArgument>() >> root;
        return root;
    }
    void listen(const QString& service, Heard& heard) {
        const QString item = platform::StatusNotifierItem::ObjectPath;
        const QString menu = platform::StatusNotifierItem::MenuPath;
        ASSERT_TRUE(panel.connect(service, item, kItemInterface, QStringLiteral("NewIcon"), &heard,
                                  SLOT(newIcon())));
        ASSERT_TRUE(panel.connect(service, item, kItemInterface, QStringLiteral("NewTitle"), &heard,
                                  SLOT(newTitle())));
        ASSERT_TRUE(panel.connect(service, item, kItemInterface, QStringLiteral("XAyatanaNewLabel"),
                                  &heard, SLOT(newLabel(QString, QString))));
        ASSERT_TRUE(panel.connect(service, menu, kMenuInterface, QStringLiteral("LayoutUpdated"),
                                  &heard, SLOT(layoutUpdated(uint, int))));
        ASSERT_TRUE(panel.connect(
            service, menu, kMenuInterface, QStringLiteral("ItemsPropertiesUpdated"), &heard,
            SLOT(propertiesUpdated(talvor::platform::dbus::MenuItemPropertiesList,
                                   talvor::platform::dbus::MenuItemKeysList))));
        // A round trip, so that the bus has the matches before anything is sent.
        ask(service, item, QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    }

    platform::StatusBar bar;
    QDBusConnection panel =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake-panel"));
    FakeWatcher watcher;
    bool serving = false;
    std::unique_ptr<platform::StatusNotifierPresenter> presenter;
};

// A menu like the time menu: plain entries, a separator, a disabled line, a ticked entry, a
// submenu with entries of its own, an underscore in a title.
std::shared_ptr<Menu> timeLikeMenu(QStringList& ran) {
    auto menu = Menu::create(QStringLiteral("Time"));
    menu->addItemWithTitle(QStringLiteral("Copy IP Address"), [&ran](MenuItem&) { ran << "ip"; });
    menu->addItem(MenuItem::separatorItem());
    menu->addItemWithTitle(QStringLiteral("Berlin 10:00"));  // no action: shown disabled
    auto floating = menu->addItemWithTitle(QStringLiteral("Floating Clocks\u2026"),
                                           [&ran](MenuItem&) { ran << "floating"; });
    floating->setState(platform::ControlState::On);
    auto alarms = Menu::create(QStringLiteral("Alarms"));
    alarms->addItemWithTitle(QStringLiteral("Wake_up 07:00"), [&ran](MenuItem&) { ran << "wake"; });
    auto alarmsItem = menu->addItemWithTitle(QStringLiteral("Alarms..."));
    menu->setSubmenu(alarms, alarmsItem.get());
    menu->addItemWithTitle(QStringLiteral("Quit Talvor"), [&ran](MenuItem&) { ran << "quit"; });
    return menu;
}

// The tree the panel reads holds the model's entries, in order, with their state.
void expectLayoutMatches(const dbus::MenuLayoutItem& layout, const Menu& menu) {
    ASSERT_EQ(layout.children.size(), menu.numberOfItems()) << menu.title().toStdString();
    for (int i = 0; i < menu.numberOfItems(); ++i) {
        const MenuItem& item = *menu.itemAtIndex(i);
        const QVariantMap& p = layout.children[i].properties;
        SCOPED_TRACE(item.title().toStdString());
        if (item.isSeparatorItem()) {
            EXPECT_EQ(p.value(QStringLiteral("type")).toString(), QStringLiteral("separator"));
            continue;
        }
        EXPECT_EQ(p.value(QStringLiteral("label"))
                      .toString()
                      .replace(QStringLiteral("__"), QStringLiteral("_")),
                  item.title());
        EXPECT_EQ(p.value(QStringLiteral("enabled"), true).toBool(), menu.isItemShownEnabled(item));
        EXPECT_EQ(p.value(QStringLiteral("visible"), true).toBool(), !item.isHidden());
        EXPECT_EQ(p.value(QStringLiteral("toggle-state"), 0).toInt(),
                  item.state() == platform::ControlState::On ? 1 : 0);
        EXPECT_EQ(p.contains(QStringLiteral("children-display")), item.hasSubmenu());
        if (item.hasSubmenu()) {
            expectLayoutMatches(layout.children[i], *item.submenu());
        }
    }
}

using platformStatusNotifierBus = StatusNotifierBus;

TEST_F(platformStatusNotifierBus, HostIsFoundOnlyWhereTheWatcherSaysAPanelShowsItems) {
    platform::StatusNotifierPanel desktop(QDBusConnection::sessionBus());
    const auto ask = [&] {
        std::optional<bool> answer;
        QObject context;
        desktop.findHost(&context, [&](bool present) { answer = present; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
        return answer.value_or(false);
    };
    EXPECT_FALSE(ask()) << "no watcher on the bus";
    serveWatcher();
    EXPECT_TRUE(ask());
    watcher.host = false;
    EXPECT_FALSE(ask()) << "a watcher without a panel";
}

TEST_F(platformStatusNotifierBus, ItemRegistersAndLeavesWithTheStatusItem) {
    serveWatcher();
    QStringList ran;
    std::shared_ptr<StatusItem> time = bar.statusItemWithLength(platform::VariableStatusItemLength);
    time->setTitle(QStringLiteral("10:00:00"));
    time->setMenu(timeLikeMenu(ran));
    present();
    const QString name = registeredName();
    ASSERT_TRUE(name.startsWith(QStringLiteral("org.kde.StatusNotifierItem-")))
        << name.toStdString();
    EXPECT_TRUE(panel.interface()->isServiceRegistered(name).value());
    EXPECT_EQ(property(name, QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    EXPECT_TRUE(property(name, QStringLiteral("ItemIsMenu")).toBool());
    EXPECT_EQ(property(name, QStringLiteral("Menu")).value<QDBusObjectPath>().path(),
              platform::StatusNotifierItem::MenuPath);

    // A second item made later registers under a name of its own.
    bar.statusItemWithLength(platform::VariableStatusItemLength)->setTitle(QStringLiteral("Date"));
    const QString second = registeredName(2);
    EXPECT_NE(second, name);

    bar.removeStatusItem(time.get());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !panel.interface()->isServiceRegistered(name).value(); }, 10000));
}

TEST_F(platformStatusNotifierBus, IconAndLabelFollowTheTickOnceATick) {
    serveWatcher();
    std::shared_ptr<StatusItem> time = bar.statusItemWithLength(platform::VariableStatusItemLength);
    time->setTitle(QStringLiteral("10:00:00"));
    present();
    const QString name = registeredName();
    EXPECT_EQ(property(name, QStringLiteral("XAyatanaLabel")).toString(),
              QStringLiteral("10:00:00"));
    const dbus::IconPixmapList before = icon(name);
    ASSERT_EQ(before.size(), 2);
    const double width = platform::statusItemWidth(*time, platform::defaultStatusBarStyle());
    EXPECT_EQ(before[0].height, 24);
    EXPECT_EQ(before[0].width, static_cast<int>(std::ceil(width)));
    EXPECT_EQ(before[1].height, 48);
    EXPECT_EQ(before[0].bytes.size(), before[0].width * before[0].height * 4);
    // The text is drawn: some pixels are not transparent.
    EXPECT_NE(before[0].bytes.count('\0'), before[0].bytes.size());

    Heard heard;
    listen(name, heard);
    // One tick: the time and the analog icon change one after the other.
    QImage clock(16, 16, QImage::Format_ARGB32);
    clock.fill(Qt::blue);
    time->setTitle(QStringLiteral("10:00:01"));
    time->setImage(clock);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.icons > 0 && !heard.labels.isEmpty(); }, 10000));
    // Let anything else still on its way arrive before counting.
    ask(name, platform::StatusNotifierItem::ObjectPath, QStringLiteral("org.freedesktop.DBus.Peer"),
        QStringLiteral("Ping"));
    EXPECT_EQ(heard.icons, 1);
    EXPECT_EQ(heard.labels, QStringList{QStringLiteral("10:00:01")});
    EXPECT_EQ(heard.titles, 1);
    EXPECT_EQ(property(name, QStringLiteral("XAyatanaLabel")).toString(),
              QStringLiteral("10:00:01"));
    const dbus::IconPixmapList after = icon(name);
    ASSERT_EQ(after.size(), 2);
    EXPECT_GT(after[0].width, before[0].width) << "the image now stands left of the time";

    // A tick that changes nothing sends nothing.
    time->setTitle(QStringLiteral("10:00:01"));
    ask(name, platform::StatusNotifierItem::ObjectPath, QStringLiteral("org.freedesktop.DBus.Peer"),
        QStringLiteral("Ping"));
    EXPECT_EQ(heard.icons, 1);
}

TEST_F(platformStatusNotifierBus, MenuTravelsAsTheModelAndClicksRunItsActions) {
    serveWatcher();
    QStringList ran;
    std::shared_ptr<Menu> menu = timeLikeMenu(ran);
    std::shared_ptr<StatusItem> time = bar.statusItemWithLength(platform::VariableStatusItemLength);
    time->setTitle(QStringLiteral("10:00:00"));
    time->setMenu(menu);
    present();
    const QString name = registeredName();
    const dbus::MenuLayoutItem root = layout(name);
    expectLayoutMatches(root, *menu);

    const auto click = [&](int id) {
        ask(name, platform::StatusNotifierItem::MenuPath, kMenuInterface, QStringLiteral("Event"),
            {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    };
    click(root.children[0].id);
    click(root.children[4].children[0].id);
    click(root.children[2].id);  // disabled: nothing runs
    EXPECT_EQ(ran, (QStringList{"ip", "wake"}));

    // Opening and closing as the panel shows it reach the model's delegate.
    int willOpen = 0;
    menu->setDelegate(
        {.menuNeedsUpdate = {}, .menuWillOpen = [&](Menu&) { ++willOpen; }, .menuDidClose = {}});
    const auto event = [&](const QString& what) {
        ask(name, platform::StatusNotifierItem::MenuPath, kMenuInterface, QStringLiteral("Event"),
            {0, what, QVariant::fromValue(QDBusVariant(0)), 0u});
    };
    event(QStringLiteral("opened"));
    EXPECT_TRUE(menu->isOpen());
    EXPECT_EQ(willOpen, 1);
    event(QStringLiteral("closed"));
    EXPECT_FALSE(menu->isOpen());
}

TEST_F(platformStatusNotifierBus, MenuChangesReachThePanel) {
    serveWatcher();
    QStringList ran;
    std::shared_ptr<Menu> menu = timeLikeMenu(ran);
    std::shared_ptr<StatusItem> time = bar.statusItemWithLength(platform::VariableStatusItemLength);
    time->setMenu(menu);
    present();
    const QString name = registeredName();
    const dbus::MenuLayoutItem root = layout(name);
    Heard heard;
    listen(name, heard);

    // The tick retitles a world-clock line: its properties change, not the tree.
    menu->itemAtIndex(2)->setTitle(QStringLiteral("Berlin 10:01"));
    menu->itemAtIndex(3)->setState(platform::ControlState::Off);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !heard.updates.isEmpty(); }, 10000));
    ASSERT_EQ(heard.updates.size(), 1) << "both changes in one message";
    ASSERT_EQ(heard.updates[0].size(), 2);
    EXPECT_EQ(heard.updates[0][0].id, root.children[2].id);
    EXPECT_EQ(heard.updates[0][0].properties.value(QStringLiteral("label")).toString(),
              QStringLiteral("Berlin 10:01"));
    EXPECT_EQ(heard.layouts, 0);

    // A new entry changes the tree; the ids of the others stay.
    menu->insertItemWithTitle(
        QStringLiteral("Count Down..."), [&ran](MenuItem&) { ran << "cd"; }, {}, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.layouts == 1; }, 10000));
    const dbus::MenuLayoutItem after = layout(name);
    expectLayoutMatches(after, *menu);
    EXPECT_EQ(after.children[0].id, root.children[0].id);
    EXPECT_EQ(after.children[3].id, root.children[2].id);
}

TEST_F(platformStatusNotifierBus, ActivateDoesWhatAClickOnTheStripDoes) {
    serveWatcher();
    QStringList log;
    std::shared_ptr<StatusItem> date = bar.statusItemWithLength(platform::VariableStatusItemLength);
    date->setView(std::make_shared<RecordingView>(log));
    std::shared_ptr<StatusItem> plain =
        bar.statusItemWithLength(platform::VariableStatusItemLength);
    plain->setTitle(QStringLiteral("Apps"));
    plain->setAction([&log](StatusItem&) { log << "action"; });

    {
        platform::OffscreenStatusBar strip(bar);
        strip.click(*date);
        strip.click(*plain);
    }
    const QStringList onTheStrip = log;
    ASSERT_EQ(onTheStrip, (QStringList{"view down", "view up", "action"}));
    log.clear();

    present();
    const QString first = registeredName(1);
    const QString second = registeredName(2);
    EXPECT_EQ(property(first, QStringLiteral("XAyatanaLabel")).toString(),
              QStringLiteral("Fri 11 Dec"));
    EXPECT_FALSE(property(first, QStringLiteral("ItemIsMenu")).toBool());
    for (const QString& name : {first, second}) {
        ask(name, platform::StatusNotifierItem::ObjectPath, kItemInterface,
            QStringLiteral("Activate"), {500, 12});
    }
    EXPECT_EQ(log, onTheStrip);
    // Windows that hang below the item open at the place of the click.
    EXPECT_EQ(date->windowFrame().center().x(), 500);
}

}  // namespace
}  // namespace talvor

#include "StatusNotifierItemTest.moc"
