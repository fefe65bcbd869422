#include "core/iniFile.h"
#include "receive/detailsData.h"
#include "receive/frDetails.h"
#include "receive/monitorModel.h"
#include "support/tempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace korvel;

TEST(DetailsData, BytesAndBothByteOrders) {
    const DetailsBytes bytes = detailsBytes(u"12 34");
    EXPECT_EQ(bytes.value[0], 18);
    EXPECT_EQ(bytes.value[1], 52);
    EXPECT_EQ(detailsIntegers(bytes.value, DetailsByteOrder::motorola)[0], 4660);
    EXPECT_EQ(detailsIntegers(bytes.value, DetailsByteOrder::intel)[0], 13330);
    EXPECT_EQ(detailsIntegers(bytes.value, DetailsByteOrder::motorola)[1], 52 * 256);
    EXPECT_EQ(detailsIntegers(bytes.value, DetailsByteOrder::intel)[1], 52);
}

TEST(DetailsData, ShortMalformedAndRemoteDataGiveEmptyBoxesAndZeros) {
    const DetailsBytes three = detailsBytes(u"01 02 03 ");
    EXPECT_EQ(three.hex[2], "03");
    for (std::size_t i = 3; i < 8; ++i) {
        EXPECT_EQ(three.hex[i], "");
        EXPECT_EQ(three.value[i], 0);
    }
    EXPECT_EQ(detailsIntegers(three.value, DetailsByteOrder::motorola)[2], 3 * 256);

    const DetailsBytes remote = detailsBytes(u"RTR");
    EXPECT_EQ(remote.hex[0], "RT");
    EXPECT_EQ(remote.hex[1], "");
    EXPECT_EQ(remote.value[0], 0);

    const DetailsBytes odd = detailsBytes(u"f\u00e4 zz 7");
    EXPECT_EQ(odd.value[0], 15);
    EXPECT_EQ(odd.value[1], 0);
    EXPECT_EQ(odd.value[2], 7);
}

TEST(DetailsData, TwipsSurviveTheRoundTripAtAnyDpi) {
    for (const double dpi : {72.0, 96.0, 110.0, 120.0, 144.0, 157.5, 0.0})
        for (const int pixels : {-1913, -1, 0, 1, 37, 640, 2559})
            EXPECT_EQ(twipsToPixels(pixelsToTwips(pixels, dpi), dpi), pixels) << dpi << " " << pixels;
    EXPECT_EQ(pixelsToTwips(100, 96), 1500);
}

TEST(DetailsData, PositionIsKeptInItsSectionBesideOtherSettings) {
    test::TempDir dir;
    const std::string ini = dir.file("Korvel.ini");
    ASSERT_TRUE(writeIniString(ini, "Options", "Device", "1"));
    EXPECT_EQ(readDetailsPosition(ini).top, 0);
    ASSERT_TRUE(writeDetailsPosition(ini, {1500, -300}));
    const DetailsPosition read = readDetailsPosition(ini);
    EXPECT_EQ(read.top, 1500);
    EXPECT_EQ(read.left, -300);
    EXPECT_EQ(readIniString(ini, "PositionDetails", "Left"), "-300");
    EXPECT_EQ(readIniString(ini, "Options", "Device"), "1");
}

namespace {

MonitorRow monitorRow(const char* id, const char* data, const char* comment) {
    MonitorRow r;
    r.id = id;
    r.data = data;
    r.comment = comment;
    return r;
}

void addRow(MonitorModel& model, const MonitorRow& row) {
    PollEntry entry;
    entry.idText.assign(row.id);
    entry.dataText.assign(row.data);
    entry.frameCount = 1;
    RowTimes times;
    updateMonitorRows(model, std::span<const PollEntry>(&entry, 1), times,
                      [&](std::string_view, std::string_view, std::string& out) { out = row.comment; });
}

} // namespace

TEST(DetailsWindow, ShowsBitsBytesAndIntegersAndSwitchesOrderWithoutRereading) {
    test::TempDir dir;
    frDetails window(dir.file("Korvel.ini"));
    window.showFrame(QStringLiteral("123"), QStringLiteral("FF 01"), QStringLiteral("Door"));
    EXPECT_EQ(window.windowTitle(), "Details (ID: 123)");
    EXPECT_EQ(window.idText(), "123");
    EXPECT_EQ(window.txtComment->text(), "Door");
    EXPECT_EQ(window.txtByteHex[0]->text(), "FF");
    EXPECT_EQ(window.txtByte[0]->text(), "255");
    EXPECT_EQ(window.barByte[0]->value(), 255);
    for (std::size_t b = 0; b < 8; ++b)
        EXPECT_TRUE(window.chBit[b]->isChecked()) << b;
    EXPECT_TRUE(window.chBit[8]->isChecked());
    EXPECT_FALSE(window.chBit[9]->isChecked());
    EXPECT_EQ(window.chBit[7]->text(), "h80");
    EXPECT_EQ(window.chBit[0]->text(), "h01");
    EXPECT_TRUE(window.optMotorola->isChecked());
    EXPECT_EQ(window.txtInteger[0]->text(), "65281");
    EXPECT_EQ(window.barInteger[0]->value(), 65281);

    window.Option1->click();
    EXPECT_EQ(window.txtInteger[0]->text(), "511");
    EXPECT_EQ(window.txtInteger[1]->text(), "1");
    window.showDetailsData(QStringLiteral("RTR"));
    EXPECT_EQ(window.txtByteHex[0]->text(), "RT");
    EXPECT_EQ(window.txtInteger[0]->text(), "0");
    EXPECT_EQ(window.txtComment->text(), "Door");
}

