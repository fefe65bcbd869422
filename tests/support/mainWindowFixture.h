#pragma once

// The main window on a settings file of its own in a fresh folder, with scripted prompts.

#include "app/frMain.h"
#include "support/scriptedPrompts.h"
#include "support/tempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

namespace korvel::test {

class MainWindowFixture : public ::testing::Test {
protected:
    // Fresh shared state pointing at the settings file; the window is left for the test to open, so that it
    // can store settings first.
    void SetUp() override;
    void TearDown() override;

    // A main window loaded from the settings file, as the program opens it.
    static std::unique_ptr<frMain> openWindow();
    // Stores the adapter the window connects to, at 500 kbit/s.
    static void storeLinkSettings(int deviceKind, const std::string& port, int32_t options);

    TempDir tmp;
    PromptsScope prompts;
    std::unique_ptr<frMain> window;
};

} // namespace korvel::test
