#pragma once

#include <QImage>

namespace talvor::shot {

// The Take 5 page with the break-end sound chosen.
QImage renderTake5Pane(double scale);
// The count-down page with three stored events as tiles, one of them red.
QImage renderCountDownPane(double scale);
// The login/wake window of due count-downs: its tiles.
QImage renderCountDownTiles(double scale);
// The stopwatch counting down, its options drawer open.
QImage renderStopWatch(double scale);
// The top of a `width`-wide screen: the strip, and the stopwatch where it first opens, in the
// middle of the room below the strip.
QImage renderStopWatchBelowTheStrip(int width, double scale);

}  // namespace talvor::shot
