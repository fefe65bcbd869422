// Qt first on purpose: the database headers must survive Qt's keyword macros.
#include <QObject>

#include "signals/databaseSet.h"
#include "signals/dbc.h"
#include "signals/signalCodec.h"

#include "support/tempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace korvel {
namespace {

const char* const kSample = R"(VERSION "1.0"

NS_ :
    CM_
    BA_DEF_
    SIG_VALTYPE_

BS_:

BU_: Engine Gateway

VAL_TABLE_ Gears 0 "P" 1 "R" 2 "N" 3 "D" ;

BO_ 291 EngineData: 8 Engine
 SG_ EngineSpeed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Gateway,Dash
 SG_ Temperature : 23|8@0- (1,-40) [-168|87] "degC" Gateway
 SG_ Gear : 24|2@1+ (1,0) [0|3] "" Gateway

BO_ 2566844672 Pgn65265: 8 Engine
 SG_ Speed : 8|16@1+ (0.00390625,0) [0|250.996] "km/h" Vector__XXX

BO_ 1024 Floats: 8 Engine
 SG_ Ratio : 0|32@1- (1,0) [0|0] "" Gateway
 SG_ Precise m1 : 39|32@0- (1,0) [0|0] "" Gateway
 SG_ Page M : 32|1@1+ (1,0) [0|0] "" Gateway

CM_ BO_ 291 "Engine state, every 10 ms";
CM_ SG_ 291 EngineSpeed "Crank speed, said \"rpm\"
over two lines";
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 10000;
BA_DEF_ BO_ "VFrameFormat" ENUM "StandardCAN","ExtendedCAN","J1939PG";
BA_DEF_DEF_ "GenMsgCycleTime" 100;
BA_ "GenMsgCycleTime" BO_ 291 10;
BA_ "VFrameFormat" BO_ 2566844672 2;
VAL_ 291 Gear 0 "P" 1 "R" 2 "N" 3 "D" ;
SIG_VALTYPE_ 1024 Ratio : 1;
SIG_VALTYPE_ 1024 Precise : 1;
)";

const MessageDef& messageNamed(const Database& db, std::string_view name) {
    for (const MessageDef& m : db.messages) {
        if (m.name == name)
            return m;
    }
    throw std::runtime_error("no message " + std::string(name));
}

std::vector<DecodedSignal> decoded(const MessageDef& m, std::vector<uint8_t> bytes) {
    std::vector<DecodedSignal> out;
    decodeMessage(m, bytes.data(), static_cast<int>(bytes.size()), out);
    return out;
}

TEST(DbcReader, ReadsMessagesSignalsAttributesAndComments) {
    for (std::string lineEnd : {"\n", "\r\n", "\r"}) {
        std::string text = kSample;
        std::string converted;
        for (char c : text)
            converted += c == '\n' ? lineEnd : std::string(1, c);
        Database db = readDbc(converted, "sample.dbc");
        ASSERT_TRUE(db.problems.empty()) << db.problems.front().line << ": " << db.problems.front().reason;
        ASSERT_EQ(db.messages.size(), 3u);
        const MessageDef& engine = messageNamed(db, "EngineData");
        EXPECT_EQ(engine.id, 0x123u);
        EXPECT_FALSE(engine.extended);
        EXPECT_EQ(engine.transmitter, "Engine");
        EXPECT_EQ(engine.cycleTimeMs, 10);
        EXPECT_EQ(engine.comment, "Engine state, every 10 ms");
        ASSERT_EQ(engine.signalList.size(), 3u);
        const SignalDef& speed = engine.signalList[0];
        EXPECT_EQ(speed.factor, 0.25);
        EXPECT_EQ(speed.unit, "rpm");
        EXPECT_EQ(speed.receivers, (std::vector<std::string>{"Gateway", "Dash"}));
        EXPECT_EQ(speed.comment, "Crank speed, said \"rpm\"" + lineEnd + "over two lines");
        EXPECT_EQ(engine.signalList[1].order, ByteOrder::motorola);
        EXPECT_TRUE(engine.signalList[1].isSigned);
        ASSERT_EQ(engine.signalList[2].valueNames.size(), 4u);
        EXPECT_EQ(engine.signalList[2].valueNames[3].name, "D");

        const MessageDef& pgn = messageNamed(db, "Pgn65265");
        EXPECT_TRUE(pgn.extended);
        EXPECT_EQ(pgn.id, 0x18FEF100u);
        EXPECT_TRUE(pgn.j1939);
        EXPECT_EQ(pgn.cycleTimeMs, 100);
        EXPECT_TRUE(pgn.signalList[0].receivers.empty());

        const MessageDef& floats = messageNamed(db, "Floats");
        EXPECT_EQ(floats.signalList[0].kind, SignalValueKind::float32);
        EXPECT_EQ(floats.signalList[1].kind, SignalValueKind::float32);
    }
    // A file in the Windows code page reads as UTF-8.
    Database latin = readDbc("BO_ 1 M: 8 X\n SG_ T : 0|8@1+ (1,0) [0|255] \"\xB0\x43\" X\n");
    EXPECT_EQ(latin.messages.at(0).signalList.at(0).unit, "\xC2\xB0\x43");
}

