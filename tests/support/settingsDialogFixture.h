#pragma once

// The settings dialog's starting point: the defaults, a serial speed of 57600 bit/s and no user bitrate,
// with scripted prompts.

#include "core/basGlobal.h"
#include "support/scriptedPrompts.h"

#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

namespace korvel::test {

// A named control below `parent`; a test fails when it is missing.
template <typename W> W* child(QWidget& parent, const char* name) {
    W* w = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class SettingsDialogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        basGlobal = GlobalState{};
        initialiseGlobals(basGlobal, {}, '.');
        basGlobal.comBaudrate = "57600";
        basGlobal.userBitrate = "0";
    }
    void TearDown() override { basGlobal = GlobalState{}; }

    PromptsScope prompts;
};

} // namespace korvel::test
