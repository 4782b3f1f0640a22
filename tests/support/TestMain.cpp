// Test entry point: an application object for the event loop, the offscreen
// platform for widgets, and a private configuration folder so that no test
// reads or writes the real user's settings.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifdef TARNWICK_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <cstdlib>

int main(int argc, char **argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
