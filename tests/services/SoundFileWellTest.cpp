#include "SoundsTestSupport.h"
#include "platform/NotificationCenter.h"
#include "services/SoundFileWell.h"
#include "services/SoundKeys.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QTest>

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor {
namespace {

class soundsWell : public ::testing::Test, public SoundFileWellDelegate {
  protected:
    soundsWell() {
        well.resize(64, 64);
        well.setDelegate(this);
    }
    void imageDragDidEnd() override { accepted.append(well.url()); }

    static QMimeData* files(const QStringList& paths) {
        auto* data = new QMimeData();
        QList<QUrl> urls;
        for (const QString& p : paths) {
            urls.append(QUrl::fromLocalFile(p));
        }
        data->setUrls(urls);
        return data;
    }
    QRgb edgePixel() {
        QImage image(well.size(), QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        well.render(&image);
        return image.pixel(1, 32);
    }

    SoundFileWell well;
    QList<QUrl> accepted;
};

using servicesSoundsWell = soundsWell;

TEST_F(servicesSoundsWell, ADesktopDropKeepsTheFirstFileAndTellsTheDelegate) {
    std::unique_ptr<QMimeData> data(files({"/home/u/Music/first.ogg", "/home/u/Music/second.ogg"}));
    const QPoint mid(32, 32);
    QDragEnterEvent enter(mid, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, data.get(),
                          Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&well, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_TRUE(well.isDragging());
    EXPECT_EQ(qRed(edgePixel()), 255) << "a red frame while a drag is over the well";

    QDragMoveEvent move(mid, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&well, &move);
    EXPECT_EQ(move.dropAction(), Qt::CopyAction);

    QDropEvent drop(QPointF(mid), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(&well, &drop);
    EXPECT_FALSE(well.isDragging());
    EXPECT_NE(qRed(edgePixel()), 255);
    EXPECT_EQ(well.url(), QUrl::fromLocalFile("/home/u/Music/first.ogg"));
    EXPECT_EQ(accepted, QList<QUrl>{QUrl::fromLocalFile("/home/u/Music/first.ogg")});
}

TEST_F(servicesSoundsWell, DropsWithoutFilesChangeNothingAndLeavingClearsTheFrame) {
    well.setURL(QUrl::fromLocalFile("/kept.ogg"));
    struct Case {
        const char* name;
        std::function<void(QMimeData&)> fill;
    };
    const Case cases[] = {
        {"text", [](QMimeData& d) { d.setText("first.ogg"); }},
        {"web address", [](QMimeData& d) { d.setUrls({QUrl("https://example.org/a.ogg")}); }},
        {"nothing", [](QMimeData&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        c.fill(data);
        well.concludeDragOperation(data);
        EXPECT_EQ(well.url(), QUrl::fromLocalFile("/kept.ogg"));
    }
    EXPECT_TRUE(accepted.isEmpty());

    std::unique_ptr<QMimeData> data(files({"/a.ogg"}));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&well, &enter);
    QDragLeaveEvent leave;
    QApplication::sendEvent(&well, &leave);
    EXPECT_FALSE(well.isDragging());
    EXPECT_EQ(well.url(), QUrl::fromLocalFile("/kept.ogg"));
}

TEST_F(servicesSoundsWell, AClickIsAnnouncedWithTheWell) {
    std::vector<QVariant> objects;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        SoundKeys::SoundFileWellClicked, QVariant(),
        [&](const platform::Notification& n) { objects.push_back(n.object); });
    QTest::mouseClick(&well, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    ASSERT_EQ(objects.size(), 1u);
    EXPECT_EQ(objects[0], platform::senderObject(&well));
}

}  // namespace
}  // namespace talvor
