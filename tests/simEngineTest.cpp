// The virtual adapter's engine: the line protocol as a host sees it, its traffic, faults and scenarios.
#include "sim/adapterEngine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

using namespace korvel::sim;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kSecond = 1'000'000;

// A host on a fixed clock that sends one command and takes everything the adapter has for it.
struct Host {
    AdapterEngine engine;
    int64_t now = 5 * kSecond;

    std::string send(std::string_view command) {
        engine.hostWrite(std::string(command) + "\r", now);
        return engine.takeHostBytes();
    }
    std::string runFor(int64_t duration) {
        now += duration;
        engine.advance(now);
        return engine.takeHostBytes();
    }
    void openQuiet(std::string_view extraScenario = {}) {
        std::string error;
        ASSERT_TRUE(engine.loadScenario(std::string("vehicle none\n") + std::string(extraScenario), &error))
            << error;
        send("S6");
        ASSERT_EQ(send("O"), "\r");
    }
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    for (size_t cr = text.find('\r'); cr != std::string::npos; cr = text.find('\r', start)) {
        result.push_back(text.substr(start, cr - start));
        start = cr + 1;
    }
    return result;
}

SimFrame standard(uint32_t id, bool remote = false) {
    SimFrame f;
    f.id = id;
    f.remote = remote;
    return f;
}

SimFrame extended(uint32_t id, bool remote = false) {
    SimFrame f = standard(id, remote);
    f.extended = true;
    return f;
}

} // namespace

TEST(SimEngineCommands, AnswerTheConnectSequenceLikeAnAdapter) {
    Host host;
    host.engine.setVehicleEnabled(false);
    std::vector<std::string> replies;
    for (const char* command : {"v", "C", "S6", "Z0", "C", "mFFFFFFFF", "O", "O"}) {
        replies.push_back(host.send(command));
    }
    EXPECT_THAT(replies, ElementsAre("v1013\r", "\r", "\r", "\r", "\r", "\r", "\r", "\a"));
    EXPECT_THAT(host.engine.commandLog(), ElementsAre("v", "C", "S6", "Z0", "C", "mFFFFFFFF", "O", "O"));
    EXPECT_TRUE(host.engine.channelOpen());
    EXPECT_FALSE(host.engine.listenOnly());
    EXPECT_EQ(host.engine.bitrateCommand(), "S6");
}

TEST(SimEngineCommands, RefuseWhatIsMalformedOrOutOfState) {
    Host host;
    host.engine.setVehicleEnabled(false);
    struct Case {
        const char* command;
        const char* reply;
    };
    // Closed channel, no bitrate yet.
    for (const Case& c : std::initializer_list<Case>{
             {"V", "V1013\r"},   {"vX", "\a"},        {"Q", "\a"},         {"O", "\a"}, // no bitrate set
             {"L", "\a"},        {"S9", "\a"},        {"S", "\a"},         {"S66", "\a"},
             {"s03", "\a"},      {"s12345", "\a"},    {"s0G1C", "\a"},     {"s031C", "\r"},
             {"s01C", "\r"},     {"s0A1B2C", "\r"},   {"Z2", "\a"},        {"Z1", "\r"},
             {"m7FF0000", "\a"}, {"m7FF00000", "\r"}, {"M1ab00000", "\r"}, {"MXYZ00000", "\a"},
             {"t1230", "\a"}, // closed
             {"C", "\r"},     // closing a closed channel is fine
             {"L", "\r"}}) {
        EXPECT_EQ(host.send(c.command), c.reply) << c.command;
    }
    EXPECT_EQ(host.engine.bitrateCommand(), "s0A1B2C");
    EXPECT_EQ(host.engine.acceptanceMask(), 0x7FF00000U);
    EXPECT_EQ(host.engine.acceptanceCode(), 0x1AB00000U);
    EXPECT_TRUE(host.engine.timestampsOn());
    EXPECT_TRUE(host.engine.listenOnly());
    // Open: registers are locked, timestamps are not.
    for (const Case& c : std::initializer_list<Case>{{"S4", "\a"},
                                                     {"s031C", "\a"},
                                                     {"mFFFFFFFF", "\a"},
                                                     {"M00000000", "\a"},
                                                     {"O", "\a"},
                                                     {"Z0", "\r"}}) {
        EXPECT_EQ(host.send(c.command), c.reply) << c.command;
    }
    EXPECT_EQ(host.engine.bitrateCommand(), "s0A1B2C");
}