// Each bad line is named with its reason; the lines around it still load, and nothing of a refused
// signal is decoded.
TEST(DbcReader, RefusesBadLinesByNumberAndLoadsTheRest) {
    const char* text = "BO_ 100 A: 8 X\n"                            // 1
                       " SG_ Zero : 0|0@1+ (1,0) [0|0] \"\" X\n"     // 2 length 0
                       " SG_ Long : 0|65@1+ (1,0) [0|0] \"\" X\n"    // 3 over 64
                       " SG_ Far : 70|8@1+ (1,0) [0|0] \"\" X\n"     // 4 beyond eight bytes
                       " SG_ Flat : 0|8@1+ (0,5) [0|0] \"\" X\n"     // 5 factor 0
                       " SG_ Unit : 0|8@1+ (1,0) [0|0] \"open X\n"   // 6 unterminated string
                       " SG_ Good : 8|8@1+ (1,0) [0|0] \"\" X\n"     // 7
                       " SG_ Sw M : 16|4@1+ (1,0) [0|0] \"\" X\n"    // 8
                       " SG_ Self m1 : 20|4@1+ (1,0) [0|0] \"\" X\n" // 9
                       "BO_ 100 Again: 8 X\n"                        // 10 duplicate id
                       "FROB_ 1 2 3\n"                               // 11 unknown keyword
                       "CM_ BO_ 100 \"never closed;\n"               // 12
                       "BO_ 200 B: 8 X\n"                            // 13
                       " SG_ Other : 0|8@1+ (1,0) [0|0] \"\" X\n"    // 14
                       "SG_MUL_VAL_ 100 Sw Sw 1-1;\n"                // 15 selects itself
                       "SIG_VALTYPE_ 200 Other : 1;\n"               // 16 float of 8 bits
                       " SG_ Out : 0|8@1+ (1,0) [0|0] \"\" X\n"      // 17 outside a message
                       "BO_ 300 C: 8 X\n"                            // 18
                       " SG_ Low : 0|12@1+ (1,0) [0|0] \"\" X\n"     // 19
                       " SG_ High : 15|8@0+ (1,0) [0|0] \"\" X\n";   // 20 overlaps Low, kept
    Database db = readDbc(text);
    std::vector<int> lines;
    for (const DbcProblem& p : db.problems)
        lines.push_back(p.line);
    std::sort(lines.begin(), lines.end());
    // Line 9 goes with the switch refused on line 15.
    EXPECT_EQ(lines, (std::vector<int>{2, 3, 4, 5, 6, 9, 10, 11, 12, 15, 16, 17, 20}));
    ASSERT_EQ(db.messages.size(), 3u);
    EXPECT_EQ(db.messages[2].signalList.size(), 2u);
    ASSERT_EQ(db.messages[0].signalList.size(), 1u);
    EXPECT_EQ(db.messages[0].signalList[0].name, "Good");
    EXPECT_TRUE(db.messages[1].signalList.empty());

    test::TempDir dir;
    std::string error;
    Database out;
    auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return dir.file(name);
    };
    EXPECT_FALSE(loadDbcFile(write("empty.dbc", ""), out, error));
    EXPECT_FALSE(loadDbcFile(write("binary.dbc", std::string("\x7F"
                                                             "ELF\0\0\x01",
                                                             7)),
                             out, error));
    EXPECT_EQ(error, "not a database");
    EXPECT_FALSE(loadDbcFile(write("words.dbc", "hello there\nnothing here\n"), out, error));
    std::string huge = write("huge.dbc", "");
    std::filesystem::resize_file(huge, 100u << 20);
    EXPECT_FALSE(loadDbcFile(huge, out, error));
    EXPECT_FALSE(loadDbcFile(dir.file("missing.dbc"), out, error));
    EXPECT_TRUE(loadDbcFile(write("ok.dbc", text), out, error));
    EXPECT_EQ(out.messages.size(), 3u);

    // Ten thousand messages load; the one repeated identifier is named.
    std::string many;
    for (int i = 0; i < 10000; ++i)
        many += "BO_ " + std::to_string(0x80000000u + i) + " M" + std::to_string(i) +
                ": 8 X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n";
    many += "BO_ 2147483648 Again: 8 X\n";
    Database large = readDbc(many);
    EXPECT_EQ(large.messages.size(), 10000u);
    ASSERT_EQ(large.problems.size(), 1u);
    EXPECT_EQ(large.problems[0].line, 20001);
}

