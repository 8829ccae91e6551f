#pragma once

#include <QWidget>

#include <functional>
#include <optional>

namespace talvor {

// A row of page dots: the chosen page's dot is darker; clicking a dot chooses its page.
class BFPageControl : public QWidget {
    Q_OBJECT
  public:
    explicit BFPageControl(QWidget* parent = nullptr);

    int numberOfPages() const { return pages_; }
    void setNumberOfPages(int pages);
    int currentPage() const { return current_; }
    // Clamped to the pages; does not signal.
    void setCurrentPage(int page);
    qreal indicatorDiameterSize() const { return diameter_; }
    void setIndicatorDiameterSize(qreal diameter);
    qreal indicatorMargin() const { return margin_; }
    void setIndicatorMargin(qreal margin);

    // The rectangle of page `index`'s dot.
    QRectF dotRect(int index) const;
    // Draws one dot: a white edge under it, grey 115 when selected, 217 otherwise, 150 while
    // pressed, and a faint dark ring.
    static void drawDot(QPainter& painter, const QRectF& rect, bool selected, bool pressed);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    // The user chose a page.
    void didSelectPageAtIndex(int index);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    std::optional<int> dotAt(const QPointF& point) const;

    int pages_ = 0;
    int current_ = 0;
    qreal diameter_ = 15;
    qreal margin_ = 5;
    std::optional<int> pressed_;
};

}  // namespace talvor
