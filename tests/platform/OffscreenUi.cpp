// The ui tests draw offscreen whatever display the run has (the x11 run's Xvfb included):
// their popup menus would otherwise grab that display's pointer and take the clicks of the
// tests that need it.
#include <QByteArray>

namespace {

[[maybe_unused]] const bool kOffscreen = qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));

}  // namespace