TEST(SignalDecoding, ExactBitsInBothByteOrders) {
    Database db = readDbc(kSample);
    const MessageDef& engine = messageNamed(db, "EngineData");
    auto d = decoded(engine, {0x0C, 0xF3, 0x80, 0x03, 0, 0, 0, 0});
    // 0xF30C * 0.25; a Motorola byte 2 of 0x80 is -128, minus 40; Gear 3 is named.
    EXPECT_EQ(d[0].physical, 15555.0);
    EXPECT_EQ(d[1].raw, 0x80u);
    EXPECT_EQ(d[1].physical, -168.0);
    ASSERT_NE(d[2].valueName, nullptr);
    EXPECT_EQ(signalValueText(d[2]), "D");
    EXPECT_EQ(signalValueText(d[0]), "15555");

    // A Motorola signal across bytes: start bit 11, 12 bits, is the low nibble of byte 1 then byte 2.
    Database across = readDbc("BO_ 1 M: 8 X\n SG_ S : 11|12@0+ (1,0) [0|0] \"\" X\n"
                              " SG_ W : 0|64@1+ (3,-7) [0|0] \"\" X\n");
    d = decoded(across.messages[0], {0xFF, 0xAB, 0xCD, 0, 0, 0, 0, 0xFF});
    EXPECT_EQ(d[0].raw, 0xBCDu);
    // Whole-number scales stay exact past 2^53.
    EXPECT_EQ(signalNumberText(d[1]), "55124059439055307766"); // 0xFF00000000CDABFF * 3 - 7

    // Frames too short for a signal leave it out, and nothing past the length is read.
    std::vector<uint8_t> three = {0x0C, 0xF3, 0x80};
    auto* heap = new uint8_t[3];
    std::memcpy(heap, three.data(), 3);
    std::vector<DecodedSignal> out;
    decodeMessage(engine, heap, 3, out);
    delete[] heap;
    EXPECT_TRUE(out[0].present);
    EXPECT_TRUE(out[1].present);
    EXPECT_FALSE(out[2].present);
    decodeMessage(engine, nullptr, 0, out);
    EXPECT_FALSE(out[0].present);

    const MessageDef& floats = messageNamed(db, "Floats");
    uint8_t bytes[8] = {};
    float ratio = 0.1f;
    std::memcpy(bytes, &ratio, 4);
    d = decoded(floats, std::vector<uint8_t>(bytes, bytes + 8));
    EXPECT_EQ(d[0].physical, static_cast<double>(0.1f));
    EXPECT_EQ(signalValueText(d[0]), "0.1");
    EXPECT_EQ(signalNumberText(d[0]), "0.10000000149011612");
}

