#include "core/basGlobal.h"
#include "core/iniFile.h"
#include "core/textFile.h"
#include "settings/settingsStore.h"
#include "support/tempDir.h"

#include <gtest/gtest.h>

using namespace korvel;

TEST(IniFile, NamesMatchWithoutRegardToCaseAndOtherLinesSurvive) {
    IniDocument ini(
        "; written by hand\r\n[options]\r\nComport=3\r\nUnknown = keep me\r\n\r\n[Other]\r\nx=1\r\n");
    EXPECT_EQ(ini.value("Options", "ComPort"), "3");
    EXPECT_EQ(ini.value("OPTIONS", "unknown"), "keep me");
    EXPECT_FALSE(ini.value("Options", "x").has_value());

    ini.setValue("Options", "COMPORT", "4");
    ini.setValue("Options", "Device", "1");
    ini.setValue("Position", "Top", "10");
    EXPECT_EQ(ini.text(),
              "; written by hand\r\n[options]\r\nCOMPORT=4\r\nUnknown = keep me\r\nDevice=1\r\n\r\n"
              "[Other]\r\nx=1\r\n[Position]\r\nTop=10\r\n");
}

TEST(IniFile, ReadingRulesForTextsAndIntegers) {
    const IniDocument ini("[A]\nlong=" + std::string(300, 'x') + "\nn=-12abc\nw=abc\nbig=99999999999\n");
    EXPECT_EQ(iniString(ini, "A", "long").size(), kIniMaxValueLength);
    EXPECT_EQ(iniString(ini, "A", "missing"), "0");
    EXPECT_EQ(iniInteger(ini, "A", "n"), -12);
    EXPECT_EQ(iniInteger(ini, "A", "w"), 0);
    EXPECT_EQ(iniInteger(ini, "A", "big"), 0);
    EXPECT_EQ(iniInteger(ini, "A", "missing", 7), 7);
}

TEST(IniFile, WritingCreatesTheFileAndReplacesItWhole) {
    test::TempDir tmp;
    const std::string path = tmp.file("sub.ini");
    ASSERT_TRUE(writeIniString(path, "Options", "Device", "2"));
    EXPECT_EQ(readIniString(path, "options", "device"), "2");
    ASSERT_TRUE(writeIniString(path, "Options", "Comport", "5"));
    EXPECT_EQ(readIniString(path, "Options", "Device"), "2");
    EXPECT_EQ(readIniString(path, "Options", "ComPort"), "5");
}

TEST(IniFile, AFailedWriteLeavesTheOldFileIntact) {
    test::TempDir tmp;
    const std::string path = tmp.file("settings.ini");
    ASSERT_TRUE(writeIniString(path, "Options", "Device", "2"));
    const std::string missingFolder = tmp.file("no/such/folder/settings.ini");
    EXPECT_FALSE(writeIniString(missingFolder, "Options", "Device", "3"));
    EXPECT_EQ(readIniString(path, "Options", "Device"), "2");
}

TEST(IniFile, ACodePageFileLoadsAndIsWrittenBackInItsCodePage) {
    test::TempDir tmp;
    const std::string path = tmp.file("old.ini");
    const std::string other = "[Other]\r\nUnit=\xB0"
                              "C \x80\r\n";
    ASSERT_TRUE(writeTextFileAtomically(path, other + "[Options]\r\nFilterDiscrete=caf\xE9 \x80\r\n"));
    EXPECT_EQ(readIniString(path, "Options", "FilterDiscrete"), "caf\xC3\xA9 \xE2\x82\xAC");

    // What shutdown writes keeps the other lines byte for byte, and the file's code page.
    IniDocument ini = IniDocument::load(path);
    GlobalState state;
    loadSettingsFrom(ini, state);
    saveSettingsTo(ini, state, {});
    ASSERT_TRUE(ini.save(path));
    std::string bytes;
    ASSERT_TRUE(readFileBytes(path, bytes));
    EXPECT_EQ(bytes.substr(0, other.size()), other);
    EXPECT_NE(bytes.find("FilterDiscrete=caf\xE9 \x80\r\n"), std::string::npos);
}

TEST(SettingsStore, FirstStartGivesTheDefaults) {
    GlobalState state;
    const LoadedPlacement loaded = loadSettingsFrom(IniDocument{}, state);
    EXPECT_EQ(state.comBaudrate, "57600");
    EXPECT_EQ(state.comPort, "0");
    EXPECT_EQ(state.options, 0);
    EXPECT_EQ(state.deviceKind, 0);
    EXPECT_EQ(state.discreteFilterText, "0");
    EXPECT_EQ(state.acceptanceMaskInv, -1);
    EXPECT_FALSE(loaded.hasPosition);
    EXPECT_EQ(resolveSplit(loaded.split, 6001), 3000); // half of the free height, a tie to even
}

