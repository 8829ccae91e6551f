#include "WidgetsTestSupport.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "widgets/BaseNode.h"
#include "widgets/DeletableTableView.h"
#include "widgets/ImageAndTextCell.h"
#include "widgets/SeparatorCell.h"
#include "widgets/TalvorUtil.h"
#include "widgets/TypeaheadTableView.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>

namespace talvor {
namespace {

using test::near;
using test::pixel;

// A table over a fresh preference domain and a hand-driven scheduler.
class TableFixture : public ::testing::Test {
  protected:
    TableFixture() : defaults_(domain_.store()) {
        platform::UserDefaults::setStandard(&defaults_);
        platform::Scheduler::setShared(&scheduler_);
        model_.setRowCount(3);
        model_.setColumnCount(2);
    }
    ~TableFixture() override {
        platform::Scheduler::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }

    // The selected rows, in order.
    static std::vector<int> selectedRows(const QTableView& table) {
        std::vector<int> rows;
        for (const QModelIndex& index : table.selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }

    test::ScopedMemoryDomain domain_{QStringLiteral("com.larkspindle.TalvorPro")};
    platform::UserDefaults defaults_;
    test::FakeClock clock_;
    test::ManualScheduler scheduler_{clock_};
    QStandardItemModel model_;
};

using widgetsTypeahead = TableFixture;

TEST_F(widgetsTypeahead, ClearDelayFollowsInitialKeyRepeat) {
    struct Case {
        std::optional<qint64> initialKeyRepeat;
        double delay;
    };
    const Case cases[] = {
        {15, 0.5},      {90, 2.0},      {60, 2.0}, {30, 1.0}, {std::nullopt, 35.0 / 30},
        {0, 35.0 / 30}, {-4, 35.0 / 30}};
    for (const Case& c : cases) {
        if (c.initialKeyRepeat) {
            defaults_.setInteger(*c.initialKeyRepeat, QStringLiteral("InitialKeyRepeat"));
        } else {
            defaults_.removeObjectForKey(QStringLiteral("InitialKeyRepeat"));
        }
        const QString label =
            c.initialKeyRepeat ? QString::number(*c.initialKeyRepeat) : QStringLiteral("unset");
        EXPECT_DOUBLE_EQ(TypeaheadTableView::typeaheadClearDelay(), c.delay) << label.toStdString();

        TypeaheadTableView table;
        QLabel display;
        table.setTypeaheadDisplay(&display);
        QStringList seen;
        table.typeAheadString = [&](const QString& text, TypeaheadTableView* sender) {
            EXPECT_EQ(sender, &table);
            seen.append(text);
        };
        QTest::keyClicks(&table, QStringLiteral("ab"));
        EXPECT_EQ(seen, QStringList({QStringLiteral("a"), QStringLiteral("ab")}));
        EXPECT_EQ(display.text(), QStringLiteral("ab"));
        scheduler_.advanceBy(c.delay - 0.001);
        EXPECT_EQ(table.stringToFind(), QStringLiteral("ab")) << label.toStdString();
        scheduler_.advanceBy(0.002);
        EXPECT_TRUE(table.stringToFind().isEmpty()) << label.toStdString();
        EXPECT_TRUE(display.text().isEmpty());
    }
}

TEST_F(widgetsTypeahead, EachKeyRestartsTheWait) {
    defaults_.setInteger(15, QStringLiteral("InitialKeyRepeat"));  // 0.5 s
    TypeaheadTableView table;
    QLineEdit display;
    table.setTypeaheadDisplay(&display);
    table.typeAheadString = [](const QString&, TypeaheadTableView*) {};
    QTest::keyClick(&table, Qt::Key_L);
    scheduler_.advanceBy(0.4);
    QTest::keyClick(&table, Qt::Key_I);
    scheduler_.advanceBy(0.4);
    EXPECT_EQ(table.stringToFind(), QStringLiteral("li"));
    EXPECT_EQ(display.text(), QStringLiteral("li"));
    EXPECT_EQ(scheduler_.activeTimerCount(), 1u);
    scheduler_.advanceBy(0.11);
    EXPECT_TRUE(table.stringToFind().isEmpty());
}

TEST_F(widgetsTypeahead, WithoutTheHookTypedKeysDoNothing) {
    TypeaheadTableView table;
    table.setModel(&model_);
    QTest::keyClicks(&table, QStringLiteral("xyz"));
    EXPECT_TRUE(table.stringToFind().isEmpty());
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    EXPECT_EQ(TypeaheadTableView::draggingSourceOperationMaskForLocal(false), Qt::CopyAction);
    EXPECT_TRUE(TypeaheadTableView::draggingSourceOperationMaskForLocal(true) & Qt::MoveAction);
}

using widgetsDeletableTable = TableFixture;

TEST_F(widgetsDeletableTable, ArrowsSelectOneRowOrBeep) {
    struct Case {
        const char* name;
        std::vector<int> selected;  // before; the last is current
        int key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> after;
        int beeps;
    };
    const Case cases[] = {
        {"down on the last row", {2}, Qt::Key_Down, Qt::NoModifier, {2}, 1},
        {"up on the first row", {0}, Qt::Key_Up, Qt::NoModifier, {0}, 1},
        {"up from the last row", {2}, Qt::Key_Up, Qt::NoModifier, {1}, 0},
        {"down from a multiple selection", {0, 1}, Qt::Key_Down, Qt::NoModifier, {2}, 0},
        {"shift does not extend", {0}, Qt::Key_Down, Qt::ShiftModifier, {1}, 0},
        {"no selection", {}, Qt::Key_Down, Qt::NoModifier, {}, 0},
        {"no selection, up", {}, Qt::Key_Up, Qt::NoModifier, {}, 0},
    };
    for (const Case& c : cases) {
        DeletableTableView table;
        table.setModel(&model_);
        table.setSelectionMode(QAbstractItemView::ExtendedSelection);
        for (const int row : c.selected) {
            table.selectionModel()->setCurrentIndex(
                model_.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        test::BeepCounter beeps;
        QTest::keyClick(&table, static_cast<Qt::Key>(c.key), c.modifiers);
        EXPECT_EQ(selectedRows(table), c.after) << c.name;
        EXPECT_EQ(beeps.count(), c.beeps) << c.name;
    }
}

TEST_F(widgetsDeletableTable, DeleteKeysCallTheDataSourceWithARowSelected) {
    for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace}) {
        DeletableTableView table;
        table.setModel(&model_);
        int calls = 0;
        QTest::keyClick(&table, key);  // no hook, no selection: nothing happens
        table.deleteSelectedRowsInTableView = [&](DeletableTableView* sender) {
            EXPECT_EQ(sender, &table);
            ++calls;
        };
        QTest::keyClick(&table, key);
        EXPECT_EQ(calls, 0);
        table.selectRow(1);
        QTest::keyClick(&table, key);
        EXPECT_EQ(calls, 1);
    }
}

TEST_F(widgetsDeletableTable, OtherKeysGoToTheTypeahead) {
    DeletableTableView table;
    table.setModel(&model_);
    QString last;
    table.typeAheadString = [&](const QString& text, TypeaheadTableView*) { last = text; };
    QTest::keyClicks(&table, QStringLiteral("os"));
    EXPECT_EQ(last, QStringLiteral("os"));
}

class StripedTable : public TableFixture {
  protected:
    StripedTable() {
        model_.setRowCount(3);
        table_.setModel(&model_);
        table_.horizontalHeader()->hide();
        table_.verticalHeader()->hide();
        table_.verticalHeader()->setDefaultSectionSize(20);
        table_.horizontalHeader()->setDefaultSectionSize(60);
        table_.setFrameShape(QFrame::NoFrame);
        table_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        table_.resize(150, 120);
        table_.show();
    }
    QImage viewport() {
        return table_.viewport()->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }

