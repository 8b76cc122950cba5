// One QApplication for the window's tests, headless unless told otherwise, described as the program
// describes itself.

#include <gtest/gtest.h>

#include <QApplication>

#include <unistd.h>

#include "ui/qt/application_setup.h"

// Under LeakSanitizer: memory that Qt WebEngine (Chromium) and fontconfig keep until the process
// ends. Only third-party libraries are listed; a leak in the program's own code still fails.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n";
}

int main(int argc, char* argv[]) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();  // test discovery needs no windows
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    quorvane::ui::describeApplication();  // what the program tells Qt, as the program does
    return RUN_ALL_TESTS();
}
