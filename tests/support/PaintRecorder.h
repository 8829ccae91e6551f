#pragma once

// A paint device that draws nothing and counts what a painter asks of it, for tests of what
// a drawing costs: copied pictures, text, and vector shapes (which the raster engine fills
// span by span, in worker threads when they are large and translucent).

#include <QPaintDevice>
#include <QPaintEngine>

namespace talvor::test {

struct PaintCounts {
    int pictures = 0;
    int texts = 0;
    int shapes = 0;
};

class PaintRecorder : public QPaintDevice {
  public:
    explicit PaintRecorder(QSize size = QSize(400, 400)) : engine_(counts_), size_(size) {}
    ~PaintRecorder() override = default;

    QPaintEngine* paintEngine() const override { return &engine_; }
    const PaintCounts& counts() const { return counts_; }
    void reset() { counts_ = {}; }

  protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth:
                return size_.width();
            case PdmHeight:
                return size_.height();
            case PdmWidthMM:
                return size_.width() * 254 / 960;
            case PdmHeightMM:
                return size_.height() * 254 / 960;
            case PdmNumColors:
                return 0;
            case PdmDepth:
                return 32;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            default:
                return 0;
        }
    }

  private:
    class Engine : public QPaintEngine {
      public:
        explicit Engine(PaintCounts& counts) : QPaintEngine(AllFeatures), counts_(counts) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState&) override {}
        Type type() const override { return User; }

        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {
            ++counts_.pictures;
        }
        void drawImage(const QRectF&, const QImage&, const QRectF&,
                       Qt::ImageConversionFlags) override {
            ++counts_.pictures;
        }
        void drawTiledPixmap(const QRectF&, const QPixmap&, const QPointF&) override {
            ++counts_.pictures;
        }
        void drawTextItem(const QPointF&, const QTextItem&) override { ++counts_.texts; }
        void drawRects(const QRectF*, int) override { ++counts_.shapes; }
        void drawRects(const QRect*, int) override { ++counts_.shapes; }
        void drawLines(const QLineF*, int) override { ++counts_.shapes; }
        void drawLines(const QLine*, int) override { ++counts_.shapes; }
        void drawEllipse(const QRectF&) override { ++counts_.shapes; }
        void drawEllipse(const QRect&) override { ++counts_.shapes; }
        void drawPath(const QPainterPath&) override { ++counts_.shapes; }
        void drawPoints(const QPointF*, int) override { ++counts_.shapes; }
        void drawPoints(const QPoint*, int) override { ++counts_.shapes; }
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override { ++counts_.shapes; }
        void drawPolygon(const QPoint*, int, PolygonDrawMode) override { ++counts_.shapes; }

      private:
        PaintCounts& counts_;
    };

    PaintCounts counts_;
    mutable Engine engine_;
    QSize size_;
};

}  // namespace talvor::test
