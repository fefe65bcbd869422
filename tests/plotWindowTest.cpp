// The plot window, offscreen: live frames through the hub, the view's range, the cursor, pause, axes,
// export, and plots of the Tracer's lines.

#include "app/frMain.h"
#include "plots/frmPlot.h"
#include "plots/frmPlotTrace.h"
#include "plots/plotHub.h"
#include "plots/plotWindows.h"
#include "receive/tracerView.h"
#include "traces/logFrame.h"

#include "support/fileText.h"
#include "support/mainWindowFixture.h"
#include "support/scriptedPrompts.h"
#include "support/tempDir.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSpinBox>
#include <qcustomplot.h>

#include <cmath>
#include <limits>

namespace korvel {
namespace {

CanFrame liveFrame(const char* id, const char* data, int32_t ms) {
    CanFrame f;
    f.idText = ShortText<8>(id);
    f.isExtended = std::string_view(id).size() > 3;
    f.dataText = ShortText<23>(data);
    f.timestampMs = ms;
    return f;
}

class PlotWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        PlotContext context;
        context.hub = &hub;
        context.ringPoints = 200000;
        context.tracerLines = [this](const std::function<void(std::string_view)>& visit) {
            tracerTextLines(tracer)(visit);
        };
        context.showTracerLine = [this](int line) {
            shownLines.push_back(line);
        };
        window = new frmPlot(std::move(context), 1);
        window->resize(600, 400);
        window->show();
        window->addByteTrace({0x100, false, ByteField::byte, 0, 0, false});
        window->addByteTrace({0x200, false, ByteField::wordBigEndian, 0, 0, true});
    }
    void TearDown() override { delete window; }

    // `count` frames of each trace, one a millisecond; the word is negative after the first half.
    void feed(int count, int startMs = 0) {
        char data[32];
        for (int i = 0; i < count; ++i) {
            const int ms = startMs + i;
            std::snprintf(data, sizeof data, "%02X", i % 256);
            hub.frameReceived(liveFrame("100", data, ms % 60000), true, ms / 1000.0);
            std::snprintf(data, sizeof data, "%s", i < count / 2 ? "00 10" : "FF F0");
            hub.frameReceived(liveFrame("200", data, ms % 60000), true, ms / 1000.0);
        }
    }

    PlotHub hub;
    std::string tracer;
    std::vector<int> shownLines;
    frmPlot* window = nullptr;
    test::PromptsScope prompts;
    test::TempDir tmp;
};

TEST_F(PlotWindowTest, LiveDataIsDecimatedFollowedAndPausedWhileCollecting) {
    feed(100000);
    window->refresh();
    // The newest data stays in view with the span unchanged, at most four points a pixel column.
    EXPECT_NEAR(window->visibleTo(), 99.999, 1e-9);
    EXPECT_NEAR(window->visibleTo() - window->visibleFrom(), 10, 1e-9);
    const int columns = window->plotView()->axisRect()->width();
    EXPECT_GT(window->drawnPoints(0), 0);
    EXPECT_LE(window->drawnPoints(0), 4 * columns + 2);

    window->setPaused(true);
    feed(1000, 100000);
    window->refresh();
    EXPECT_NEAR(window->visibleTo(), 99.999, 1e-9);
    EXPECT_EQ(window->session().trace(0).ring.size(), 101000u);
    window->setPaused(false);
    EXPECT_NEAR(window->visibleTo(), 100.999, 1e-9);

    // The user's scroll stops the following until End; the keys scroll and zoom.
    QKeyEvent left(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier);
    QCoreApplication::sendEvent(window->plotView(), &left);
    EXPECT_NEAR(window->visibleTo(), 99.999, 1e-9);
    feed(10, 101000);
    window->refresh();
    EXPECT_NEAR(window->visibleTo(), 99.999, 1e-9);
    QKeyEvent zoomIn(QEvent::KeyPress, Qt::Key_Plus, Qt::NoModifier);
    QCoreApplication::sendEvent(window->plotView(), &zoomIn);
    EXPECT_NEAR(window->visibleTo() - window->visibleFrom(), 5, 1e-9);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QCoreApplication::sendEvent(window->plotView(), &end);
    EXPECT_NEAR(window->visibleTo(), 101.009, 1e-9);
    QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
    QCoreApplication::sendEvent(window->plotView(), &home);
    EXPECT_NEAR(window->visibleFrom(), 0, 1e-9);

    // A window resized to one pixel still draws a defined, small result.
    window->resize(1, 1);
    window->setTimeRange(0, 200);
    EXPECT_LE(window->drawnPoints(0), 4 * std::max(window->plotView()->axisRect()->width(), 1) + 2);
}

