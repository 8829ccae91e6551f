#pragma once

#include "calendar/TalvorCalPrefsSettings.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

class QUrl;
class QWidget;

namespace talvor {

namespace platform {
class UserDefaults;
}  // namespace platform
class DragView;

// The picture above the big calendar's months, in its picture well: the user's (dropped, or a
// file kept as "CalImgURL"), else our own; its size kept when the user drags the divider.
class BigCalendarPicture {
  public:
    // Makes the window room for the picture growing from `before` to `height` (0: none).
    using MakeRoom = std::function<void(int before, int height)>;

    // Builds the well into `window`; both must outlive the picture.
    BigCalendarPicture(QWidget& window, platform::UserDefaults& defaults, MakeRoom makeRoom);

    DragView& well() const { return *well_; }
    bool isShown() const;
    // The well's height while it shows a picture; 0 otherwise.
    int shownHeight() const;

    // The user's picture when one is chosen ("ShowDefaultCalBGImg"), else our own; our own
    // opens at its first height the first time ("isBGImageShownBefore").
    void showChosen();
    // Shows `picture` (a dropped one); a well that was empty takes its stored height.
    void show(const QImage& picture);
    // Keeps a picture file as the user's and shows it; false, with a log line, when it cannot
    // be read.
    bool add(const QString& path);
    // The picture and its size forgotten, no picture shown.
    void remove();
    // The divider moved: the picture's size is kept.
    void keepSize();
    void setScaling(TalvorCalPrefsSettings::Scaling scaling);
    // The user's stored picture drawn into `size` as the well draws it; unscaled without a
    // size. Null when none is stored or it cannot be read.
    QImage stored(const QSize& size) const;

    // The user's stored picture as read, null when none is stored or it cannot be read.
    static QImage storedFile(const platform::UserDefaults& defaults);
    // Our own picture, shown until the user picks one.
    static QImage defaultPicture(const QSize& size);
    // Our own picture shows as on the first day when next shown.
    static void showOursAsAtFirst(platform::UserDefaults& defaults);

  private:
    void setHeight(int height);
    void hideWell();
    // A picture file, null when it cannot be read or is too large.
    static QImage read(const QString& path);

    platform::UserDefaults& defaults_;
    MakeRoom makeRoom_;
    DragView* well_ = nullptr;  // owned by the window
};

}  // namespace talvor
