#pragma once

#include <QImage>

namespace talvor::shot {

// The new-event form filled in for Monday 12 May 2025, with an end time before the start
// marked.
QImage renderCreateEventSheet(double scale);
// The question for an occurrence of a repeating event, with its three scopes.
QImage renderDeleteEventSheet(double scale);

}  // namespace talvor::shot