    DeletableTableView table_;
};

using widgetsTableStripes = StripedTable;

TEST_F(widgetsTableStripes, BlueEvenRowsWhiteOddRowsAlsoBelowTheLastRow) {
    const QImage image = viewport();
    const QColor blue(237, 243, 254);
    EXPECT_TRUE(near(pixel(image, 5, 5), blue, 1)) << pixel(image, 5, 5).name().toStdString();
    EXPECT_EQ(pixel(image, 5, 25), QColor(Qt::white));
    EXPECT_TRUE(near(pixel(image, 5, 45), blue, 1));
    EXPECT_TRUE(near(pixel(image, 5, 85), blue, 1));  // row 4 does not exist
    EXPECT_EQ(pixel(image, 5, 105), QColor(Qt::white));
}

TEST_F(widgetsTableStripes, OnlyVerticalGridLinesAtColumnEdges) {
    const QImage image = viewport();
    const QColor grey = DeletableTableView::gridColor();
    for (const int y : {3, 19, 20, 50, 110}) {
        EXPECT_TRUE(near(pixel(image, 59, y), grey, 2)) << y;
        EXPECT_TRUE(near(pixel(image, 119, y), grey, 2)) << y;
        EXPECT_FALSE(near(pixel(image, 60, y), grey, 20)) << y;
    }
    for (const int x : {10, 30, 70}) {
        EXPECT_FALSE(near(pixel(image, x, 19), grey, 20)) << x;
        EXPECT_FALSE(near(pixel(image, x, 20), grey, 20)) << x;
    }
}

TEST_F(widgetsTableStripes, SelectionIsDrawnOverTheStripes) {
    table_.selectRow(0);
    const QImage image = viewport();
    EXPECT_FALSE(near(pixel(image, 5, 5), QColor(237, 243, 254), 10));
    EXPECT_EQ(pixel(image, 5, 25), QColor(Qt::white));
}

TEST_F(widgetsTableStripes, StripesScrollWithTheRows) {
    model_.setRowCount(30);
    table_.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table_.verticalScrollBar()->setValue(20);
    const QImage image = viewport();
    EXPECT_EQ(pixel(image, 5, 5), QColor(Qt::white));  // row 1 now at the top
    EXPECT_TRUE(near(pixel(image, 5, 25), QColor(237, 243, 254), 1));
    table_.verticalScrollBar()->setValue(30);
    const QImage half = viewport();
    EXPECT_EQ(pixel(half, 5, 5), QColor(Qt::white));  // the lower half of row 1
    EXPECT_TRUE(near(pixel(half, 5, 15), QColor(237, 243, 254), 1));
}

TEST(widgetsSortIndicators, TwoDifferentArrows) {
    const QImage up = TalvorUtil::ascendingSortIndicator();
    const QImage down = TalvorUtil::descendingSortIndicator();
    ASSERT_FALSE(up.isNull());
    ASSERT_FALSE(down.isNull());
    EXPECT_NE(up, down);
}

// --- outline nodes ---

struct Tree {
    // a: [b (leaf), c: [d (leaf)]], e (leaf)
    BaseNode::Ptr a = std::make_shared<BaseNode>();
    BaseNode::Ptr b = BaseNode::initLeaf();
    BaseNode::Ptr c = std::make_shared<BaseNode>();
    BaseNode::Ptr d = BaseNode::initLeaf();
    BaseNode::Ptr e = BaseNode::initLeaf();
    BaseNode::NodeList root;
    Tree() {
        c->setChildren({d});
        a->setChildren({b, c});
        root = {a, e};
    }
};

TEST(widgetsNodes, WalksOfTheTree) {
    Tree t;
    EXPECT_EQ(t.a->descendants(), (BaseNode::NodeList{t.b, t.c, t.d}));
    EXPECT_EQ(t.a->allChildLeafs(), (BaseNode::NodeList{t.b, t.d}));
    EXPECT_EQ(t.a->groupChildren(), (BaseNode::NodeList{t.c}));
    // A leaf has no children, so its walks are empty and never reach itself.
    EXPECT_TRUE(t.b->children().empty());
    EXPECT_TRUE(t.b->descendants().empty());
    EXPECT_TRUE(t.b->allChildLeafs().empty());
    t.b->setChildren({t.e});
    EXPECT_TRUE(t.b->children().empty());
    t.c->setLeaf(true);
    EXPECT_TRUE(t.c->children().empty());
}

TEST(widgetsNodes, ParentsAndIndexPaths) {
    Tree t;
    const auto foreign = std::make_shared<BaseNode>();
    EXPECT_EQ(t.d->parentFromArray(t.root), t.c);
    EXPECT_EQ(t.b->parentFromArray(t.root), t.a);
    EXPECT_EQ(t.a->parentFromArray(t.root), nullptr);
    EXPECT_EQ(foreign->parentFromArray(t.root), nullptr);

    EXPECT_EQ(t.d->indexPathInArray(t.root), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(t.c->indexPathInArray(t.root), (std::vector<int>{0, 1}));
    EXPECT_EQ(t.e->indexPathInArray(t.root), (std::vector<int>{1}));
    EXPECT_EQ(foreign->indexPathInArray(t.root), std::nullopt);

    EXPECT_TRUE(t.d->isDescendantOfOrOneOfNodes({t.a}));
    EXPECT_TRUE(t.a->isDescendantOfOrOneOfNodes({t.a}));
    EXPECT_FALSE(t.a->isDescendantOfNodes({t.a}));
    EXPECT_TRUE(t.d->isDescendantOfNodes({t.a}));
    EXPECT_FALSE(t.e->isDescendantOfNodes({t.a}));

    t.a->removeObjectFromChildren(t.d.get());
    EXPECT_TRUE(t.c->children().empty());
    t.a->removeObjectFromChildren(t.b.get());
    EXPECT_EQ(t.a->children(), (BaseNode::NodeList{t.c}));
}

TEST(widgetsNodes, OrderAndDragging) {
    BaseNode apple;
    apple.setNodeTitle(QStringLiteral("apple"));
    BaseNode banana;
    banana.setNodeTitle(QStringLiteral("Banana"));
    BaseNode shout;
    shout.setNodeTitle(QStringLiteral("APPLE"));
    EXPECT_EQ(apple.compare(banana), -1);
    EXPECT_EQ(banana.compare(apple), 1);
    EXPECT_EQ(apple.compare(shout), 0);

    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    struct Case {
        bool icon;
        const char* url;
        bool draggable;
    };
    const Case cases[] = {{true, "", true},
                          {true, "https://example.org", true},
                          {true, "/tmp/x", false},
                          {false, "", false}};
    for (const Case& c : cases) {
        BaseNode node;
        node.setNodeIcon(c.icon ? icon : QImage());
        node.setURL(QString::fromLatin1(c.url));
        EXPECT_EQ(node.isDraggable(), c.draggable) << c.icon << c.url;
    }
}

TEST(widgetsNodes, KeyValueFormDictionariesCopiesAndArchives) {
    EXPECT_EQ(BaseNode().nodeTitle(), QStringLiteral("BaseNode Untitled"));
    EXPECT_EQ(BaseNode().mutableKeys(),
              QStringList({"nodeTitle", "isLeaf", "children", "nodeIcon", "urlString"}));
    EXPECT_EQ(tlChildNode().mutableKeys(),
              QStringList({"nodeTitle", "isLeaf", "children", "nodeIcon", "urlString", "nib",
                           "description", "hasCheckBox"}));

    auto page = std::make_shared<tlChildNode>();
    EXPECT_TRUE(page->nodeTitle().isEmpty() && !page->nodeTitle().isNull());
    EXPECT_TRUE(page->description().isEmpty() && !page->description().isNull());
    page->setNodeTitle(QStringLiteral("Clocks"));
    page->setNib(QStringLiteral("ClockPane"));
    page->setHasCheckBox(true);
    auto leaf = std::make_shared<tlChildNode>();
    leaf->setNodeTitle(QStringLiteral("Faces"));
    leaf->setLeaf(true);
    QImage icon(3, 3, QImage::Format_ARGB32);
    icon.fill(Qt::green);
    leaf->setNodeIcon(icon);
    page->setChildren({leaf});

    const QVariantMap dictionary = page->dictionaryRepresentation();
    EXPECT_EQ(dictionary.value("nib"), QVariant(QStringLiteral("ClockPane")));
    EXPECT_FALSE(dictionary.contains("urlString"));
    const QVariantList children = dictionary.value("children").toList();
    ASSERT_EQ(children.size(), 1);
    EXPECT_FALSE(children[0].toMap().contains("children"));  // a leaf writes none

    auto rebuilt = std::make_shared<tlChildNode>();
    rebuilt->initWithDictionary(dictionary);
    ASSERT_EQ(rebuilt->children().size(), 1u);
    auto* child = dynamic_cast<tlChildNode*>(rebuilt->children()[0].get());
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(child->isLeaf());
    EXPECT_EQ(child->nodeTitle(), QStringLiteral("Faces"));
    EXPECT_TRUE(rebuilt->hasCheckBox());

    const BaseNode::Ptr copy = page->copy();
    ASSERT_NE(dynamic_cast<tlChildNode*>(copy.get()), nullptr);
    EXPECT_EQ(copy->children(), page->children());  // shared, not copied
    EXPECT_EQ(copy->valueForKey("nib"), QVariant(QStringLiteral("ClockPane")));

    const BaseNode::Ptr unarchived = BaseNode::unarchive(page->archivedData());
    ASSERT_NE(dynamic_cast<tlChildNode*>(unarchived.get()), nullptr);
    EXPECT_EQ(unarchived->nodeTitle(), QStringLiteral("Clocks"));
    ASSERT_EQ(unarchived->children().size(), 1u);
    EXPECT_EQ(unarchived->children()[0]->nodeIcon().convertToFormat(QImage::Format_ARGB32), icon);
    EXPECT_EQ(BaseNode::unarchive(QByteArray("junk")), nullptr);

    page->setNilValueForKey("isLeaf");
    EXPECT_FALSE(page->isLeaf());
    EXPECT_THROW(page->setValueForKey(QVariant(), "hasCheckBox"), std::invalid_argument);
    page->setValueForKey(QVariant(), "nodeTitle");
    EXPECT_TRUE(page->nodeTitle().isNull());
}

// --- cells ---

QImage redSquare(int side) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return image;
}

TEST(widgetsCells, ImageAndTextCellPlacesItsImageThreePointsIn) {
    EXPECT_TRUE(
        ImageAndTextCell::imageFrameForCellFrame(QRectF(10, 20, 100, 21), QImage()).isEmpty());
    EXPECT_EQ(ImageAndTextCell::imageFrameForCellFrame(QRectF(10, 20, 100, 21), redSquare(16)),
              QRectF(13, 23, 16, 16));
    EXPECT_EQ(ImageAndTextCell::imageFrameForCellFrame(QRectF(0, 0, 50, 20), redSquare(10)),
              QRectF(3, 5, 10, 10));

    QStandardItemModel model(3, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("Oslo")));
    model.item(0, 0)->setData(redSquare(10), Qt::DecorationRole);
    model.setItem(1, 0, new QStandardItem(QStringLiteral("Lima")));
    model.setItem(2, 0, new QStandardItem(QStringLiteral("Oslo")));
    ImageAndTextCell cell;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 120, 20);
    option.state = QStyle::State_Enabled;
    option.decorationSize = QSize(16, 16);

