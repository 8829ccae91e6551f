#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>
#include <QVariantList>
#include <QWidget>

#include <functional>
#include <memory>

namespace talvor {

// Pictures of a view as it draws itself.
namespace snapshot {
QImage snapshot(QWidget& view);
// `rect` in the view's coordinates.
QImage snapshotFromRect(QWidget& view, const QRect& rect);
}  // namespace snapshot

// Copies of views through an archive. A view class takes part by registering how to read
// and write its own values (after the view's geometry, visibility, enabled state, tool tip
// and object name); ColoredView and ImageFileWell are registered here. Subviews are not
// copied.
namespace ViewExtras {

struct ViewCoding {
    std::function<std::unique_ptr<QWidget>()> make;
    // nullopt when the widget is not of the class.
    std::function<std::optional<QVariantList>(const QWidget&)> encode;
    std::function<bool(QWidget&, const QVariantList&)> decode;
};
void registerViewClass(const QString& className, ViewCoding coding);

// Empty when the view's class is not registered.
QByteArray cloneData(const QWidget& view);
// nullptr for data that is not a view archive.
std::unique_ptr<QWidget> clonedView(const QByteArray& data);
std::unique_ptr<QWidget> clone(const QWidget& view);

// A title that buttons, boxes and tabs show as written: Qt takes a lone "&" for a mnemonic
// marker and would underline the next letter instead ("Date & Time" as "Date _Time").
QString literalTitle(const QString& text);

}  // namespace ViewExtras

// The drag-highlight ring: 3 points wide, in the selection colour, along the view's bounds,
// or outside it along its frame grown by 3 points in its parent (nothing without a parent).
// It is an overlay widget, so the view's own drawing is untouched and clearing restores it.
namespace DragHighlight {
void drawDragHighlightOutside(QWidget& view, bool outside);
void clearDragHighlightOutside(QWidget& view);
// The ring shown for `view`, if any (tests).
QWidget* dragHighlightOf(const QWidget& view);
}  // namespace DragHighlight

}  // namespace talvor
