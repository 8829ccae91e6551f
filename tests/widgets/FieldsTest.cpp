#include "WidgetsTestSupport.h"
#include "platform/StatusBar.h"
#include "platform/StatusBarPainter.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"
#include "widgets/ActionView.h"
#include "widgets/CustomDateStatusItemButton.h"
#include "widgets/FontTextField.h"
#include "widgets/ImageFileWell.h"
#include "widgets/OnlyIntegerValueFormatter.h"
#include "widgets/ProgressController.h"
#include "widgets/ShyControls.h"
#include "widgets/URLTextField.h"
#include "widgets/ViewExtras.h"
#include "widgets/vltDragFileTextField.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// Receives the URLs that QDesktopServices would open.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> opened;

  public slots:
    void open(const QUrl& url) { opened.append(url); }
};

// --- integer formatter ---

TEST(widgetsIntegerFormatter, AcceptsShortIntegersAndBeepsAtTheRest) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"", true},     {"12345", true}, {"123456", false}, {"12a", false},
        {" 42", true},  {"-4212", true}, {"+7", true},      {"-", false},
        {"4 2", false}, {"42 ", false},  {"abc", false},    {"-12345", false},
    };
    OnlyIntegerValueFormatter formatter;
    for (const Case& c : cases) {
        test::BeepCounter beeps;
        QString text = QString::fromLatin1(c.text);
        int pos = static_cast<int>(text.size());
        const QValidator::State state = formatter.validate(text, pos);
        EXPECT_EQ(state == QValidator::Acceptable, c.accepted) << '"' << c.text << '"';
        EXPECT_EQ(state == QValidator::Invalid, !c.accepted) << '"' << c.text << '"';
        EXPECT_EQ(beeps.count(), c.accepted ? 0 : 1) << '"' << c.text << '"';
    }
}

TEST(widgetsIntegerFormatter, TypingASixthDigitIsRefused) {
    QLineEdit field;
    field.setValidator(new OnlyIntegerValueFormatter(&field));
    test::BeepCounter beeps;
    QTest::keyClicks(&field, QStringLiteral("123456"));
    EXPECT_EQ(field.text(), QStringLiteral("12345"));
    EXPECT_EQ(beeps.count(), 1);
    QTest::keyClick(&field, Qt::Key_X);
    EXPECT_EQ(field.text(), QStringLiteral("12345"));
    EXPECT_EQ(beeps.count(), 2);
}

// --- drop targets ---

QMimeData* files(const QStringList& paths) {
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    return data;
}

QMimeData* text(const QString& t) {
    auto* data = new QMimeData;
    data->setText(t);
    return data;
}

TEST(widgetsDropFields, DroppedThingsBecomeTheFieldsText) {
    const QString plistString = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><string>from a "
        "list</string></plist>");
    const QString plistArray = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist "
        "version=\"1.0\"><array><integer>3</integer>"
        "<string>second</string></array></plist>");
    const QString plistDictionary = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist "
        "version=\"1.0\"><dict><key>k</key><string>v</string>"
        "</dict></plist>");
    auto* web = new QMimeData;
    web->setUrls({QUrl(QStringLiteral("https://example.org/a"))});
    struct Case {
        const char* name;
        std::unique_ptr<QMimeData> data;
        QString expected;
    };
    Case cases[] = {
        {"a file", std::unique_ptr<QMimeData>(files({"/tmp/a b.ogg", "/tmp/c.ogg"})),
         "/tmp/a b.ogg"},
        {"plain text", std::unique_ptr<QMimeData>(text("hello world")), "hello world"},
        {"a listed string", std::unique_ptr<QMimeData>(text(plistString)), "from a list"},
        {"a list's first string", std::unique_ptr<QMimeData>(text(plistArray)), "second"},
        {"a dictionary stays text", std::unique_ptr<QMimeData>(text(plistDictionary)),
         plistDictionary},
        {"a web address", std::unique_ptr<QMimeData>(web), "https://example.org/a"},
    };
    for (Case& c : cases) {
        vltDragFileTextField field;
        int hook = 0;
        field.SetURLPathValue = [&](vltDragFileTextField* sender) {
            EXPECT_EQ(sender, &field);
            ++hook;
        };
        test::LogCapture log;
        EXPECT_TRUE(field.dropMimeData(*c.data)) << c.name;
        EXPECT_EQ(field.text(), c.expected) << c.name;
        EXPECT_EQ(hook, 1) << c.name;
        EXPECT_FALSE(field.isReadOnly()) << c.name;
        ASSERT_EQ(log.lines().size(), 1) << c.name;
        EXPECT_TRUE(log.lines().first().startsWith(QStringLiteral("performDragOperation 2 ")))
            << c.name;
    }
}

