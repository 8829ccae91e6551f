// Brings up a Qt application (offscreen unless a display is given) for every test binary.
#include <QApplication>

#include <gtest/gtest.h>

namespace {

// The switches the product reads from its environment: a developer's shell that sets one
// must not change what the tests see. Tests that need one set it themselves.
constexpr const char* kProductSwitches[] = {"TALVOR_NO_MOVE_OFFER", "TALVOR_SYSTEM_DATA_DIR",
                                            "TALVOR_INFO_PLIST"};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (const char* name : kProductSwitches) {
        qunsetenv(name);
    }
    // Listing the tests (CTest does, with no test's environment) must work without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // Test programs run side by side on one session bus: each hears only its own
    // distributed notifications (and those of the programs it starts).
    if (qEnvironmentVariableIsEmpty("TALVOR_NOTIFICATION_SCOPE")) {
        qputenv("TALVOR_NOTIFICATION_SCOPE",
                "test" + QByteArray::number(QCoreApplication::applicationPid()));
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