TEST(SignalDecoding, MultiplexedSignalsOnlyWhenSelected) {
    const char* text = "BO_ 10 Mux: 8 X\n"
                       " SG_ Page M : 0|4@1+ (1,0) [0|0] \"\" X\n"
                       " SG_ OnOne m1 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                       " SG_ OnTwo m2 : 8|8@1+ (1,0) [0|0] \"\" X\n"
                       " SG_ Sub m2M : 16|4@1+ (1,0) [0|0] \"\" X\n"
                       " SG_ Deep m0 : 24|8@1+ (1,0) [0|0] \"\" X\n"
                       " SG_ Always : 56|8@1+ (1,0) [0|0] \"\" X\n"
                       "SG_MUL_VAL_ 10 Sub Page 2-2;\n"
                       "SG_MUL_VAL_ 10 Deep Sub 3-5, 9-9;\n";
    Database db = readDbc(text);
    ASSERT_TRUE(db.problems.empty()) << db.problems.front().reason;
    auto present = [&](std::vector<uint8_t> bytes) {
        std::string names;
        for (const DecodedSignal& d : decoded(db.messages[0], bytes))
            names += d.present ? d.signal->name + " " : "";
        return names;
    };
    EXPECT_EQ(present({1, 7, 0, 0, 0, 0, 0, 9}), "Page OnOne Always ");
    EXPECT_EQ(present({2, 7, 4, 0, 0, 0, 0, 9}), "Page OnTwo Sub Deep Always ");
    EXPECT_EQ(present({2, 7, 9, 0, 0, 0, 0, 9}), "Page OnTwo Sub Deep Always ");
    EXPECT_EQ(present({2, 7, 6, 0, 0, 0, 0, 9}), "Page OnTwo Sub Always ");
    EXPECT_EQ(present({3, 7, 4, 0, 0, 0, 0, 9}), "Page Always ");
}

// Random raw values of every kind: decoding, encoding the physical value and decoding again gives the
// same value, and the value's text reads back to it.
TEST(SignalEncoding, RoundTripsEveryKindExactly) {
    std::mt19937_64 random(15);
    const char* shapes[] = {
        "0|1@1+ (1,0)",     "3|7@1- (1,0)",  "7|12@0+ (0.1,-40)",     "13|13@0- (0.0062,-67.67)",
        "0|64@1+ (1,0)",    "7|64@0- (1,0)", "5|33@1- (-3,1000)",     "0|32@1- (1,0)",
        "0|32@1- (0.5,-2)", "0|64@1- (1,0)", "2|20@1+ (1e-05,0.001)", "32|32@1+ (2.5,0.25)"};
    std::string text = "BO_ 1 M: 8 X\n";
    for (std::size_t i = 0; i < std::size(shapes); ++i)
        text += " SG_ S" + std::to_string(i) + " : " + shapes[i] + " [0|0] \"\" X\n";
    text += "SIG_VALTYPE_ 1 S7 : 1;\nSIG_VALTYPE_ 1 S8 : 1;\nSIG_VALTYPE_ 1 S9 : 2;\n";
    Database db = readDbc(text);
    // The shapes overlap on purpose: the reader says so and reads them all.
    ASSERT_FALSE(db.problems.empty());
    const MessageDef& m = db.messages[0];
    ASSERT_EQ(m.signalList.size(), std::size(shapes));
    std::vector<DecodedSignal> first, second;
    for (int round = 0; round < 2000; ++round) {
        uint64_t word = random();
        if (round < 8)
            word = round % 2 ? ~uint64_t{0} : 0;
        uint8_t bytes[8];
        std::memcpy(bytes, &word, 8);
        decodeMessage(m, bytes, 8, first);
        for (std::size_t i = 0; i < m.signalList.size(); ++i) {
            const DecodedSignal& d = first[i];
            if (std::isnan(d.physical))
                continue;
            uint8_t data[8] = {};
            ASSERT_TRUE(encodeSignal(m.signalList[i], d.physical, data))
                << m.signalList[i].name << " " << d.raw;
            decodeMessage(m, data, 8, second);
            EXPECT_EQ(second[i].physical, d.physical) << m.signalList[i].name << " raw " << d.raw;
            std::memset(data, 0, 8);
            ASSERT_TRUE(encodeSignalText(m.signalList[i], signalValueText(d), data)) << signalValueText(d);
            decodeMessage(m, data, 8, second);
            EXPECT_EQ(signalValueText(second[i]), signalValueText(d)) << m.signalList[i].name;
        }
    }
    // Values the raw range cannot hold, and NaN, leave the data as it was.
    uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(encodeSignal(m.signalList[0], 2, data));
    EXPECT_FALSE(encodeSignal(m.signalList[1], -65, data));
    EXPECT_FALSE(encodeSignal(m.signalList[2], NAN, data));
    EXPECT_FALSE(encodeSignal(m.signalList[7], 1e39, data));
    EXPECT_FALSE(encodeSignalText(m.signalList[1], "-65", data));
    EXPECT_FALSE(encodeSignalText(m.signalList[4], "18446744073709551616", data));
    EXPECT_EQ(data[0], 1);
    EXPECT_EQ(data[7], 8);
    // Nearest raw step: 12.4 with a factor of 0.1 and an offset of -40 is raw 524, not the truncated 523.
    ASSERT_TRUE(encodeSignal(m.signalList[2], 12.4, data));
    decodeMessage(m, data, 8, first);
    EXPECT_EQ(first[2].raw, 524u);
}

