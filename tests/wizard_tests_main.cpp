// The wizard tests' entry: headless Qt application, private settings folder.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

#include "wizard_test_support.h"

// Read by the thread sanitizer at start-up (other builds never call it). Qt's own worker
// threads (the image and paint thread pool) synchronise through Qt's primitives, which the
// sanitizer does not see: the allocations Qt itself makes and frees are ignored. Accesses
// made by our own code stay checked. GLib's locks (the event loop of the X platform, its
// D-Bus thread) wait on futexes directly, also out of its sight: races reported inside
// GLib are not ours.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "race:libglib-2.0.so.0\n";
}

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (const char* ready_file = std::getenv("WIZARD_TESTS_LOST_DISPLAY_CHILD")) {
        QApplication app(argc, argv);
        return lost_display_child(ready_file);
    }
    // Stored settings go to a folder of this run, never to the user's own.
    char folder[] = "/tmp/wizard_tests_XXXXXX";
    if (mkdtemp(folder) != nullptr)
        setenv("XDG_CONFIG_HOME", folder, 1);
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    const std::string cleanup = std::string("rm -rf '") + folder + "'";
    if (std::system(cleanup.c_str()) != 0)
        return result == 0 ? 1 : result;
    return result;
}
