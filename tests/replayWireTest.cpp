// Replayed lines on the wire of all three device kinds: the virtual adapter on a pseudo-terminal, and the
// fake FTDI and PEAK libraries loaded by the real bindings.

#include "support/linkFixture.h"
#include "traces/replay.h"

#include <QCoreApplication>

#include <gmock/gmock.h>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class ReplayWireTest : public test::LinkFixture, public ::testing::WithParamInterface<int> {
protected:
    bool send(const char* line) {
        const auto frame = parseTraceLine(line);
        EXPECT_TRUE(frame) << line;
        return frame && sendTraceFrame(link->transport(), link->transport().deviceKind(), *frame);
    }
};

} // namespace

TEST_P(ReplayWireTest, ExtendedDataAndStandardRemoteLinesReachTheBus) {
    useDevice(GetParam());
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    engine().clearCommandLog();
    const std::size_t before = engine().transmittedFrames().size();

    EXPECT_TRUE(send("12.345 1ABCDEF0 2 11 22     "));
    EXPECT_TRUE(send("12.400 123 0 RTR"));
    EXPECT_TRUE(send("12.500 7ff 8 01 02 03 04 05 06 07 08 comment"));
    for (int i = 0; i < 100 && engine().transmittedFrames().size() < before + 3; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    const std::vector<sim::SimFrame> frames = engine().transmittedFrames();
    ASSERT_EQ(frames.size(), before + 3);
    const sim::SimFrame& extended = frames[before];
    EXPECT_EQ(extended.id, 0x1ABCDEF0U);
    EXPECT_TRUE(extended.extended);
    EXPECT_FALSE(extended.remote);
    EXPECT_EQ(extended.dlc, 2);
    EXPECT_EQ(extended.data[0], 0x11);
    EXPECT_EQ(extended.data[1], 0x22);
    const sim::SimFrame& remote = frames[before + 1];
    EXPECT_EQ(remote.id, 0x123U);
    EXPECT_FALSE(remote.extended);
    EXPECT_TRUE(remote.remote);
    EXPECT_EQ(remote.dlc, 0);
    EXPECT_EQ(frames[before + 2].data[7], 0x08);
    if (GetParam() != devicePeakUsb) {
        EXPECT_THAT(adapterLog(), ElementsAre("T1ABCDEF021122", "r1230", "t7ff80102030405060708"));
    }
}

TEST_P(ReplayWireTest, AClosedLinkRefusesTheWrite) {
    useDevice(GetParam());
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    link->transport().closeTransport();
    EXPECT_FALSE(send("00.000 123 0"));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, ReplayWireTest, ::testing::Values(deviceCom, deviceUsb, devicePeakUsb),
                         [](const auto& info) { return std::string(kDeviceNames[info.param]); });