TEST(SignalText, NumbersAndNamesForTheUser) {
    Database db = readDbc(kSample);
    const SignalDef& gear = messageNamed(db, "EngineData").signalList[2];
    double value = 0;
    EXPECT_TRUE(parseSignalValue(gear, "D", value));
    EXPECT_EQ(value, 3);
    EXPECT_TRUE(parseSignalValue(gear, " 2 ", value));
    EXPECT_EQ(value, 2);
    EXPECT_FALSE(parseSignalValue(gear, "Drive", value));
    EXPECT_FALSE(parseSignalValue(gear, "", value));
    EXPECT_FALSE(parseSignalValue(gear, "1,5", value));
    EXPECT_FALSE(parseSignalValue(gear, "nan", value));

    SignalDef s;
    s.length = 16;
    s.factor = 0.5;
    ASSERT_TRUE(prepareSignal(s));
    DecodedSignal d{&s, true, 25, 12.5, nullptr};
    EXPECT_EQ(signalValueText(d), "12.5");
    // Decimal scales show their own decimals, not the double's tail.
    s.factor = 0.01;
    d.physical = 3081 * 0.01;
    EXPECT_EQ(signalValueText(d), "30.81");
    s.factor = 1.0 / 3.0;
    d.physical = 0.0001;
    EXPECT_EQ(signalValueText(d), "0.0001");
    d.physical = 1e-9;
    EXPECT_EQ(signalValueText(d), "1e-09");
    d.present = false;
    EXPECT_EQ(signalValueText(d), "");
}

TEST(DatabaseSet, FirstLoadedWinsAndJ1939MatchesByParameterGroup) {
    DatabaseSet set;
    set.add(readDbc(kSample, "/home/a.dbc"));
    EXPECT_TRUE(set.lastDuplicates().empty());
    set.add(readDbc("BO_ 291 Other: 8 X\nBO_ 292 New: 8 X\n", "b.dbc"));
    EXPECT_EQ(set.lastDuplicates(), (std::vector<std::string>{"0x123 EngineData in a.dbc"}));
    ASSERT_NE(set.find(0x123, false), nullptr);
    EXPECT_EQ(set.find(0x123, false)->name, "EngineData");
    EXPECT_EQ(set.find(0x124, false)->name, "New");
    EXPECT_EQ(set.find(0x123, true), nullptr);
    // Another priority and source address find the parameter group; another destination does not.
    EXPECT_EQ(set.find(0x0CFEF133, true)->name, "Pgn65265");
    EXPECT_EQ(set.find(0x18FEF201, true), nullptr);
    set.remove(0);
    EXPECT_EQ(set.size(), 1);
    EXPECT_EQ(set.find(0x123, false)->name, "Other");
    EXPECT_EQ(set.find(0x0CFEF133, true), nullptr);

    uint32_t id = 0;
    EXPECT_TRUE(frameIdValue("18FEF100", id));
    EXPECT_EQ(id, 0x18FEF100u);
    EXPECT_FALSE(frameIdValue("12G", id));
    EXPECT_FALSE(frameIdValue("", id));
    uint8_t bytes[8] = {};
    EXPECT_EQ(frameDataBytes("11 22 3F", bytes), 3);
    EXPECT_EQ(bytes[2], 0x3F);
    EXPECT_EQ(frameDataBytes("RTR", bytes), 0);
    EXPECT_EQ(frameDataBytes("", bytes), 0);
}

} // namespace
} // namespace korvel