TEST(DetailsWindow, OpenDetailsNeedsASelectedRow) {
    test::TempDir dir;
    MonitorModel model;
    QPointer<frDetails> window;
    EXPECT_EQ(openDetails(window, model, 0, dir.file("Korvel.ini"), nullptr), nullptr);
    EXPECT_TRUE(window.isNull());

    addRow(model, monitorRow("7FF", "12 34", "DEC: 18 52"));
    EXPECT_EQ(openDetails(window, model, -1, dir.file("Korvel.ini"), nullptr), nullptr);
    frDetails* shown = openDetails(window, model, 0, dir.file("Korvel.ini"), nullptr);
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_FALSE(shown->isModal());
    EXPECT_EQ(shown->windowTitle(), "Details (ID: 7FF)");
    EXPECT_EQ(shown->txtComment->text(), "DEC: 18 52");
    EXPECT_EQ(shown->txtInteger[0]->text(), "4660");
    // A second call reuses the window.
    EXPECT_EQ(openDetails(window, model, 0, dir.file("Korvel.ini"), nullptr), shown);

    // The poll's refresh follows the selected row in the Monitor view only.
    addRow(model, monitorRow("7FF", "AB CD", "DEC: 171 205"));
    refreshDetails(shown, model, 0, true);
    EXPECT_EQ(shown->txtByteHex[0]->text(), "12");
    refreshDetails(shown, model, -1, false);
    EXPECT_EQ(shown->txtByteHex[0]->text(), "12");
    refreshDetails(shown, model, 0, false);
    EXPECT_EQ(shown->txtByteHex[0]->text(), "AB");
    EXPECT_EQ(shown->txtComment->text(), "DEC: 171 205");

    // A Tracer line shows the stored comment as typed, or empties the box.
    shown->showTracerFrame(QStringLiteral("123"), QStringLiteral("01 "), "ID123=Door <ASC>\r\n");
    EXPECT_EQ(shown->windowTitle(), "Details (ID: 123)");
    EXPECT_EQ(shown->txtComment->text(), "Door <ASC>");
    shown->showTracerFrame(QStringLiteral("456"), QStringLiteral("01 "), "ID123=Door <ASC>\r\n");
    EXPECT_EQ(shown->txtComment->text(), "");
    shown->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST(DetailsWindow, ReopensAtTheSavedPositionWithMotorolaOrder) {
    test::TempDir dir;
    const std::string ini = dir.file("Korvel.ini");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint target = screen.topLeft() + QPoint(120, 80);
    {
        auto* window = new frDetails(ini);
        window->show();
        window->move(target);
        window->Option1->click();
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    const int dpi = frDetails(ini).logicalDpiY();
    EXPECT_EQ(readDetailsPosition(ini).left, pixelsToTwips(target.x(), dpi));
    frDetails reopened(ini);
    EXPECT_EQ(reopened.pos(), target);
    EXPECT_TRUE(reopened.optMotorola->isChecked());

    // A position on no screen (a monitor since detached) is not used.
    ASSERT_TRUE(writeDetailsPosition(ini, {pixelsToTwips(-50000, dpi), pixelsToTwips(-50000, dpi)}));
    frDetails lost(ini);
    EXPECT_NE(lost.pos(), QPoint(-50000, -50000));
}

TEST(DetailsWindow, EveryControlIsNamedForTestsAndScreenReaders) {
    test::TempDir dir;
    frDetails window(dir.file("Korvel.ini"));
    for (QWidget* w : window.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QProgressBar*>(w);
        EXPECT_FALSE(control && (w->objectName().isEmpty() || w->accessibleName().isEmpty()))
            << w->metaObject()->className();
    }
    EXPECT_NE(window.findChild<QCheckBox*>(QStringLiteral("chBit63")), nullptr);
    EXPECT_NE(window.findChild<QLineEdit*>(QStringLiteral("txtInteger6")), nullptr);
}
