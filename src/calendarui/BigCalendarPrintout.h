#pragma once

#include <QRectF>
#include <QSizeF>

class QPainter;
class QPrinter;

namespace talvor {

class DragView;
class myCalProView;

// What the big calendar prints: its picture above the months, fitted and centred on the page.
class BigCalendarPrintout {
  public:
    // Both must outlive the printout.
    BigCalendarPrintout(myCalProView& months, DragView& picture);

    // The page size in points for a number of months (0: as shown now), with or without the
    // picture.
    static QSizeF printSize(int months, bool withPicture);
    // Prints `months` (0: as shown, `shown` the size of what is shown) onto the printer's
    // page; false when the printer cannot be drawn on.
    bool print(QPrinter& printer, int months, const QSizeF& shown);
    // Draws what a print of `months` holds into `target` of the painter.
    void draw(QPainter& painter, const QRectF& target, int months);

  private:
    bool pictureShown() const;

    myCalProView& months_;
    DragView& picture_;
};

}  // namespace talvor