TEST(SimEngineCommands, VersionRepliesCanBeChangedOrRefused) {
    Host host;
    host.engine.setVersionReply('v', "");
    host.engine.setVersionReply('V', "V0205");
    EXPECT_EQ(host.send("v"), "\a");
    EXPECT_EQ(host.send("V"), "V0205\r");
    host.engine.setVersionReply('V', "V1\r2"); // a CR would end the reply early: refused
    EXPECT_EQ(host.send("V"), "V0205\r");
}

TEST(SimEngineCommands, HostFramesAreAcknowledgedOnlyWhenTheyCanBeSent) {
    Host host;
    host.openQuiet();
    EXPECT_EQ(host.send("t1232AABB"), "z\r");
    EXPECT_EQ(host.send("T1ABCDEF08" + std::string("0102030405060708")), "Z\r");
    EXPECT_EQ(host.send("r7FF0"), "z\r");
    for (const char* bad : {"t1232AA", "t12390000", "t8001FF", "T200000000", "t12", "r1230FF", "tXYZ0"}) {
        EXPECT_EQ(host.send(bad), "\a") << bad;
    }
    const auto sent = host.engine.transmittedFrames();
    ASSERT_EQ(sent.size(), 3U);
    EXPECT_EQ(sent[0].id, 0x123U);
    EXPECT_EQ(sent[0].dlc, 2);
    EXPECT_EQ(sent[0].data[1], 0xBB);
    EXPECT_TRUE(sent[1].extended);
    EXPECT_EQ(sent[1].data[7], 0x08);
    EXPECT_TRUE(sent[2].remote);
    EXPECT_EQ(host.engine.framesTransmittedByHost(), 3U);
    const auto times = host.engine.transmittedTimesUs();
    ASSERT_EQ(times.size(), 3U);
    EXPECT_LE(times[0], times[2]);

    host.send("C");
    host.send("L");
    EXPECT_EQ(host.send("t1230"), "\a");
    EXPECT_EQ(host.engine.framesTransmittedByHost(), 3U);
}

TEST(SimEngineCommands, OverlongLinesAreDroppedWithOneBell) {
    Host host;
    host.engine.hostWrite(std::string(100, 'x'), host.now);
    host.engine.hostWrite(std::string(100, 'y') + "\rv\r\nV\r", host.now);
    EXPECT_EQ(host.engine.takeHostBytes(), "\av1013\rV1013\r");
    EXPECT_THAT(host.engine.commandLog(), ElementsAre("v", "V"));
}

TEST(SimEngineCommands, RepliesStayBoundedWhenTheHostNeverReads) {
    Host host;
    for (int i = 0; i < 300'000; ++i) {
        host.engine.hostWrite("v\r", host.now);
    }
    EXPECT_LE(host.engine.pendingHostBytes(),
              AdapterEngine::kMaxHostQueueBytes + AdapterEngine::kReplySlackBytes);
    EXPECT_GT(host.engine.overruns(), 0U);
    EXPECT_EQ(host.engine.commandLog().size(), AdapterEngine::kMaxLogEntries);
}