TEST(widgetsDropFields, ADragFromTheFieldItselfIsRefused) {
    vltDragFileTextField field;
    field.setText(QStringLiteral("kept"));
    int hook = 0;
    field.SetURLPathValue = [&](vltDragFileTextField*) { ++hook; };
    const std::unique_ptr<QMimeData> data(text(QStringLiteral("kept and more")));
    EXPECT_EQ(field.draggingEntered(*data, &field), Qt::IgnoreAction);
    EXPECT_FALSE(field.dropMimeData(*data, &field));
    EXPECT_EQ(field.text(), QStringLiteral("kept"));
    EXPECT_EQ(hook, 0);
}

TEST(widgetsDropFields, TheFieldGreysWhileADragIsOverIt) {
    vltDragFileTextField field;
    const std::unique_ptr<QMimeData> data(text(QStringLiteral("x")));
    const QColor white = field.palette().color(QPalette::Base);
    EXPECT_EQ(field.draggingEntered(*data, nullptr), Qt::CopyAction);
    EXPECT_TRUE(field.isReadOnly());
    EXPECT_NE(field.palette().color(QPalette::Base), white);
    field.draggingExited();
    EXPECT_FALSE(field.isReadOnly());
    EXPECT_EQ(field.palette().color(QPalette::Base), QColor(Qt::white));
    EXPECT_EQ(field.draggingEntered(QMimeData(), nullptr), Qt::IgnoreAction);
}

TEST(widgetsDropFields, QtDropEventsTakeTheSamePath) {
    vltDragFileTextField field;
    const std::unique_ptr<QMimeData> data(files({"/srv/sounds/bell.ogg"}));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&field, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&field, &drop);
    EXPECT_EQ(field.text(), QStringLiteral("/srv/sounds/bell.ogg"));
    EXPECT_FALSE(field.isReadOnly());
}

TEST(widgetsDropFields, MyTextFieldTakesFilesOnly) {
    MyTextField field;
    const std::unique_ptr<QMimeData> words(text(QStringLiteral("words")));
    EXPECT_EQ(field.draggingEntered(*words, nullptr), Qt::IgnoreAction);
    EXPECT_FALSE(field.dropMimeData(*words));
    EXPECT_TRUE(field.text().isEmpty());
    const std::unique_ptr<QMimeData> two(files({"/tmp/one.png", "/tmp/two.png"}));
    EXPECT_TRUE(field.dropMimeData(*two));
    EXPECT_EQ(field.text(), QStringLiteral("/tmp/one.png"));
    EXPECT_FALSE(field.isReadOnly());
}

