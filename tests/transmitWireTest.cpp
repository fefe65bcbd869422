// Transmit rows on the wire of all three device kinds: the serial kind through a pseudo-terminal to the
// virtual adapter, the FTDI and PEAK kinds through the real bindings loading the fake vendor libraries.

#include "core/basGlobal.h"
#include "sim/simFrame.h"
#include "support/linkFixture.h"
#include "transmit/transmitList.h"
#include "transmit/transmitPane.h"
#include "transmit/txFieldRules.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include <gmock/gmock.h>

using namespace korvel;
using ::testing::ElementsAre;

namespace {

class TransmitWireTest : public test::LinkFixture, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        useDevice(GetParam());
        list.setHooks({[this](std::string_view id, std::string_view dlc, std::string_view data, int) {
            return link->transmit(id, dlc, data);
        }});
    }

    void addRow(const std::string& id, const std::string& dlc, const std::string& data) {
        list.addTxRow();
        list.editSelected([&](TxRow& r) {
            r.id = id;
            r.dlc = dlc;
            r.data = data;
        });
    }

    // The frames the adapter took from the bus side of the host, once it has read what was written.
    std::vector<sim::SimFrame> framesOnTheBus(std::size_t expected) {
        for (int i = 0; i < 100 && engine().transmittedFrames().size() < expected; ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return engine().transmittedFrames();
    }

    TransmitList list{basGlobal};
};

sim::SimFrame frame(uint32_t id, bool extended, bool remote, uint8_t dlc, std::array<uint8_t, 8> data = {}) {
    return {id, extended, remote, dlc, data};
}

} // namespace

TEST_P(TransmitWireTest, DataAndRemoteRowsOfBothIdentifierKindsReachTheBusExactly) {
    addRow("7FF", "8", "01 02 03 04 05 06 07 08");
    addRow("1ABCDEF0", "2", "AA BB" + std::string(18, ' '));
    addRow("123", "0", "RTR");
    addRow("00000456", "4", "RTR");
    addRow("12", "8", "00 00 00 00 00 00 00 00"); // malformed: never sent
    addRow("0aB", "1", "cd");                     // pasted lower case
    list.sendSelectedOnce();
    EXPECT_EQ(list.row(5).count, "0"); // not connected yet

    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    engine().clearCommandLog();
    for (int row = 1; row <= list.rowCount(); ++row)
        list.transmitRow(row);

    const auto frames = framesOnTheBus(5);
    const bool peak = GetParam() == devicePeakUsb;
    EXPECT_THAT(frames,
                ElementsAre(frame(0x7FF, false, false, 8, {1, 2, 3, 4, 5, 6, 7, 8}),
                            frame(0x1ABCDEF0, true, false, 2, {0xAA, 0xBB}), frame(0x123, false, true, 0),
                            // The ASCII line of a remote frame always says length 0.
                            frame(0x456, true, true, peak ? 4 : 0), frame(0x0AB, false, false, 1, {0xCD})));
    if (!peak) {
        EXPECT_THAT(adapterLog(),
                    ElementsAre("t7FF80102030405060708", "T1ABCDEF02AABB", "r1230", "R000004560", "t0AB1CD"));
    }
    EXPECT_EQ(list.row(0).count, "1");
    EXPECT_EQ(list.row(4).count, "0");

    // The adapter notes when each frame arrived, for timing measurements.
    const auto& arrivals = engine().arrivals();
    ASSERT_EQ(arrivals.size(), frames.size());
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        EXPECT_EQ(arrivals[i].frame, frames[i]);
        if (i > 0) {
            EXPECT_GE(arrivals[i].atUs, arrivals[i - 1].atUs);
        }
    }
}

// Typing 1000 over a running row's period of 100, a digit every 250 ms, on the real field: the adapter
// gets what a period of 100 allows until Enter, then what 1000 allows, never a burst at 1, 10 or 100 ms.
TEST_P(TransmitWireTest, APeriodTypedIntoARunningRowSendsNothingUntilItIsComplete) {
    TransmitPane pane(basGlobal);
    TransmitList& rows = pane.list();
    int64_t nowUs = 1'000'000;
    rows.setClock([&nowUs] { return nowUs; });
    rows.setHooks({[this](std::string_view id, std::string_view dlc, std::string_view data, int) {
        return link->transmit(id, dlc, data);
    }});
    const auto run = [&](int milliseconds) {
        for (int t = 0; t < milliseconds; ++t) {
            nowUs += 1000;
            rows.runDueTimers(nowUs);
        }
    };
    // What the Count column says was sent, once the adapter has taken all of it.
    const auto framesAtTheAdapter = [&] {
        const auto count = static_cast<std::size_t>(std::stoul(rows.row(0).count));
        return std::pair{count, framesOnTheBus(count).size()};
    };
    link->connectCommand();
    ASSERT_TRUE(basGlobal.isConnected);
    rows.addTxRow();
    auto* period = pane.findChild<QLineEdit*>(QStringLiteral("txtPeriod"));
    period->setText(QStringLiteral("100"));
    emit pane.findChild<QComboBox*>(QStringLiteral("coTxMode"))->activated(txModePeriodic);

    period->selectAll();
    for (const char digit : std::string("1000")) {
        QTest::keyClick(period, digit);
        run(250);
    }
    EXPECT_EQ(framesAtTheAdapter(), std::pair(std::size_t{10}, std::size_t{10}));
    QTest::keyClick(period, Qt::Key_Return);
    EXPECT_EQ(rows.row(0).mode, "1000");
    run(2000);
    EXPECT_EQ(framesAtTheAdapter(), std::pair(std::size_t{12}, std::size_t{12}));
}

INSTANTIATE_TEST_SUITE_P(AllKinds, TransmitWireTest, ::testing::Values(deviceCom, deviceUsb, devicePeakUsb),
                         [](const auto& info) {
                             return info.param == deviceCom ? "Serial"
                                                            : (info.param == deviceUsb ? "Ftdi" : "Peak");
                         });