TEST(SimEngineCommands, RandomBytesNeverUpsetTheAdapter) {
    Host host;
    Rng rng(42);
    for (int round = 0; round < 200; ++round) {
        std::string noise;
        for (int i = 0; i < 500; ++i) {
            const uint8_t byte = rng.byte();
            // Frame letters and CRs often enough that every command handler sees broken input.
            noise.push_back(byte < 20   ? '\r'
                            : byte < 60 ? "tTrRsSmMvVZOLC"[byte % 14]
                                        : static_cast<char>(byte));
        }
        host.engine.hostWrite(noise, host.now);
        host.now += 10 * kMs;
        host.engine.advance(host.now);
        host.engine.takeHostBytes(rng.below(4096));
    }
    EXPECT_LE(host.engine.pendingHostBytes(),
              AdapterEngine::kMaxHostQueueBytes + AdapterEngine::kReplySlackBytes);
    host.engine.takeHostBytes();
    host.send("C");
    host.engine.setVehicleEnabled(false);
    host.engine.takeHostBytes();
    EXPECT_EQ(host.send("V"), "V1013\r");

    for (int round = 0; round < 200; ++round) {
        std::string text;
        for (int i = 0; i < 200; ++i) {
            const uint8_t byte = rng.byte();
            text.push_back(byte < 30 ? '\n' : byte < 60 ? ' ' : static_cast<char>(byte));
        }
        std::string error;
        if (!parseScenario(text, &error)) {
            EXPECT_THAT(error, ::testing::StartsWith("line "));
        }
    }
}

TEST(SimEngineRemote, AnswersRequestsForItsIdentifiersAfterTheAcknowledgement) {
    Host host;
    host.openQuiet("answer-rtr 7E0 3 01 02 03\n");
    EXPECT_EQ(host.send("r7E00"), "z\rt7E03010203\r");
    EXPECT_EQ(host.send("r1230"), "z\r");
    EXPECT_EQ(host.send("t7E00"), "z\r"); // a data frame is not a request

    Host vehicle;
    vehicle.send("S6");
    vehicle.send("O");
    vehicle.runFor(2 * kSecond);
    const auto reply = lines(vehicle.send("R18FEEE000"));
    ASSERT_EQ(reply.size(), 2U);
    EXPECT_EQ(reply[0], "Z");
    EXPECT_EQ(reply[1].substr(0, 10), "T18FEEE008");
}

