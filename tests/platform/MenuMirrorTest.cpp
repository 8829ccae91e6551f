#include "platform/Menu.h"
#include "platform/MenuMirror.h"
#include "platform/OffscreenStatusBar.h"

#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QWidgetAction>

using namespace talvor::platform;

namespace {

// What the QMenu shows, one entry per action: "---" for a separator, else its text with
// "[x]" when checked, "(off)" when disabled and "(hidden)" when not visible.
QStringList shown(const QMenu& menu) {
    QStringList out;
    for (const QAction* a : menu.actions()) {
        if (a->isSeparator()) {
            out << QStringLiteral("---");
            continue;
        }
        QString s = a->text();
        if (a->isChecked()) {
            s += QStringLiteral(" [x]");
        }
        if (!a->isEnabled()) {
            s += QStringLiteral(" (off)");
        }
        if (!a->isVisible()) {
            s += QStringLiteral(" (hidden)");
        }
        out << s;
    }
    return out;
}

MenuAction noop() {
    return [](MenuItem&) {};
}

void popUp(MenuMirror& mirror) {
    mirror.menu()->popup(QPoint(20, 40));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mirror.menu()));
}

TEST(platformMenuMirror, ShowsEveryPropertyOfTheModel) {
    auto menu = Menu::create(QStringLiteral("Time"));
    auto copy = menu->addItemWithTitle(QStringLiteral("Copy IP Address"), noop());
    copy->setTag(1001);
    copy->setRepresentedObject(QStringLiteral("192.0.2.1"));
    copy->setToolTip(QStringLiteral("Copies it"));
    menu->addItem(MenuItem::separatorItem());
    menu->addItemWithTitle(QStringLiteral("Floating Clocks\u2026"), noop())
        ->setState(ControlState::On);
    menu->addItemWithTitle(QStringLiteral("Header"));  // no action: shown disabled
    menu->addItemWithTitle(QStringLiteral("Hidden"), noop())->setHidden(true);
    menu->addItemWithTitle(QStringLiteral("Salt & Pepper"), noop());
    auto icon = menu->addItemWithTitle(QStringLiteral("Finder"), noop());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::red);
    icon->setImage(image);
    auto sub = Menu::create(QStringLiteral("Take 5..."));
    sub->addItemWithTitle(QStringLiteral("Stop"), noop());
    sub->addItemWithTitle(QStringLiteral("Preferences..."), noop());
    menu->addItemWithTitle(QStringLiteral("Take 5..."))->setSubmenu(sub);

    MenuMirror mirror(menu);
    EXPECT_EQ(shown(*mirror.menu()),
              QStringList({"Copy IP Address", "---", "Floating Clocks\u2026 [x]", "Header (off)",
                           "Hidden (off) (hidden)", "Salt && Pepper", "Finder", "Take 5..."}));
    EXPECT_EQ(mirror.menu()->title(), QStringLiteral("Time"));
    QAction* a = mirror.actionAt(0);
    EXPECT_EQ(a->property("tag").toLongLong(), 1001);
    EXPECT_EQ(a->data(), QVariant(QStringLiteral("192.0.2.1")));
    EXPECT_EQ(a->toolTip(), QStringLiteral("Copies it"));
    EXPECT_FALSE(mirror.actionAt(6)->icon().isNull());
    ASSERT_NE(mirror.submenuMirrorAt(7), nullptr);
    EXPECT_EQ(mirror.actionAt(7)->menu(), mirror.submenuMirrorAt(7)->menu());
    EXPECT_EQ(shown(*mirror.submenuMirrorAt(7)->menu()), QStringList({"Stop", "Preferences..."}));
    EXPECT_TRUE(mirror.actionAt(7)->isEnabled());
}

