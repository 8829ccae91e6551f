#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

namespace talvor {

// The look of the heads-up panel that holds the date menu's calendar: a dark translucent body
// with rounded corners under a lighter title bar with the title in white.
namespace HUDWindow {

constexpr int kTitleBarHeight = 19;
constexpr qreal kCornerRadius = 6;

QFont titleFont();
// The title as it fits the bar: cut with an ellipsis at its end.
QString titleShown(const QString& title, int panelWidth);
// The panel's background at `size`, drawn afresh for each size and title.
QImage sizedHUDBackground(const QSize& size, const QString& title);

}  // namespace HUDWindow
}  // namespace talvor