TEST(SimEngineTraffic, TimestampsCountFromOpeningAndWrapAt60000) {
    Host host;
    host.send("Z1");
    host.openQuiet("frame 100 10ms 1 ++\n");
    host.runFor(59'980 * kMs);
    const auto frames = lines(host.runFor(40 * kMs));
    ASSERT_EQ(frames.size(), 4U); // due at 59990, 60000, 60010, 60020 ms
    EXPECT_EQ(frames[0].substr(frames[0].size() - 4), "EA56");
    EXPECT_EQ(frames[1].substr(frames[1].size() - 4), "0000");
    EXPECT_EQ(frames[2].substr(frames[2].size() - 4), "000A");
    EXPECT_EQ(frames[2].substr(0, 5), "t1001");
    EXPECT_EQ(frames[2].size(), 11U);

    host.send("Z0");
    const auto plain = lines(host.runFor(10 * kMs));
    ASSERT_EQ(plain.size(), 1U);
    EXPECT_EQ(plain[0].size(), 7U);
}

TEST(SimEngineTraffic, ScriptedPayloadsCountAndFixedBytesStay) {
    Host host;
    host.openQuiet("frame 12345678 100ms 4 AA ++ ?? \nremote 7DF 1s 2\n");
    std::vector<std::string> data;
    std::vector<std::string> remote;
    for (const auto& line : lines(host.runFor(250 * kMs))) {
        (line[0] == 'T' ? data : remote).push_back(line[0] == 'T' ? line.substr(10) : line);
    }
    ASSERT_EQ(data.size(), 3U); // at 0, 100 and 200 ms
    for (size_t i = 0; i < data.size(); ++i) {
        EXPECT_EQ(data[i].substr(0, 4), "AA0" + std::to_string(i));
        EXPECT_EQ(data[i].substr(6), "00");
    }
    EXPECT_THAT(remote, ElementsAre("r7DF2"));
}

TEST(SimEngineTraffic, DefaultVehicleIsVariedAndDeterministic) {
    Host a;
    Host b;
    for (Host* host : {&a, &b}) {
        host->send("S6");
        host->send("O");
    }
    std::string outA;
    std::string outB;
    for (int i = 0; i < 1500; ++i) {
        outA += a.runFor(7 * kMs);
        outB += b.runFor(7 * kMs);
    }
    EXPECT_EQ(outA, outB);
    std::set<std::string> ids;
    bool remote = false;
    for (const auto& line : lines(outA)) {
        ids.insert(line.substr(0, line[0] == 'T' || line[0] == 'R' ? 9 : 4));
        remote = remote || line[0] == 'r' || line[0] == 'R';
    }
    EXPECT_GE(ids.size(), 25U);
    EXPECT_TRUE(remote);
    EXPECT_TRUE(ids.contains("T0CF00400"));

    Host other;
    other.engine.loadScenario("seed 99\n", nullptr);
    other.send("S6");
    other.send("O");
    std::string outOther;
    for (int i = 0; i < 1500; ++i) {
        outOther += other.runFor(7 * kMs);
    }
    EXPECT_NE(outA, outOther);
}

TEST(SimEngineTraffic, LoadStreamDeliversTheRateAndCountsEveryFrame) {
    Host host;
    host.openQuiet();
    host.engine.setRate(20'000);
    std::string out;
    for (int i = 0; i < 100; ++i) {
        out += host.runFor(10 * kMs);
    }
    const auto frames = lines(out);
    EXPECT_NEAR(static_cast<double>(frames.size()), 20'000.0, 1.0);
    EXPECT_EQ(host.engine.framesSentToHost(), frames.size());
    EXPECT_EQ(host.engine.overruns(), 0U);

    std::map<std::pair<std::string, int>, uint64_t> counted;
    for (const auto& line : frames) {
        const bool ext = line[0] == 'T';
        const size_t idLength = ext ? 8 : 3;
        const int dlc = line[1 + idLength] - '0';
        ASSERT_EQ(line.size(), 2 + idLength + 2 * static_cast<size_t>(dlc)) << line;
        ++counted[{line.substr(1, idLength), dlc}];
    }
    EXPECT_EQ(counted, host.engine.sentCounts());
    EXPECT_EQ(counted.size(), TrafficGenerator::kLoadIds);
}

TEST(SimEngineTraffic, SustainsAHundredThousandFramesPerSecond) {
    Host host;
    host.openQuiet();
    host.engine.setRate(100'000);
    size_t count = 0;
    for (int i = 0; i < 50; ++i) {
        count += lines(host.runFor(20 * kMs)).size();
    }
    EXPECT_NEAR(static_cast<double>(count), 100'000.0, 1.0);
    EXPECT_EQ(host.engine.overruns(), 0U);
}

TEST(SimEngineTraffic, AnUnreadQueueOverrunsInsteadOfGrowing) {
    Host host;
    host.openQuiet();
    host.engine.setRate(100'000);
    for (int i = 0; i < 30; ++i) {
        host.now += kSecond;
        host.engine.advance(host.now);
    }
    EXPECT_LE(host.engine.pendingHostBytes(), AdapterEngine::kMaxHostQueueBytes);
    EXPECT_GT(host.engine.overruns(), 0U);
    // Once read, traffic flows again.
    host.engine.takeHostBytes();
    EXPECT_FALSE(host.runFor(10 * kMs).empty());
}

TEST(SimEngineTraffic, ALongPauseOrAClockStepBackDoesNotFloodOrRepeat) {
    Host host;
    host.openQuiet("frame 100 10ms 0\n");
    EXPECT_LE(lines(host.runFor(3600 * kSecond)).size(), 101U); // at most the last second
    const int64_t before = host.now;
    host.now -= 10 * kSecond;
    EXPECT_TRUE(host.runFor(kSecond).empty());
    host.now = before;
    EXPECT_EQ(lines(host.runFor(100 * kMs)).size(), 10U);
}

TEST(SimEngineFilter, StandardFramesCompareIdentifierAndRtrInTheTopBits) {
    const uint32_t code = 0x123U << 21;
    const uint32_t exact = 0x000FFFFF; // identifier and RTR must match; data bits are not compared
    EXPECT_TRUE(acceptancePasses(standard(0x123), code, exact));
    EXPECT_FALSE(acceptancePasses(standard(0x124), code, exact));
    EXPECT_FALSE(acceptancePasses(standard(0x123, true), code, exact));
    EXPECT_TRUE(acceptancePasses(standard(0x123, true), code, exact | 0x00100000));
    EXPECT_TRUE(acceptancePasses(standard(0x123), code | 0xFFFF, exact & ~0xFFFFU));
    // Low three identifier bits free: 0x120..0x127 pass.
    EXPECT_TRUE(acceptancePasses(standard(0x127), 0x120U << 21, 0x7U << 21 | 0x1FFFFF));
    EXPECT_FALSE(acceptancePasses(standard(0x128), 0x120U << 21, 0x7U << 21 | 0x1FFFFF));
    EXPECT_TRUE(acceptancePasses(standard(0x7FF, true), 0, 0xFFFFFFFF));
}

TEST(SimEngineFilter, ExtendedFramesCompareIdentifierAndRtrBelowBitThree) {
    const uint32_t code = 0x18FEF100U << 3;
    EXPECT_TRUE(acceptancePasses(extended(0x18FEF100), code, 0x3));
    EXPECT_FALSE(acceptancePasses(extended(0x18FEF101), code, 0x3));
    EXPECT_FALSE(acceptancePasses(extended(0x18FEF100, true), code, 0x3));
    EXPECT_TRUE(acceptancePasses(extended(0x18FEF100, true), code, 0x7));
    EXPECT_TRUE(acceptancePasses(extended(0x18FEF1FF), code, 0xFF << 3 | 0x7));
    EXPECT_FALSE(acceptancePasses(standard(0x18F), code, 0x3));
}

TEST(SimEngineFilter, AdapterDropsWhatTheRegistersReject) {
    Host host;
    host.send("m001FFFFF");
    host.send("M" + std::string("24600000")); // standard 0x123
    host.openQuiet("frame 123 10ms 0\nframe 124 10ms 0\nframe 00000123 10ms 0\n");
    const auto frames = lines(host.runFor(100 * kMs)); // due at 0, 10, ..., 100 ms
    ASSERT_EQ(frames.size(), 11U);
    for (const auto& line : frames) {
        EXPECT_EQ(line, "t1230");
    }
    EXPECT_EQ(host.engine.framesDroppedByFilter(), 22U);
}

TEST(SimEngineFaults, SilentAndBellOnlyAdapters) {
    Host host;
    host.send("S6");
    host.send("O");
    host.engine.setFault(Fault::Silent, true);
    EXPECT_EQ(host.send("v"), "");
    EXPECT_EQ(host.runFor(kSecond), "");
    EXPECT_EQ(host.engine.commandLog().back(), "v");
    host.engine.setFault(Fault::Silent, false);
    EXPECT_NE(host.runFor(kSecond), "");

    Host bells;
    bells.engine.setFault(Fault::BellOnly, true);
    for (const char* command : {"v", "V", "S6", "O", "t1230"}) {
        EXPECT_EQ(bells.send(command), "\a") << command;
    }
    EXPECT_TRUE(bells.engine.bitrateCommand().empty());
    EXPECT_FALSE(bells.engine.channelOpen());
}

TEST(SimEngineFaults, LowerCaseIdentifiersAndSplitReads) {
    Host host;
    host.openQuiet("frame 1AB 10ms 1 CD\nframe 0ABCDEF0 10ms 0\n");
    host.engine.setFault(Fault::LowerCaseIds, true);
    EXPECT_THAT(lines(host.runFor(10 * kMs)), ElementsAre("t1ab1cd", "T0abcdef00", "t1ab1cd", "T0abcdef00"));
    EXPECT_EQ(host.engine.sentCounts().count({"1ab", 1}), 1U);

    EXPECT_EQ(host.engine.nextChunkLimit(), SIZE_MAX);
    host.engine.setFault(Fault::SplitReplies, true);
    for (int i = 0; i < 100; ++i) {
        const size_t limit = host.engine.nextChunkLimit();
        EXPECT_GE(limit, 1U);
        EXPECT_LE(limit, 7U);
    }
}

TEST(SimEngineFaults, GarbageOnlyPrecedesLinesAndNeverFakesAReply) {
    Host host;
    host.openQuiet("frame 321 1ms 2 11 22\n");
    host.engine.setFault(Fault::Garbage, true);
    const std::string out = host.runFor(kSecond);
    EXPECT_EQ(out.find('\a'), std::string::npos);
    size_t dirty = 0;
    const auto all = lines(out);
    ASSERT_EQ(all.size(), 1001U);
    for (const auto& line : all) {
        EXPECT_TRUE(line.ends_with("t32121122")) << line;
        dirty += line.size() > 9 ? 1 : 0;
    }
    EXPECT_GT(dirty, 50U);
    EXPECT_LT(dirty, 250U);
}

TEST(SimEngineFaults, AVanishedAdapterIsGoneForGood) {
    Host host;
    host.openQuiet("frame 100 10ms 0\n");
    host.runFor(100 * kMs);
    host.engine.hostWrite("v", host.now);
    host.engine.setFault(Fault::Vanish, true);
    host.engine.setFault(Fault::Vanish, false);
    EXPECT_TRUE(host.engine.vanished());
    EXPECT_FALSE(host.engine.channelOpen());
    EXPECT_EQ(host.send("v"), "");
    EXPECT_EQ(host.runFor(kSecond), "");
    EXPECT_EQ(host.engine.binaryInit(0x001C, host.now), BinaryStatus::Gone);
    EXPECT_FALSE(host.engine.lastError().empty());
}

TEST(SimEngineBinary, SharesTheBusWithTheAsciiSide) {
    AdapterEngine engine;
    ASSERT_TRUE(engine.loadScenario("vehicle none\nframe 18FEF100 10ms 8 01 02 03 04 05 06 07 ++\n"
                                    "answer-rtr 7E0 2 AA BB\n",
                                    nullptr));
    SimFrame frame;
    EXPECT_FALSE(engine.binaryRead(frame, 0));
    EXPECT_EQ(engine.binaryWrite(standard(0x100), 0), BinaryStatus::NotOpen);
    ASSERT_EQ(engine.binaryInit(0x031C, 0), BinaryStatus::Ok);
    EXPECT_EQ(engine.binaryInit(0x031C, 0), BinaryStatus::AlreadyOpen);
    EXPECT_EQ(engine.binaryBtr(), 0x031C);
    engine.hostWrite("O\r", 0);
    EXPECT_EQ(engine.takeHostBytes(), "\a");

    int64_t received = 0;
    ASSERT_TRUE(engine.binaryRead(frame, 25 * kMs, &received));
    EXPECT_TRUE(frame.extended);
    EXPECT_EQ(frame.id, 0x18FEF100U);
    EXPECT_EQ(frame.data[7], 0);
    EXPECT_EQ(received, 0);
    EXPECT_EQ(engine.pendingBinaryFrames(), 2U);

    SimFrame request = standard(0x7E0, true);
    request.dlc = 2;
    EXPECT_EQ(engine.binaryWrite(request, 25 * kMs), BinaryStatus::Ok);
    SimFrame bad = standard(0x800);
    EXPECT_EQ(engine.binaryWrite(bad, 25 * kMs), BinaryStatus::BadFrame);
    engine.binaryRead(frame, 25 * kMs);
    engine.binaryRead(frame, 25 * kMs);
    ASSERT_TRUE(engine.binaryRead(frame, 25 * kMs));
    EXPECT_EQ(frame.id, 0x7E0U);
    EXPECT_FALSE(frame.remote);
    EXPECT_EQ(frame.data[1], 0xBB);
    EXPECT_EQ(engine.transmittedFrames().back().dlc, 2);

    engine.binaryClose();
    EXPECT_FALSE(engine.channelOpen());
    EXPECT_EQ(engine.pendingBinaryFrames(), 0U);
}

TEST(SimScenario, AFullFileSetsUpTheAdapter) {
    Host host;
    std::string error;
    ASSERT_TRUE(host.engine.loadScenario("# demo\r\n"
                                         "version V0205   # firmware 2.05\n"
                                         "version v none\n"
                                         "seed 7\n"
                                         "vehicle none\n"
                                         "\n"
                                         "rate 1000\n"
                                         "frame 7FF 100ms 0\n"
                                         "at 1s fault silent\n"
                                         "at 2s clear silent\n"
                                         "at 2500ms rate 0\n"
                                         "at 3s vanish\n",
                                         &error))
        << error;
    EXPECT_EQ(host.send("v"), "\a");
    EXPECT_EQ(host.send("V"), "V0205\r");
    EXPECT_EQ(host.engine.rate(), 1000.0);
    host.send("S6");
    host.send("O");
    // Load every 1 ms and the frame every 100 ms, both from the opening on the dot.
    EXPECT_EQ(lines(host.runFor(999 * kMs)).size(), 1000U + 10U);
    EXPECT_EQ(host.runFor(kSecond), "");                        // silent from 1 s to 2 s
    EXPECT_EQ(lines(host.runFor(401 * kMs)).size(), 401U + 5U); // 2.0 s to 2.4 s
    EXPECT_EQ(lines(host.runFor(500 * kMs)).size(), 99U + 5U);  // load stops at 2.5 s
    EXPECT_FALSE(host.engine.vanished());
    host.runFor(100 * kMs);
    EXPECT_TRUE(host.engine.vanished());
}

TEST(SimScenario, ErrorsNameTheLineAndChangeNothing) {
    struct Case {
        std::string text;
        std::string error;
    };
    // Every case starts with "vehicle none", so a bad file that was half applied would show.
    for (const Case& c : std::initializer_list<Case>{
             {"explode\n", "line 2: unknown directive 'explode'"},
             {"# ok\n\nframe 800 10ms 0\n", "line 4: bad identifier '800'"},
             {"frame 123 0ms 8\n", "line 2: period"},
             {"frame 123 10 8\n", "line 2: period"},
             {"frame 123 10ms 9\n", "line 2: DLC"},
             {"frame 123 10ms 1 11 22\n", "line 2: more data bytes than the DLC"},
             {"frame 123 10ms 2 GG\n", "line 2: bad data byte 'GG'"},
             {"frame 20000000 10ms 0\n", "line 2: bad identifier"},
             {"remote 123 10ms 2 11\n", "line 2: remote wants"},
             {"answer-rtr 123 2 ++\n", "line 2: bad data byte '++'"},
             {"at 5s explode\n", "line 2: at wants"},
             {"at 5s clear vanish\n", "line 2: a vanished adapter"},
             {"at soon vanish\n", "line 2: at wants"},
             {"rate -1\n", "line 2: rate"},
             {"rate 2000000\n", "line 2: rate"},
             {"version X1013\n", "line 2: version"},
             {"fault melt\n", "line 2: unknown fault"},
             {"vehicle maybe\n", "line 2: vehicle"},
             {"frame \x01\xFF 10ms 0\n", "line 2: bad identifier '\?\?'"},
         }) {
        AdapterEngine engine;
        std::string error;
        EXPECT_FALSE(engine.loadScenario("vehicle none\n" + c.text, &error)) << c.text;
        EXPECT_THAT(error, HasSubstr(c.error)) << c.text;
        EXPECT_EQ(engine.lastError(), error);
        engine.hostWrite("S6\rO\r", 0);
        engine.advance(kSecond);
        EXPECT_GT(engine.framesSentToHost(), 100U) << c.text;
    }
    std::string error;
    EXPECT_FALSE(parseScenario(std::string(kMaxScenarioBytes + 1, '#'), &error));
    EXPECT_THAT(error, HasSubstr("1 MiB"));
    EXPECT_TRUE(parseScenario("", &error));
}

TEST(SimScenario, DurationsNeedAUnitAndStayInRange) {
    EXPECT_EQ(parseDurationUs("100ms"), 100'000);
    EXPECT_EQ(parseDurationUs("2s"), 2'000'000);
    EXPECT_EQ(parseDurationUs("250us"), 250);
    for (const char* bad : {"1.5s", "ms", "10", "-5ms", "5 ms", "99999999999999999999s", "1000000s"}) {
        EXPECT_FALSE(parseDurationUs(bad)) << bad;
    }
}