TEST(platformMenuMirror, ShowsKeyEquivalentsWithTheMappedModifiers) {
    struct Case {
        QString key;
        ModifierFlags mask;
        QKeySequence expected;
    };
    const Case cases[] = {
        {"q", CommandKeyMask, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {"Q", CommandKeyMask, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q)},
        {",", CommandKeyMask | AlternateKeyMask, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Comma)},
        {"f", ControlKeyMask, QKeySequence(Qt::META | Qt::Key_F)},
        {QString(QChar(0xF704)), 0, QKeySequence(Qt::Key_F1)},
        {"\x1b", 0, QKeySequence(Qt::Key_Escape)},
        {"", CommandKeyMask, QKeySequence()},
    };
    auto menu = Menu::create();
    for (const Case& c : cases) {
        auto item = menu->addItemWithTitle(QStringLiteral("x"), noop(), c.key);
        item->setKeyEquivalentModifierMask(c.mask);
    }
    MenuMirror mirror(menu);
    for (int i = 0; i < menu->numberOfItems(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(mirror.actionAt(i)->shortcut(), cases[i].expected);
        EXPECT_EQ(mirror.actionAt(i)->shortcutContext(), Qt::WidgetShortcut);
    }
}

// The tick retitles, and panes insert and remove groups, while the menu is open: the open
// QMenu follows without closing.
TEST(platformMenuMirror, EditsWhileOpenChangeTheOpenMenuInPlace) {
    auto menu = Menu::create();
    auto clock = menu->addItemWithTitle(QStringLiteral("Paris 12:00:01"), noop());
    clock->setTag(-96);
    menu->addItemWithTitle(QStringLiteral("Quit"), noop());
    MenuMirror mirror(menu);
    popUp(mirror);
    QMenu* qmenu = mirror.menu();
    ASSERT_TRUE(menu->isOpen());
    QAction* clockAction = mirror.actionAt(0);
    const int widthBefore = qmenu->width();

    struct Step {
        const char* what;
        std::function<void()> edit;
        QStringList expected;
    };
    TextAttributes bold;
    bold.font = QFont(QStringLiteral("DejaVu Sans"), 16, QFont::Bold);
    auto sub = Menu::create();
    sub->addItemWithTitle(QStringLiteral("Look up"), noop());
    const Step steps[] = {
        {"retitle",
         [&] { clock->setTitle(QStringLiteral("Paris 12:00:02")); },
         {"Paris 12:00:02", "Quit"}},
        {"insert above",
         [&] {
             menu->insertItemWithTitle(QStringLiteral("Alarms..."), noop(), {}, 0)->setTag(2001);
         },
         {"Alarms...", "Paris 12:00:02", "Quit"}},
        {"insert a separator",
         [&] { menu->insertItem(MenuItem::separatorItem(), 1); },
         {"Alarms...", "---", "Paris 12:00:02", "Quit"}},
        {"check",
         [&] { clock->setState(ControlState::On); },
         {"Alarms...", "---", "Paris 12:00:02 [x]", "Quit"}},
        {"disable",
         [&] { clock->setAction({}); },
         {"Alarms...", "---", "Paris 12:00:02 [x] (off)", "Quit"}},
        {"submenu",
         [&] { clock->setSubmenu(sub); },
         {"Alarms...", "---", "Paris 12:00:02 [x]", "Quit"}},
        {"styled title",
         [&] { clock->setAttributedTitle(AttributedString("Paris 12:00:03", bold)); },
         {"Alarms...", "---", "Paris 12:00:03 [x]", "Quit"}},
        {"styled retitle",
         [&] { clock->setAttributedTitle(AttributedString("Paris 12:00:04 and on", bold)); },
         {"Alarms...", "---", "Paris 12:00:04 and on [x]", "Quit"}},
        {"remove by tag",
         [&] { menu->removeItemAtIndex(menu->indexOfItemWithTag(-96)); },
         {"Alarms...", "---", "Quit"}},
        {"remove the separator",
         [&] { menu->removeItemAtIndex(menu->indexOfItemWithTag(0)); },
         {"Alarms...", "Quit"}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.edit();
        QCoreApplication::processEvents();
        EXPECT_EQ(shown(*qmenu), s.expected);
        EXPECT_EQ(mirror.menu(), qmenu);
        EXPECT_TRUE(qmenu->isVisible());
        EXPECT_EQ(QApplication::activePopupWidget(), qmenu);
        EXPECT_TRUE(menu->isOpen());
        if (std::string(s.what) == "retitle") {
            EXPECT_EQ(mirror.actionAt(0), clockAction);  // the same entry, retitled
        }
        if (std::string(s.what) == "styled retitle") {
            auto* wa = qobject_cast<QWidgetAction*>(mirror.actionAt(2));
            ASSERT_NE(wa, nullptr);
            EXPECT_GT(qmenu->actionGeometry(wa).width(), widthBefore / 2);
            EXPECT_EQ(qmenu->actionGeometry(wa).width(),
                      qmenu->actionGeometry(mirror.actionAt(0)).width());
            EXPECT_EQ(mirror.submenuMirrorAt(2)->model(), sub);  // the submenu came along
        }
    }
    qmenu->hide();
    EXPECT_FALSE(menu->isOpen());
}

TEST(platformMenuMirror, RemovingAnItemWhoseSubmenuIsOpenClosesThatSubmenu) {
    auto menu = Menu::create();
    auto sub = Menu::create();
    sub->addItemWithTitle(QStringLiteral("Start"), noop());
    auto parent = menu->addItemWithTitle(QStringLiteral("Take 5..."));
    parent->setSubmenu(sub);
    menu->addItemWithTitle(QStringLiteral("Quit"), noop());
    MenuMirror mirror(menu);
    popUp(mirror);
    QMenu* subMenu = mirror.submenuMirrorAt(0)->menu();
    subMenu->popup(QPoint(200, 40));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(subMenu));
    ASSERT_TRUE(sub->isOpen());

    menu->removeItem(parent.get());
    QCoreApplication::processEvents();
    EXPECT_FALSE(sub->isOpen());
    EXPECT_EQ(shown(*mirror.menu()), QStringList({"Quit"}));
    mirror.menu()->hide();
}