TEST(widgetsDropFields, ImageFileWellRemembersTheDroppedFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("face.png"));
    QImage picture(8, 8, QImage::Format_ARGB32);
    picture.fill(Qt::darkGreen);
    ASSERT_TRUE(picture.save(path));

    ImageFileWell well;
    well.resize(40, 40);
    QSignalSpy changes(&well, &ImageFileWell::urlChanged);
    const std::unique_ptr<QMimeData> words(text(QStringLiteral("no file")));
    well.dropMimeData(*words);
    EXPECT_TRUE(well.url().isEmpty());
    const std::unique_ptr<QMimeData> dropped(files({path}));
    well.dropMimeData(*dropped);
    EXPECT_EQ(well.url(), QUrl::fromLocalFile(path));
    EXPECT_FALSE(well.pixmap().isNull());
    well.setURL(QUrl::fromLocalFile(path));
    EXPECT_EQ(changes.count(), 1);

    const std::unique_ptr<QWidget> copy = ViewExtras::clone(well);
    auto* copied = qobject_cast<ImageFileWell*>(copy.get());
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->url(), well.url());
}

// --- link fields and click views ---

TEST(widgetsLinks, ALinkOpensAndAlwaysSendsItsAction) {
    struct Case {
        const char* text;
        bool isLink;
    };
    for (const Case c : {Case{"https://example.org/help", true}, Case{"not a link", false}}) {
        UrlCatcher catcher;
        URLTextField field(QString::fromLatin1(c.text));
        QSignalSpy actions(&field, &URLTextField::action);
        EXPECT_EQ(field.text(), QString::fromLatin1(c.text));
        EXPECT_EQ(field.url().isValid(), c.isLink) << c.text;
        EXPECT_EQ(field.font().underline(), c.isLink) << c.text;
        EXPECT_EQ(field.palette().color(QPalette::WindowText) == QColor(Qt::blue), c.isLink);
        EXPECT_EQ(field.cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(&field, Qt::LeftButton);
        EXPECT_EQ(actions.count(), 1) << c.text;
        EXPECT_EQ(catcher.opened.size(), c.isLink ? 1 : 0) << c.text;
    }
}

TEST(widgetsLinks, ClickViewsActOnPressOrOnRelease) {
    TalvorURLClick onPress(QStringLiteral("press"));
    QSignalSpy pressActions(&onPress, &TalvorURLClick::action);
    QTest::mousePress(&onPress, Qt::LeftButton);
    EXPECT_EQ(pressActions.count(), 1);
    QTest::mouseRelease(&onPress, Qt::LeftButton);
    EXPECT_EQ(pressActions.count(), 1);

    ActionView onRelease;
    onRelease.resize(20, 20);
    QSignalSpy releaseActions(&onRelease, &ActionView::action);
    QTest::mousePress(&onRelease, Qt::LeftButton);
    EXPECT_EQ(releaseActions.count(), 0);
    QTest::mouseRelease(&onRelease, Qt::LeftButton);
    EXPECT_EQ(releaseActions.count(), 1);
}

TEST(widgetsLinks, FontPanelChangesReachTheDelegate) {
    FontTextField field;
    QFont picked(QStringLiteral("DejaVu Serif"), 17);
    test::LogCapture log;
    field.pickFont(picked);  // without a delegate: only logged
    EXPECT_TRUE(log.contains(QStringLiteral("font changed")));

    QList<QFont> seen;
    field.delegateChangeFont = [&](QObject* sender) {
        auto* panel = qobject_cast<QFontDialog*>(sender);
        ASSERT_NE(panel, nullptr);
        seen.append(panel->currentFont());
    };
    picked.setPointSize(21);
    field.pickFont(picked);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.last().pointSize(), 21);
}

// --- shy controls ---