TEST_F(PlotWindowTest, CursorReadsEveryTraceAndAxesAreSharedOrOwn) {
    feed(2000);
    window->placeCursor(1.5);
    EXPECT_EQ(window->cursorText(), "1.500 s   100 byte 0: 220   200 word 0-1 BE signed: -16");
    window->placeCursor(-1);
    EXPECT_EQ(window->cursorText(), "-1.000 s   100 byte 0: -   200 word 0-1 BE signed: -");
    EXPECT_TRUE(shownLines.empty()); // live data has no Tracer lines

    QCPAxisRect* rect = window->plotView()->axisRect();
    EXPECT_EQ(rect->axisCount(QCPAxis::atLeft), 1);
    window->setSharedAxis(false);
    EXPECT_EQ(rect->axisCount(QCPAxis::atLeft), 2);
    window->setTimeRange(0, 2);
    EXPECT_LT(window->plotView()->graph(1)->valueAxis()->range().upper, 100);
    // Remove Trace takes the trace picked in the legend, not the last one.
    window->plotView()->legend->itemWithPlottable(window->plotView()->graph(0))->setSelected(true);
    window->findChild<QAction*>(QStringLiteral("actRemoveTrace"))->trigger();
    EXPECT_EQ(window->session().trace(0).name, "200 word 0-1 BE signed");
    EXPECT_EQ(rect->axisCount(QCPAxis::atLeft), 1);
    window->setSharedAxis(true);
    EXPECT_EQ(window->plotView()->graphCount(), 1);
}

TEST_F(PlotWindowTest, ExportsPngAndCsvAndReportsAFailedSave) {
    feed(10);
    const QString png = QString::fromStdString(tmp.file("plot.png"));
    ASSERT_TRUE(window->exportPng(png));
    EXPECT_GT(QFileInfo(png).size(), 0);
    const QString csv = QString::fromStdString(tmp.file("plot.csv"));
    ASSERT_TRUE(window->exportCsv(csv));
    const std::string text = test::fileText(csv.toStdString());
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "Time (s),100 byte 0,200 word 0-1 BE signed\r\n");
    EXPECT_NE(text.find("0.009,9,-16\r\n"), std::string::npos);
    EXPECT_FALSE(window->exportCsv(QString::fromStdString(tmp.file("no/such/folder/plot.csv"))));
    ASSERT_EQ(prompts.log.messages.size(), 1);
    EXPECT_TRUE(prompts.log.messages[0].startsWith("Can't save "));
}

TEST_F(PlotWindowTest, ATracerPlotRunsOverItsOwnTimesAndAClickFindsTheLine) {
    tracer = "59.000 100      1 01 \r\n"
             "59.500 300      1 07 \r\n"
             "00.250 100      1 02 \r\n"
             "00.260 200      2 00 05 \r\n";
    feed(10);
    window->setSource(frmPlot::Source::tracer);
    EXPECT_EQ(window->session().trace(0).ring.size(), 2u);
    EXPECT_NEAR(window->visibleFrom(), 59.0, 1e-9);
    EXPECT_NEAR(window->visibleTo(), 60.26, 1e-9);
    window->placeCursor(60.24);
    ASSERT_EQ(shownLines.size(), 1u);
    EXPECT_EQ(shownLines[0], 2);
    // Frames received meanwhile do not reach a plot of a recording.
    feed(10);
    EXPECT_EQ(window->session().trace(0).ring.size(), 2u);
    window->setSource(frmPlot::Source::live);
    feed(10);
    EXPECT_EQ(window->session().trace(0).ring.size(), 10u);
}

TEST(PlotTraceDialog, DescribesOnlyFieldsThatFit) {
    frmPlotTrace dialog;
    ByteSource source;
    EXPECT_FALSE(dialog.source(source));
    dialog.txtId->setText("1a5");
    dialog.cboField->setCurrentIndex(2);
    EXPECT_EQ(dialog.spnByte->maximum(), 6);
    dialog.spnByte->setValue(6);
    ASSERT_TRUE(dialog.source(source));
    EXPECT_EQ(source, (ByteSource{0x1A5, false, ByteField::wordBigEndian, 6, 0, false}));
    dialog.txtId->setText("800");
    EXPECT_FALSE(dialog.source(source));
}

class PlotMainWindowTest : public test::MainWindowFixture {};

TEST_F(PlotMainWindowTest, ToolbarOpensPlotsAndATracerClickMovesTheCaret) {
    window = openWindow();
    window->runToolbarCommand(QStringLiteral("plot"));
    window->findChild<QAction*>(QStringLiteral("mnuPlot"))->trigger();
    ASSERT_EQ(window->plots().windows().size(), 2u);
    frmPlot* plot = window->plots().windows()[0];
    EXPECT_EQ(plot->windowTitle(), "Plot 1");

    window->tracerView()->appendTracerText(
        "01.000 123      1 05 \r\n01.500 456      1 01 \r\n02.000 123      1 06 \r\n");
    plot->addByteTrace({0x123, false, ByteField::byte, 0, 0, false});
    plot->setSource(frmPlot::Source::tracer);
    plot->placeCursor(1.9);
    EXPECT_EQ(window->tracerView()->caretLine(), 2);
    window.reset(); // the plot windows close with the main window
}

} // namespace
} // namespace korvel