// Opens the submenu of `action` as hovering it does, and waits for it.
QMenu* openSubmenu(QMenu& menu, QAction* action) {
    menu.setActiveAction(action);
    QMenu* sub = action->menu();
    EXPECT_TRUE(QTest::qWaitFor([sub] { return sub->isVisible(); }));
    return sub;
}

std::string text(const QRect& r) {
    return QStringLiteral("(%1,%2 %3x%4)")
        .arg(r.x())
        .arg(r.y())
        .arg(r.width())
        .arg(r.height())
        .toStdString();
}

// How far apart two menus side by side are (negative: they overlap).
int gapBetween(const QRect& a, const QRect& b) {
    return std::max(b.left() - a.right(), a.left() - b.right()) - 1;
}

TEST(platformMenuMirror, SubmenusOpenBesideTheMenuTheyComeFromNeverOverAnOpenMenu) {
    // The time menu hangs from the right end of the strip: its submenus open to its left,
    // and a submenu of theirs further left, not back over the time menu.
    auto menu = Menu::create();
    auto alarms = Menu::create();
    auto timer = Menu::create();
    for (int minutes : {1, 2, 3, 4, 5, 10, 15, 20, 30, 45}) {
        timer->addItemWithTitle(QStringLiteral("%1 min").arg(minutes), noop());
    }
    alarms->addItemWithTitle(QStringLiteral("Create alarm..."), noop());
    alarms->addItemWithTitle(QStringLiteral("Timer..."))->setSubmenu(timer);
    menu->addItemWithTitle(QStringLiteral("External IP: 192.0.2.1"), noop());
    menu->addItemWithTitle(QStringLiteral("Alarms..."))->setSubmenu(alarms);
    for (const char* title : {"Floating Clocks...", "Date Difference Calculator...", "Quit"}) {
        menu->addItemWithTitle(QString::fromLatin1(title), noop());
    }
    MenuMirror mirror(menu);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    mirror.menu()->popup(QPoint(screen.right(), screen.top() + 24));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mirror.menu()));

    QMenu* alarmsMenu = openSubmenu(*mirror.menu(), mirror.actionAt(1));
    QMenu* timerMenu = openSubmenu(*alarmsMenu, mirror.submenuMirrorAt(1)->actionAt(1));
    ASSERT_TRUE(alarmsMenu->isVisible());
    const QRect time = mirror.menu()->geometry();
    const QRect alarm = alarmsMenu->geometry();
    const QRect minutes = timerMenu->geometry();
    EXPECT_FALSE(minutes.intersects(time)) << text(minutes) << " over the time menu " << text(time);
    EXPECT_FALSE(minutes.intersects(alarm)) << text(minutes) << " over its opener " << text(alarm);
    EXPECT_FALSE(alarm.intersects(time)) << text(alarm) << " over the time menu " << text(time);
    EXPECT_LE(gapBetween(alarm, minutes), 2) << text(minutes) << " not beside " << text(alarm);
    EXPECT_LT(minutes.right(), alarm.left()) << "cascades leftwards: " << text(minutes);
    EXPECT_TRUE(screen.contains(minutes)) << text(minutes);
    mirror.menu()->hide();
}

