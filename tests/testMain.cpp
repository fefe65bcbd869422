#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef __linux__
#include <unistd.h>
#endif

int main(int argc, char** argv) {
#if defined(__linux__) && defined(KORVEL_FAKES_DIR)
    // The bindings load the vendor libraries by name, so the fakes' folder must be on the search path
    // before the process starts; run directly, the binary puts it there and starts itself again.
    const char* path = std::getenv("LD_LIBRARY_PATH");
    const std::string fakes = KORVEL_FAKES_DIR;
    if (!path || std::string(path).find(fakes) == std::string::npos) {
        const std::string value = path && *path ? fakes + ":" + path : fakes;
        setenv("LD_LIBRARY_PATH", value.c_str(), 1);
        execv("/proc/self/exe", argv);
    }
#endif
    // Test discovery runs this binary where no display exists.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