TEST(SettingsStore, CombaudrateZeroAndPortKeyCase) {
    GlobalState state;
    loadSettingsFrom(IniDocument("[Options]\nCOMBaudrate=0\nComport=7\n"), state);
    EXPECT_EQ(state.comBaudrate, "57600");
    EXPECT_EQ(state.comPort, "7");
}

TEST(SettingsStore, WidthZeroAppliesNoPositionValueAtAll) {
    GlobalState state;
    const LoadedPlacement loaded = loadSettingsFrom(
        IniDocument("[Position]\nWidth=0\nTop=100\nLeft=200\nHeight=300\nWindowState=2\n"), state);
    EXPECT_FALSE(loaded.hasPosition);
}

TEST(SettingsStore, OutOfRangeNumbersAndOverlongRegistersKeepTheDefaults) {
    GlobalState state;
    loadSettingsFrom(
        IniDocument("[Options]\nOptions=70000\nDevice=7\nBaudrate=12\nMask=123456789\nFilter=7FF\n"
                    "[Position]\nWidth=9000\nWindowState=5\n"),
        state);
    EXPECT_EQ(state.options, 0);
    EXPECT_EQ(state.deviceKind, 0);
    EXPECT_EQ(state.canBitrateIndex, 0);
    EXPECT_EQ(state.acceptanceMaskText, "0");
    EXPECT_EQ(state.acceptanceCodeText, "7FF");
}

TEST(SettingsStore, DerivedFilterValues) {
    GlobalState state;
    loadSettingsFrom(
        IniDocument("[Options]\nMask=000000FF\nFilter=00000123\nFilterStart=100\nFilterEnd=1FF\n"), state);
    EXPECT_EQ(state.acceptanceMaskInv, static_cast<int32_t>(0xFFFFFF00));
    EXPECT_EQ(state.acceptanceCodeMasked, 0x100);
    EXPECT_EQ(state.rangeFilterStart, 0x100);
    EXPECT_EQ(state.rangeFilterEnd, 0x1FF);
}

TEST(SettingsStore, SplitRule) {
    EXPECT_EQ(resolveSplit(0, 8000), 4000);
    EXPECT_EQ(resolveSplit(7201, 8000), 4000);
    EXPECT_EQ(resolveSplit(7200, 8000), 7200);
    EXPECT_EQ(resolveSplit(-50, 8000), 4000);
    EXPECT_EQ(resolveSplit(2500, 8000), 2500);
}

TEST(SettingsStore, RoundTripWritesEveryKeyInItsOrder) {
    GlobalState state;
    state.comPort = "3";
    state.deviceKind = 1;
    state.canBitrateIndex = 6;
    state.comBaudrate = "115200";
    state.userBitrate = "031C";
    state.options = optTimestamp | optRiskAccepted | optRtsHandshake;
    state.acceptanceMaskText = "7FF00000";
    state.acceptanceCodeText = "1AB00000";
    state.rangeFilterStartText = "100";
    state.rangeFilterEndText = "1FF";
    state.discreteFilterText = "123,7FF";
    state.splitPosition = 2500;
    IniDocument ini;
    saveSettingsTo(ini, state, WindowPlacement{2, 150, 300, 6000, 9000});
    EXPECT_EQ(ini.text(),
              "[Options]\r\nComport=3\r\nDevice=1\r\nBaudrate=6\r\nCOMBaudrate=115200\r\n"
              "UserBaudrate=031C\r\nOptions=2305\r\nMask=7FF00000\r\nFilter=1AB00000\r\n"
              "FilterStart=100\r\nFilterEnd=1FF\r\nFilterDiscrete=123,7FF\r\n"
              "[Position]\r\nWindowState=2\r\nTop=150\r\nLeft=300\r\nHeight=6000\r\nWidth=9000\r\n"
              "Split=2500\r\n");

    GlobalState back;
    const LoadedPlacement loaded = loadSettingsFrom(IniDocument(ini.text()), back);
    EXPECT_EQ(back.comPort, "3");
    EXPECT_EQ(back.options, state.options);
    EXPECT_EQ(back.discreteFilterText, "123,7FF");
    ASSERT_TRUE(loaded.hasPosition);
    EXPECT_EQ(loaded.placement.windowState, 2);
    EXPECT_EQ(loaded.placement.width, 9000);
    EXPECT_EQ(loaded.split, 2500);
}