TEST(platformMenuMirror, AChoiceClosesTheMenuBeforeTheActionRuns) {
    auto menu = Menu::create();
    QStringList heard;
    auto item =
        menu->addItemWithTitle(QStringLiteral("Show Floating Clocks"),
                               [&](MenuItem& sender) { heard << "action " + sender.title(); });
    // The delegate rebuilds the menu as it closes; the chosen entry's action still runs.
    menu->setDelegate({.menuDidClose = [&](Menu& m) {
        heard << QStringLiteral("did close");
        m.removeAllItems();
        m.addItemWithTitle(QStringLiteral("Rebuilt"));
    }});
    MenuMirror mirror(menu);
    popUp(mirror);
    const QRect where = mirror.menu()->actionGeometry(mirror.actionAt(0));
    QTest::mouseClick(mirror.menu(), Qt::LeftButton, {}, where.center());
    QCoreApplication::processEvents();
    EXPECT_EQ(heard, QStringList({"did close", "action Show Floating Clocks"}));
    EXPECT_EQ(shown(*mirror.menu()), QStringList({"Rebuilt (off)"}));
}

TEST(platformMenuMirror, ChoosingAStyledEntryWorksLikeAPlainOne) {
    auto menu = Menu::create();
    int chosen = 0;
    auto item = menu->addItemWithTitle(QStringLiteral("x"), [&](MenuItem&) { ++chosen; });
    TextAttributes small;
    small.font = QFont(QStringLiteral("DejaVu Sans"), 10);
    small.obliqueness = 0.3;
    AttributedString two(QStringLiteral("Wake up"));
    two.append(QStringLiteral(" Mon, 7:00 AM"), small);
    item->setAttributedTitle(two);
    MenuMirror mirror(menu);
    popUp(mirror);
    ASSERT_NE(qobject_cast<QWidgetAction*>(mirror.actionAt(0)), nullptr);
    const QRect where = mirror.menu()->actionGeometry(mirror.actionAt(0));
    QTest::mouseClick(mirror.menu(), Qt::LeftButton, {}, where.center());
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, 1);
    EXPECT_FALSE(mirror.menu()->isVisible());

    // And from the keyboard.
    popUp(mirror);
    QTest::keyClick(mirror.menu(), Qt::Key_Down);
    EXPECT_EQ(mirror.menu()->activeAction(), mirror.actionAt(0));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : mirror.menu(),
                    Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(chosen, 2);
    EXPECT_FALSE(mirror.menu()->isVisible());
}

TEST(platformMenuMirror, CancelTrackingClosesTheOpenMenu) {
    auto menu = Menu::create();
    menu->addItemWithTitle(QStringLiteral("Quit"), noop());
    MenuMirror mirror(menu);
    popUp(mirror);
    menu->cancelTracking();
    EXPECT_FALSE(mirror.menu()->isVisible());
    EXPECT_FALSE(menu->isOpen());
}

TEST(platformMenuMirror, AMenuInsideItselfIsNotMirroredForever) {
    auto menu = Menu::create(QStringLiteral("Loop"));
    auto item = menu->addItemWithTitle(QStringLiteral("Again"));
    talvor::test::LogCapture logs;
    item->setSubmenu(menu);
    MenuMirror mirror(menu);
    EXPECT_EQ(mirror.submenuMirrorAt(0), nullptr);
    EXPECT_TRUE(logs.contains(QStringLiteral("holds a menu that contains it")));
    item->setSubmenu(nullptr);  // breaks the cycle so the menu can go
}

TEST(platformMenuMirror, RendersAMenuOffscreen) {
    auto menu = Menu::create();
    menu->addItemWithTitle(QStringLiteral("Alarms..."), noop());
    menu->addItem(MenuItem::separatorItem());
    menu->addItemWithTitle(QStringLiteral("Quit"), noop());
    const QImage image = OffscreenStatusBar::renderMenu(menu);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.height(), 40);
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int dark = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            dark += qGray(argb.pixel(x, y)) < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 30);
}

}  // namespace
