#include "platform/AttributedString.h"
#include "platform/EventModifiers.h"
#include "platform/Menu.h"
#include "platform/StatusBar.h"

#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QStringList>

using namespace talvor::platform;

namespace {

QStringList titles(const Menu& menu) {
    QStringList out;
    for (const auto& item : menu.itemArray()) {
        out << (item->isSeparatorItem() ? QStringLiteral("---") : item->title());
    }
    return out;
}

std::shared_ptr<MenuItem> tagged(const QString& title, qint64 tag) {
    auto item = MenuItem::create(title, [](MenuItem&) {});
    item->setTag(tag);
    return item;
}

// Records what a menu announces, as "insert 2", "change 0", "remove 1", "open", "close".
struct MenuRecorder {
    explicit MenuRecorder(Menu& menu) {
        QObject::connect(&menu, &Menu::itemInserted,
                         [this](int i) { log << QStringLiteral("insert %1").arg(i); });
        QObject::connect(&menu, &Menu::itemRemoved,
                         [this](int i) { log << QStringLiteral("remove %1").arg(i); });
        QObject::connect(&menu, &Menu::itemChanged,
                         [this](int i) { log << QStringLiteral("change %1").arg(i); });
        QObject::connect(&menu, &Menu::willOpen, [this] { log << QStringLiteral("open"); });
        QObject::connect(&menu, &Menu::didClose, [this] { log << QStringLiteral("close"); });
    }
    QStringList take() { return std::exchange(log, {}); }
    QStringList log;
};

TEST(platformMenu, FindsItemsByTagTitleAndObject) {
    Menu menu(QStringLiteral("Time"));
    menu.addItem(tagged(QStringLiteral("Copy IP Address"), 1001));
    menu.addItem(tagged(QStringLiteral("Alarms..."), 2001));
    menu.addItem(MenuItem::separatorItem());
    menu.addItem(tagged(QStringLiteral("Paris"), -96));
    menu.addItem(tagged(QStringLiteral("Tokyo"), -96));
    menu.addItem(tagged(QStringLiteral("Help/Manual..."), 7));
    menu.addItem(tagged(QStringLiteral("Help/Manual..."), 8));
    menu.itemAtIndex(4)->setRepresentedObject(QStringLiteral("/usr/share/sounds/a.oga"));

    struct Case {
        const char* what;
        int index;
        int expected;
    };
    const Case cases[] = {
        {"a tag", menu.indexOfItemWithTag(2001), 1},
        {"a shared tag gives the first", menu.indexOfItemWithTag(-96), 3},
        {"the separator's tag 0", menu.indexOfItemWithTag(0), 2},
        {"an absent tag", menu.indexOfItemWithTag(42), -1},
        {"a title", menu.indexOfItemWithTitle(QStringLiteral("Tokyo")), 4},
        {"a repeated title gives the first",
         menu.indexOfItemWithTitle(QStringLiteral("Help/Manual...")), 5},
        {"titles match exactly", menu.indexOfItemWithTitle(QStringLiteral("tokyo")), -1},
        {"a represented object",
         menu.indexOfItemWithRepresentedObject(QStringLiteral("/usr/share/sounds/a.oga")), 4},
        {"an item", menu.indexOfItem(menu.itemAtIndex(3)), 3},
        {"a foreign item", menu.indexOfItem(tagged(QStringLiteral("x"), 1).get()), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.index, c.expected);
    }
    EXPECT_EQ(menu.itemWithTag(1001)->title(), QStringLiteral("Copy IP Address"));
    EXPECT_EQ(menu.itemWithTag(42), nullptr);
    EXPECT_EQ(menu.itemWithTitle(QStringLiteral("Paris"))->tag(), -96);
    EXPECT_EQ(menu.itemAtIndex(-1), nullptr);
    EXPECT_EQ(menu.itemAtIndex(menu.numberOfItems()), nullptr);
}

// The time menu's way of working: fixed items, groups inserted at computed places, found
// again by tag and taken out one at a time.
TEST(platformMenu, InsertsAndRemovesByTagWhileRunning) {
    Menu menu;
    menu.addItem(tagged(QStringLiteral("Anchor"), -85));
    menu.addItem(tagged(QStringLiteral("Help/Manual..."), 5));
    menu.addItem(tagged(QStringLiteral("Quit"), 6));

    menu.insertItemWithTitle(QStringLiteral("Alarms..."), {}, {}, 0)->setTag(2001);
    menu.insertItem(MenuItem::separatorItem(), 1);
    menu.insertItemWithTitle(
            QStringLiteral("Count Down..."), [](MenuItem&) {}, {}, menu.indexOfItemWithTag(-85) + 1)
        ->setTag(-84);
    menu.insertItemWithTitle(QStringLiteral("Global Scheduler..."), {}, {},
                             menu.indexOfItemWithTitle(QStringLiteral("Help/Manual...")) - 1)
        ->setTag(-83);
    menu.insertItem(MenuItem::separatorItem(), menu.numberOfItems() - 1);
    EXPECT_EQ(titles(menu), QStringList({"Alarms...", "---", "Anchor", "Global Scheduler...",
                                         "Count Down...", "Help/Manual...", "---", "Quit"}));

    // Every item with tag 0 out, one at a time, until none is left.
    int removed = 0;
    for (int i = menu.indexOfItemWithTag(0); i >= 0; i = menu.indexOfItemWithTag(0)) {
        menu.removeItemAtIndex(i);
        ++removed;
    }
    EXPECT_EQ(removed, 2);
    menu.removeItem(menu.itemWithTag(-84));
    menu.removeItem(menu.itemWithTag(-84));  // already gone: nothing happens
    EXPECT_EQ(titles(menu), QStringList({"Alarms...", "Anchor", "Global Scheduler...",
                                         "Help/Manual...", "Quit"}));

    menu.removeAllItems();
    EXPECT_EQ(menu.numberOfItems(), 0);
}

TEST(platformMenu, RefusesImpossibleInsertionsWithALogLine) {
    Menu other;
    auto elsewhere = tagged(QStringLiteral("Elsewhere"), 3);
    other.addItem(elsewhere);

    struct Case {
        const char* what;
        std::shared_ptr<MenuItem> item;
        int index;
    };
    const Case cases[] = {
        {"negative index", tagged(QStringLiteral("a"), 1), -1},
        {"index past the end", tagged(QStringLiteral("a"), 1), 3},
        {"item already in a menu", elsewhere, 0},
        {"no item", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Menu menu(QStringLiteral("M"));
        menu.addItem(tagged(QStringLiteral("x"), 1));
        menu.addItem(tagged(QStringLiteral("y"), 2));
        talvor::test::LogCapture logs;
        EXPECT_FALSE(menu.insertItem(c.item, c.index));
        EXPECT_EQ(titles(menu), QStringList({"x", "y"}));
        EXPECT_EQ(logs.lines().size(), 1);
    }
    EXPECT_EQ(elsewhere->menu(), &other);
    Menu menu;
    talvor::test::LogCapture logs;
    EXPECT_EQ(menu.insertItemWithTitle(QStringLiteral("x"), {}, {}, -2), nullptr);
}

TEST(platformMenu, AnnouncesEachChangeWithTheItemsIndex) {
    Menu menu;
    MenuRecorder rec(menu);
    auto a = tagged(QStringLiteral("a"), 1);
    auto b = tagged(QStringLiteral("b"), 2);
    menu.addItem(a);
    menu.insertItem(b, 0);
    EXPECT_EQ(rec.take(), QStringList({"insert 0", "insert 0"}));

    a->setTitle(QStringLiteral("a2"));
    a->setTitle(QStringLiteral("a2"));  // unchanged: no news
    b->setState(ControlState::On);
    b->setImage(QImage(16, 16, QImage::Format_ARGB32));
    a->setKeyEquivalent(QStringLiteral("q"));
    a->setRepresentedObject(42);
    a->setHidden(true);
    EXPECT_EQ(rec.take(), QStringList({"change 1", "change 0", "change 0", "change 1", "change 1",
                                       "change 1"}));

    menu.removeItem(b.get());
    EXPECT_EQ(rec.take(), QStringList({"remove 0"}));
    b->setTitle(QStringLiteral("gone"));  // no longer in the menu
    a->setTitle(QStringLiteral("a3"));
    EXPECT_EQ(rec.take(), QStringList({"change 0"}));

    menu.setAutoenablesItems(false);
    EXPECT_EQ(rec.take(), QStringList({"change 0"}));
}

TEST(platformMenu, AttributedTitlesCarryTheirPlainTitle) {
    Menu menu;
    auto item = MenuItem::create(QStringLiteral("plain"));
    menu.addItem(item);
    TextAttributes big;
    big.font = QFont(QStringLiteral("DejaVu Sans"), 14);
    AttributedString two(QStringLiteral("Wake up"), big);
    two.append(QStringLiteral(" Mon, 7:00 AM"));
    item->setAttributedTitle(two);
    EXPECT_EQ(item->title(), QStringLiteral("Wake up Mon, 7:00 AM"));
    EXPECT_EQ(menu.indexOfItemWithTitle(QStringLiteral("Wake up Mon, 7:00 AM")), 0);

    item->setTitle(QStringLiteral("plain again"));
    EXPECT_TRUE(item->attributedTitle().isEmpty());
    EXPECT_EQ(item->title(), QStringLiteral("plain again"));
}

TEST(platformMenu, OpenAndCloseReachDelegateAndObserversOncePerOpening) {
    auto menu = Menu::create(QStringLiteral("Time"));
    QStringList heard;
    menu->setDelegate({
        .menuNeedsUpdate = [&](Menu&) { heard << QStringLiteral("needs update"); },
        .menuWillOpen =
            [&](Menu& m) {
                heard << QStringLiteral("will open");
                // A delegate may rebuild the menu as it opens.
                m.addItemWithTitle(QStringLiteral("added on open"));
            },
        .menuDidClose = [&](Menu&) { heard << QStringLiteral("did close"); },
    });
    MenuRecorder rec(*menu);
    int cancels = 0;
    QObject::connect(menu.get(), &Menu::cancelTrackingRequested, [&] { ++cancels; });

    menu->cancelTracking();  // not open: nothing to cancel
    menu->notifyWillOpen();
    menu->notifyWillOpen();
    EXPECT_TRUE(menu->isOpen());
    menu->cancelTracking();
    menu->notifyDidClose();
    menu->notifyDidClose();
    EXPECT_FALSE(menu->isOpen());

    EXPECT_EQ(heard, QStringList({"needs update", "will open", "did close"}));
    EXPECT_EQ(rec.take(), QStringList({"insert 0", "open", "close"}));
    EXPECT_EQ(cancels, 1);

    // A delegate without callbacks is fine.
    Menu bare;
    bare.notifyWillOpen();
    bare.notifyDidClose();
    EXPECT_FALSE(bare.isOpen());
}

TEST(platformMenu, ActionsRunWithTheirSenderAndTheEventsModifiers) {
    auto menu = Menu::create();
    MenuItem* sender = nullptr;
    ModifierFlags seen = 0;
    menu->addItemWithTitle(QStringLiteral("Look up"), [&](MenuItem& item) {
        sender = &item;
        seen = currentEventModifierFlags();
    });
    menu->addItemWithTitle(QStringLiteral("No action"));
    auto disabled = menu->addItemWithTitle(QStringLiteral("Disabled"), [](MenuItem&) {});
    disabled->setEnabled(false);

    EXPECT_TRUE(menu->performActionForItemAtIndex(0, ControlKeyMask | ShiftKeyMask));
    EXPECT_EQ(sender, menu->itemAtIndex(0));
    EXPECT_EQ(seen, ControlKeyMask | ShiftKeyMask);
    EXPECT_FALSE(menu->performActionForItemAtIndex(1));
    EXPECT_FALSE(menu->performActionForItemAtIndex(5));
    EXPECT_TRUE(menu->performActionForItemAtIndex(2));  // enabled by its action
    menu->setAutoenablesItems(false);
    EXPECT_FALSE(menu->performActionForItemAtIndex(2));

    // An action that takes its own item out of the menu runs to its end on a live item.
    QString titleAfterRemoval;
    menu->addItemWithTitle(QStringLiteral("Remove me"), [&](MenuItem& item) {
        item.menu()->removeItem(&item);
        titleAfterRemoval = item.title();
    });
    EXPECT_TRUE(menu->performActionForItemAtIndex(3));
    EXPECT_EQ(titleAfterRemoval, QStringLiteral("Remove me"));
    EXPECT_EQ(menu->indexOfItemWithTitle(QStringLiteral("Remove me")), -1);
}

TEST(platformMenu, AutoenablingDecidesFromActionAndSubmenu) {
    struct Case {
        bool autoenables;
        bool action;
        bool submenu;
        bool enabledFlag;
        bool shown;
    };
    const Case cases[] = {
        {true, true, false, true, true},   {true, false, false, true, false},
        {true, false, true, true, true},   {true, true, false, false, true},
        {false, false, false, true, true}, {false, true, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.autoenables << c.action << c.submenu << c.enabledFlag);
        Menu menu;
        menu.setAutoenablesItems(c.autoenables);
        auto item = menu.addItemWithTitle(QStringLiteral("x"));
        if (c.action) {
            item->setAction([](MenuItem&) {});
        }
        if (c.submenu) {
            menu.setSubmenu(Menu::create(), item.get());
        }
        item->setEnabled(c.enabledFlag);
        EXPECT_EQ(menu.isItemShownEnabled(*item), c.shown);
    }
    EXPECT_FALSE(Menu().isItemShownEnabled(*MenuItem::separatorItem()));
}

// The alarm submenu is handed over once and hung under a new item each time the group is
// rebuilt.
TEST(platformMenu, SubmenusAreSharedAndOutliveTheirItem) {
    Menu menu;
    MenuRecorder rec(menu);
    auto alarms = Menu::create(QStringLiteral("Alarms"));
    alarms->addItemWithTitle(QStringLiteral("Wake up"));
    std::weak_ptr<Menu> weak = alarms;

    auto first = menu.addItemWithTitle(QStringLiteral("Alarms..."));
    menu.setSubmenu(alarms, first.get());
    EXPECT_EQ(menu.indexOfItemWithSubmenu(alarms.get()), 0);
    menu.removeItem(first.get());
    first.reset();
    auto second = menu.addItemWithTitle(QStringLiteral("Alarms..."));
    second->setSubmenu(alarms);
    alarms.reset();
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(second->submenu()->itemAtIndex(0)->title(), QStringLiteral("Wake up"));
    EXPECT_EQ(rec.take(),
              QStringList({"insert 0", "change 0", "remove 0", "insert 0", "change 0"}));
}

TEST(platformStatusBar, CreatesItemsInOrderAndLetsCallersKeepRemovedOnes) {
    StatusBar bar;
    QStringList heard;
    QObject::connect(&bar, &StatusBar::itemAdded,
                     [&](StatusItem* i) { heard << "add " + i->title(); });
    QObject::connect(&bar, &StatusBar::itemRemoved,
                     [&](StatusItem* i) { heard << "remove " + i->title(); });

    auto asm_ = bar.statusItemWithLength(VariableStatusItemLength);
    asm_->setTitle(QStringLiteral("apps"));
    auto date = bar.statusItemWithLength(VariableStatusItemLength);
    auto time = bar.statusItemWithLength(30);
    EXPECT_EQ(bar.statusItems().size(), 3u);
    EXPECT_EQ(bar.statusItems()[1], date);
    EXPECT_EQ(time->length(), 30);
    EXPECT_EQ(time->statusBar(), &bar);
    EXPECT_EQ(bar.thickness(), StatusBarThickness);

    time->setTitle(QStringLiteral("time"));
    bar.removeStatusItem(time.get());
    bar.removeStatusItem(time.get());  // not in the bar any more: ignored
    EXPECT_EQ(time->statusBar(), nullptr);
    EXPECT_EQ(time->title(), QStringLiteral("time"));
    EXPECT_EQ(bar.statusItems().size(), 2u);
    EXPECT_EQ(heard, QStringList({"add ", "add ", "add ", "remove time"}));

    StatusBar::setSystemStatusBar(&bar);
    EXPECT_EQ(&StatusBar::systemStatusBar(), &bar);
    StatusBar::setSystemStatusBar(nullptr);
    EXPECT_NE(&StatusBar::systemStatusBar(), &bar);
}

class ProbeView : public StatusItemView {
  public:
    void drawRect(QPainter&, const QRectF&) override {}
    void mouseDown(const StatusItemMouseEvent& e) override { downs.push_back(e.timestamp); }
    std::vector<double> downs;
};

TEST(platformStatusItem, AnnouncesOnlyVisibleChanges) {
    StatusBar bar;
    auto item = bar.statusItemWithLength(VariableStatusItemLength);
    int changes = 0;
    int menuChanges = 0;
    std::shared_ptr<Menu> requested;
    QObject::connect(item.get(), &StatusItem::changed, [&] { ++changes; });
    QObject::connect(item.get(), &StatusItem::menuChanged, [&] { ++menuChanges; });
    QObject::connect(item.get(), &StatusItem::popUpMenuRequested,
                     [&](const std::shared_ptr<Menu>& m) { requested = m; });

    TextAttributes red;
    red.foregroundColor = QColor(Qt::red);
    struct Step {
        const char* what;
        std::function<void()> apply;
        int changes;
    };
    auto view = std::make_shared<ProbeView>();
    const Step steps[] = {
        {"a title", [&] { item->setAttributedTitle(AttributedString("12:00:01 PM", red)); }, 1},
        {"the same title", [&] { item->setAttributedTitle(AttributedString("12:00:01 PM", red)); },
         0},
        {"the next second", [&] { item->setAttributedTitle(AttributedString("12:00:02 PM", red)); },
         1},
        {"a plain title", [&] { item->setTitle("Time"); }, 1},
        {"an image", [&] { item->setImage(QImage(16, 16, QImage::Format_ARGB32)); }, 1},
        {"a length", [&] { item->setLength(40); }, 1},
        {"the same length", [&] { item->setLength(40); }, 0},
        {"right alignment", [&] { item->setAlignment(Qt::AlignRight | Qt::AlignVCenter); }, 1},
        {"the button moved right",
         [&] { item->setButtonFrame(item->buttonFrame().translated(4, 0)); }, 1},
        {"a view", [&] { item->setView(view); }, 1},
        {"the view asks to be drawn", [&] { view->setNeedsDisplay(); }, 1},
        {"the view widens", [&] { view->setWidth(30); }, 1},
        {"highlight mode", [&] { item->setHighlightMode(true); }, 1},
        {"a menu", [&] { item->setMenu(Menu::create()); }, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        changes = 0;
        s.apply();
        EXPECT_EQ(changes, s.changes);
    }
    EXPECT_EQ(item->title(), QStringLiteral("Time"));
    EXPECT_EQ(item->alignment(), Qt::AlignRight);
    EXPECT_EQ(item->buttonFrame().topLeft(), QPointF(4, 0));
    EXPECT_EQ(menuChanges, 1);

    auto other = Menu::create();
    item->popUpStatusItemMenu(other);
    EXPECT_EQ(requested, other);

    item->setView(nullptr);
    changes = 0;
    view->setNeedsDisplay();  // detached: no longer this item's business
    EXPECT_EQ(changes, 0);
}

TEST(platformStatusItem, ClickActionRunsWithModifiersAndMayRemoveItsItem) {
    StatusBar bar;
    auto item = bar.statusItemWithLength(VariableStatusItemLength);
    ModifierFlags seen = 0;
    StatusItem* sender = nullptr;
    item->setAction([&](StatusItem& s) {
        sender = &s;
        seen = currentEventModifierFlags();
        bar.removeStatusItem(&s);
    });
    StatusItem* raw = item.get();
    item.reset();  // only the bar holds it now
    raw->performClick(AlternateKeyMask);
    EXPECT_EQ(sender, raw);
    EXPECT_EQ(seen, AlternateKeyMask);
    EXPECT_TRUE(bar.statusItems().empty());
}

TEST(platformAttributedString, KeepsRunsMergedWhateverTheWayItWasBuilt) {
    TextAttributes bold;
    bold.font = QFont(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
    TextAttributes shadowed;
    shadowed.shadow = TextShadow{{2.0, -2.0}, 1.5, QColor(0, 0, 0, 85)};

    AttributedString built(QStringLiteral("Mon "), bold);
    built.append(QStringLiteral("12"), bold);
    built.append(QStringLiteral(" May"));
    AttributedString styled(QStringLiteral("Mon 12 May"));
    styled.setAttributes(bold, 0, 6);
    EXPECT_EQ(built, styled);
    EXPECT_EQ(built.runs().size(), 2u);

    styled.setAttributes(shadowed, 4, 2);
    ASSERT_EQ(styled.runs().size(), 3u);
    EXPECT_EQ(styled.runs()[1].text, QStringLiteral("12"));
    EXPECT_EQ(styled.attributesAtIndex(5), shadowed);
    EXPECT_EQ(styled.attributesAtIndex(0), bold);
    EXPECT_EQ(styled.attributesAtIndex(99), TextAttributes{});
    styled.setAttributes(bold, 4, 2);
    EXPECT_EQ(styled, built);
    styled.setAttributes(shadowed, 8, 100);  // clipped to the text
    EXPECT_EQ(styled.string(), QStringLiteral("Mon 12 May"));
    EXPECT_EQ(styled.attributesAtIndex(9), shadowed);
    EXPECT_FALSE(styled == built);
    EXPECT_EQ(AttributedString(QString()).runs().size(), 0u);
}

TEST(platformEventModifiers, MapsKeysAsDesigned) {
    struct Case {
        Qt::KeyboardModifiers qt;
        ModifierFlags flags;
    };
    const Case cases[] = {
        {Qt::NoModifier, 0},
        {Qt::ControlModifier, CommandKeyMask},
        {Qt::AltModifier, AlternateKeyMask},
        {Qt::MetaModifier, ControlKeyMask},
        {Qt::ShiftModifier | Qt::AltModifier, ShiftKeyMask | AlternateKeyMask},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(modifierFlagsFromQt(c.qt), c.flags);
        EXPECT_EQ(qtModifiersFromFlags(c.flags), c.qt);
    }
    {
        ScopedEventModifiers outer(ShiftKeyMask);
        {
            ScopedEventModifiers inner(CommandKeyMask);
            EXPECT_EQ(currentEventModifierFlags(), CommandKeyMask);
        }
        EXPECT_EQ(currentEventModifierFlags(), ShiftKeyMask);
    }
}

}  // namespace
