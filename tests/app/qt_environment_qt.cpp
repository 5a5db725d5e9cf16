// Linux only: one QApplication for every test of the shell, on the virtual display the test run
// was given, or on Qt's offscreen platform without one.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // The endpoints of the shell and of the copies it starts go to a private runtime folder
        // of this test run, not among the user's own.
        char runtime[] = "/tmp/trh-runtime-XXXXXX";
        if (mkdtemp(runtime) != nullptr) {
            runtime_ = runtime;
            setenv("XDG_RUNTIME_DIR", runtime, 1);
        }
        const char* display = std::getenv("DISPLAY");
        if ((display == nullptr || *display == '\0') && std::getenv("QT_QPA_PLATFORM") == nullptr) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int argc = 1;
        static char name[] = "test_app";
        static char* argv[] = {name, nullptr};
        // Kept to the end of the process: Qt's own clean-up would run after the tests' objects.
        static QApplication* app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        (void)app;
    }

    void TearDown() override {
        if (!runtime_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(runtime_, ignored);
        }
    }

private:
    std::string runtime_;
};

::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
