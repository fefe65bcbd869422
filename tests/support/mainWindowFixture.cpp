#include "support/mainWindowFixture.h"
#include "core/basGlobal.h"
#include "core/iniFile.h"

namespace korvel::test {

void MainWindowFixture::SetUp() {
    basGlobal = GlobalState{};
    basGlobal.iniPath = tmp.file("Korvel.ini");
}

void MainWindowFixture::TearDown() {
    window.reset();
    basGlobal = GlobalState{};
}

std::unique_ptr<frMain> MainWindowFixture::openWindow() {
    auto opened = std::make_unique<frMain>();
    opened->load();
    return opened;
}

void MainWindowFixture::storeLinkSettings(int deviceKind, const std::string& port, int32_t options) {
    writeIniString(basGlobal.iniPath, "Options", "Device", std::to_string(deviceKind));
    writeIniString(basGlobal.iniPath, "Options", "Comport", port);
    writeIniString(basGlobal.iniPath, "Options", "Baudrate", "6");
    writeIniString(basGlobal.iniPath, "Options", "Options", std::to_string(options));
}

} // namespace korvel::test