TEST(widgetsShyControls, PressesActWithoutAskingToActivate) {
    QWidget window;
    auto* button = new ShyButton(QStringLiteral("Go"), &window);
    auto* field = new ShyTextField(&window);
    auto* view = new ShyView(&window);
    auto* picker = new ShyDatePicker(&window);
    auto* matrix = new ShyMatrix(2, 2, &window);
    view->resize(20, 20);
    window.show();  // lays the matrix out, so its cells have their own size
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    QSignalSpy matrixActions(matrix, &ShyMatrix::action);

    for (QWidget* target : std::initializer_list<QWidget*>{button, field, view, picker}) {
        const int before = ShyControls::preventWindowOrderingCount();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        EXPECT_EQ(ShyControls::preventWindowOrderingCount(), before + 1)
            << target->metaObject()->className();
        EXPECT_TRUE(target->testAttribute(Qt::WA_ShowWithoutActivating));
    }
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(window.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(button->shouldDelayWindowOrderingForEvent());

    const int before = ShyControls::preventWindowOrderingCount();
    QTest::mouseClick(matrix->cellAtRow(1, 0), Qt::LeftButton);
    EXPECT_EQ(ShyControls::preventWindowOrderingCount(), before + 1);
    EXPECT_EQ(matrixActions.count(), 1);
    EXPECT_EQ(matrix->selectedRow(), 1);
    EXPECT_EQ(matrix->selectedColumn(), 0);
    EXPECT_EQ(matrix->cellAtRow(2, 0), nullptr);
    matrix->selectCellAtRow(0, 1);
    EXPECT_EQ(matrix->selectedColumn(), 1);
}

// --- date status item button ---

struct RecordingDelegate : CustomDateStatusItemButtonDelegate {
    int clicks = 0;
    void dateStatusItemButtonClicked() override { ++clicks; }
};

TEST(widgetsStatusButton, APressOnlyTellsTheDelegate) {
    platform::StatusBar bar;
    RecordingDelegate delegate;
    auto button = std::make_shared<CustomDateStatusItemButton>(&delegate);
    button->setWidth(80);
    const std::shared_ptr<platform::StatusItem> item =
        bar.statusItemWithLength(platform::VariableStatusItemLength);
    item->setHighlightMode(true);
    item->setView(button);
    const platform::StatusItemPress press = platform::pressStatusItem(*item, {});
    EXPECT_EQ(press, platform::StatusItemPress::View);
    EXPECT_EQ(delegate.clicks, 1);
    EXPECT_FALSE(item->isHighlighted());

    button->setDelegate(nullptr);
    button->mouseDown({});
    EXPECT_EQ(delegate.clicks, 1);
}

TEST(widgetsStatusButton, DrawsItsTitle) {
    CustomDateStatusItemButton button;
    button.setBordered(false);
    const QImage blank = test::drawn(
        QSize(120, 24), Qt::white, [&](QPainter& p) { button.drawRect(p, QRectF(0, 0, 120, 24)); });
    button.setAttributedTitle(platform::AttributedString(QStringLiteral("Thu 04 Jan")));
    const QImage titled = test::drawn(
        QSize(120, 24), Qt::white, [&](QPainter& p) { button.drawRect(p, QRectF(0, 0, 120, 24)); });
    EXPECT_NE(titled, blank);
    int ink = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 120; ++x) {
            ink += qGray(titled.pixel(x, y)) < 128;
        }
    }
    EXPECT_GT(ink, 20);
}

// --- progress sheet ---

TEST(widgetsProgressSheet, StartsOverAWindowAndCloses) {
    QWidget window;
    window.resize(300, 200);
    window.show();
    ProgressController progress;
    progress.startWithTitle(QStringLiteral("Copying sounds"), &window);
    EXPECT_TRUE(progress.window()->isVisible());
    EXPECT_EQ(progress.window()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(progress.titleField()->text(), QStringLiteral("Copying sounds"));
    EXPECT_TRUE(progress.isAnimating());
    progress.close();
    EXPECT_FALSE(progress.window()->isVisible());
    EXPECT_FALSE(progress.isAnimating());

    ProgressController alone;
    alone.startWithTitle(QStringLiteral("Working"), nullptr);
    EXPECT_EQ(alone.window()->windowModality(), Qt::ApplicationModal);
    alone.close();
    EXPECT_FALSE(alone.window()->isVisible());
    EXPECT_EQ(&ProgressController::controller(), &ProgressController::controller());
}

}  // namespace
}  // namespace talvor

#include "FieldsTest.moc"
