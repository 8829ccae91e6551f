// Brings up a Qt application (offscreen unless a display is given) for every test binary.
#include "support/SkipInCI.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

// The switches the product reads from its environment: a developer's shell that sets one
// must not change what the tests see. Tests that need one set it themselves.
constexpr const char* kProductSwitches[] = {"TALVOR_NO_MOVE_OFFER", "TALVOR_SYSTEM_DATA_DIR",
                                            "TALVOR_INFO_PLIST"};

// On the CI machine a skip fails its test unless the test said why it may skip there
// (support/SkipInCI.h).
class UnexplainedSkipsFail : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { talvor::test::ciSkipReason().clear(); }
    // Before the printer's (the end events go in reverse order): it reports the failure.
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (info.result()->Skipped() && talvor::test::ciSkipReason().empty()) {
            ADD_FAILURE() << "skipped on the CI machine (CI=true), which must offer what this "
                             "test needs; a test that may truly skip there says why first "
                             "(talvor::test::maySkipInCI)";
        }
    }
};

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
    if (qEnvironmentVariable("CI") == QLatin1String("true")) {
        ::testing::UnitTest::GetInstance()->listeners().Append(new UnexplainedSkipsFail);
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
