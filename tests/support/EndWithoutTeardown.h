#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace talvor::test {

// Ends the test program as soon as its results are printed, without the exit-time teardown
// of the libraries it loaded. For the tests that play through the sound server: on a loaded
// machine, the sound libraries' own clean-up at exit can abort inside their client library
// (an assertion in libpulse) after every case has passed.
class EndWithoutTeardown : public ::testing::Environment {
  public:
    void SetUp() override {
        ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
        // End events reach the listeners last-added first: the printer goes after us, so
        // it has printed the summary by the time we end the program.
        ::testing::TestEventListener* printer =
            listeners.Release(listeners.default_result_printer());
        listeners.Append(new Ender);
        if (printer != nullptr) {
            listeners.Append(printer);
        }
    }

  private:
    class Ender : public ::testing::EmptyTestEventListener {
        void OnTestProgramEnd(const ::testing::UnitTest& unit) override {
            std::fflush(nullptr);
            std::_Exit(unit.Passed() ? EXIT_SUCCESS : EXIT_FAILURE);
        }
    };
};

}  // namespace talvor::test