    // 3 points wider without an image, 3 plus the image's width with one.
    const int plain = QStyledItemDelegate().sizeHint(option, model.index(2, 0)).width();
    EXPECT_EQ(cell.sizeHint(option, model.index(2, 0)).width(), plain + 3);
    EXPECT_EQ(cell.sizeHint(option, model.index(0, 0)).width(), plain + 3 + 10);

    const QImage withImage = test::drawn(
        QSize(120, 20), Qt::white, [&](QPainter& p) { cell.paint(&p, option, model.index(0, 0)); });
    EXPECT_EQ(pixel(withImage, 8, 10), QColor(Qt::red));
    EXPECT_EQ(pixel(withImage, 2, 10), QColor(Qt::white));
    const QImage without = test::drawn(
        QSize(120, 20), Qt::white, [&](QPainter& p) { cell.paint(&p, option, model.index(1, 0)); });
    EXPECT_EQ(pixel(without, 8, 10).red(), pixel(without, 8, 10).green());

    QWidget parent;
    std::unique_ptr<QWidget> editor(cell.createEditor(&parent, option, model.index(0, 0)));
    ASSERT_NE(editor, nullptr);
    cell.updateEditorGeometry(editor.get(), option, model.index(0, 0));
    EXPECT_EQ(editor->geometry().left(), 13);
    cell.updateEditorGeometry(editor.get(), option, model.index(1, 0));
    EXPECT_EQ(editor->geometry().left(), 3);
}

TEST(widgetsCells, SeparatorCellDrawsTwoLinesAndNoText) {
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("never shown")));
    SeparatorCell cell;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 100, 20);
    const QImage image = test::drawn(
        QSize(100, 20), Qt::white, [&](QPainter& p) { cell.paint(&p, option, model.index(0, 0)); });
    // Blue at 60 % over white, then the near-white shine right below it.
    EXPECT_TRUE(near(pixel(image, 50, 9), QColor(155, 194, 239), 2))
        << pixel(image, 50, 9).name().toStdString();
    EXPECT_TRUE(near(pixel(image, 50, 10), QColor(249, 255, 255), 1));
    for (int y : {0, 5, 8, 11, 19}) {
        for (int x = 0; x < 100; ++x) {
            ASSERT_EQ(pixel(image, x, y), QColor(Qt::white)) << x << "," << y;
        }
    }
    QWidget parent;
    EXPECT_EQ(cell.createEditor(&parent, option, model.index(0, 0)), nullptr);
}

}  // namespace
}  // namespace talvor
