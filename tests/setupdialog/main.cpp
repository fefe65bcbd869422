#include "hostScenarios.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <string_view>

int main(int argc, char** argv) {
    constexpr std::string_view hostOption = "--host=";
    if (argc == 2 && std::string_view(argv[1]).starts_with(hostOption)) {
        return runHostScenario(std::string_view(argv[1]).substr(hostOption.size()));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
