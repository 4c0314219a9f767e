// The wizard tests' entry: headless Qt application, private settings folder.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
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
