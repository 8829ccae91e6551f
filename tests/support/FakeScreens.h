#pragma once

#include "platform/Screens.h"

#include <vector>

namespace talvor::test {

// Screens a test lays out, and a mouse it moves; installed as the shared screens while alive.
class FakeScreens : public platform::Screens {
  public:
    explicit FakeScreens(std::vector<QRectF> areas = {QRectF(0, 24, 1280, 776)})
        : areas_(std::move(areas)) {
        platform::Screens::setShared(this);
    }
    ~FakeScreens() override { platform::Screens::setShared(nullptr); }
    FakeScreens(const FakeScreens&) = delete;
    FakeScreens& operator=(const FakeScreens&) = delete;

    QPointF mouseLocation() const override { return mouse; }
    QRectF availableArea(const QPointF& point) const override {
        for (const QRectF& area : areas_) {
            if (area.contains(point)) {
                return area;
            }
        }
        return areas_.empty() ? QRectF() : areas_.front();
    }

    QPointF mouse;

  private:
    std::vector<QRectF> areas_;
};

}  // namespace talvor::test
