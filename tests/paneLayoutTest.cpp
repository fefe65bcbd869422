// The two panes: the split rule, the drag limits, full and half, the last column, and small windows.

#include "app/paneLayout.h"
#include "app/frMain.h"
#include "core/basGlobal.h"
#include "support/mainWindowFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace korvel;

TEST(PaneLayout, TheTransmitPaneKeepsTheSplitAndTheReceivePaneTakesTheRest) {
    const PaneHeights both = paneHeights(9000, 3000, 1500, false, false);
    EXPECT_TRUE(both.receiveShown && both.transmitShown);
    EXPECT_EQ(both.receive, 6000);
    EXPECT_EQ(both.transmit, 3000);
    EXPECT_EQ(paneHeights(12000, 3000, 1500, false, false).receive, 9000);

    // A window too small for the split: the receive pane keeps its minimum, the split is not forgotten.
    const PaneHeights small = paneHeights(4000, 3500, 1500, false, false);
    EXPECT_EQ(small.receive, kMinReceivePaneTwips);
    EXPECT_EQ(small.transmit, 4000 - kMinReceivePaneTwips);
    const PaneHeights tiny = paneHeights(1000, 3500, 1500, false, false);
    EXPECT_EQ(tiny.receive, 1000);
    EXPECT_EQ(tiny.transmit, 0);
    EXPECT_EQ(paneHeights(-50, 3000, 1500, false, false).receive, 0);

    // A split below what a drag may leave (the header strip and the editor) is shown at that limit.
    EXPECT_EQ(paneHeights(9000, 1245, 1500, false, false).transmit, minTransmitPaneTwips(1500));
    EXPECT_EQ(paneHeights(3000, 1245, 1500, false, false).transmit, 3000 - kMinReceivePaneTwips);

    const PaneHeights rx = paneHeights(9000, 3000, 1500, true, false);
    EXPECT_FALSE(rx.transmitShown);
    EXPECT_EQ(rx.receive, 9000);
    const PaneHeights tx = paneHeights(9000, 3000, 1500, false, true);
    EXPECT_FALSE(tx.receiveShown);
    EXPECT_EQ(tx.transmit, 9000);
    EXPECT_TRUE(paneHeights(9000, 3000, 1500, true, true).receiveShown); // receive full wins
}

TEST(PaneLayout, DragLimits) {
    // Free height 9000, editor 1500: the receive pane may be 801 to 6699 high.
    EXPECT_FALSE(splitDragAllowed(800, 9000, 1500, false, false));
    EXPECT_TRUE(splitDragAllowed(801, 9000, 1500, false, false));
    EXPECT_TRUE(splitDragAllowed(6699, 9000, 1500, false, false));
    EXPECT_FALSE(splitDragAllowed(6700, 9000, 1500, false, false));
    EXPECT_FALSE(splitDragAllowed(3000, 9000, 1500, true, false));
    EXPECT_FALSE(splitDragAllowed(3000, 9000, 1500, false, true));
}

TEST(PaneLayout, LastColumnTakesWhatTheOthersLeave) {
    const int others[] = {100, 40, 200, 70, 80};
    EXPECT_EQ(lastColumnWidth(1000, others, 27), 483);
    EXPECT_FALSE(lastColumnWidth(517, others, 27));
    EXPECT_FALSE(lastColumnWidth(300, others, 27));
}

namespace {

class PaneWindowTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        window = openWindow();
        window->resize(1000, 800);
        window->show();
        QApplication::processEvents();
        splitter = window->findChild<QSplitter*>("splitter");
        receive = window->findChild<QWidget*>("frameReceive");
        transmit = window->findChild<QWidget*>("frameTransmit");
    }
    void click(const char* name) {
        window->findChild<QToolButton*>(name)->click();
        QApplication::processEvents();
    }
    // Drags the border as a mouse does, to a receive pane height of `y` pixels.
    void dragTo(int y) {
        QWidget* handle = splitter->handle(1);
        const QPoint start = handle->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, start, handle->mapToGlobal(start), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &press);
        const QPoint target(start.x(), start.y() + (y - receive->height()));
        QMouseEvent move(QEvent::MouseMove, target, handle->mapToGlobal(target), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(handle, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, target, handle->mapToGlobal(target), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(handle, &release);
        QApplication::processEvents();
    }

    QSplitter* splitter = nullptr;
    QWidget* receive = nullptr;
    QWidget* transmit = nullptr;
};

} // namespace

TEST_F(PaneWindowTest, ResizingGivesEveryChangeOfHeightToTheReceivePane) {
    const int transmitBefore = transmit->height();
    const int receiveBefore = receive->height();
    window->resize(1000, 900);
    QApplication::processEvents();
    EXPECT_EQ(transmit->height(), transmitBefore);
    EXPECT_EQ(receive->height(), receiveBefore + 100);
    window->resize(1000, 750);
    QApplication::processEvents();
    EXPECT_EQ(transmit->height(), transmitBefore);
    EXPECT_EQ(receive->height(), receiveBefore - 50);
}

TEST_F(PaneWindowTest, DragsInsideTheLimitsMoveTheSplitAndOthersChangeNothing) {
    const int before = basGlobal.splitPosition;
    const int receiveBefore = receive->height();
    dragTo(receiveBefore - 40);
    EXPECT_EQ(receive->height(), receiveBefore - 40);
    EXPECT_EQ(basGlobal.splitPosition, window->pixelsToTwips(transmit->height()));
    EXPECT_NE(basGlobal.splitPosition, before);

    const int split = basGlobal.splitPosition;
    const int receiveNow = receive->height();
    dragTo(window->twipsToPixels(kMinPaneExtentTwips)); // up to the limit: refused
    EXPECT_EQ(receive->height(), receiveNow);
    EXPECT_EQ(basGlobal.splitPosition, split);
    dragTo(splitter->height() - 5); // the transmit pane would lose its editor: refused
    EXPECT_EQ(receive->height(), receiveNow);
    EXPECT_EQ(basGlobal.splitPosition, split);
}

TEST_F(PaneWindowTest, SmallDragStepsNeverSqueezeTheEditorNorDoesAStoredSplit) {
    QWidget* editor = window->findChild<QWidget*>("frameMessage");
    const int editorHeight = editor->height();
    ASSERT_EQ(editorHeight, editor->sizeHint().height());
    for (int step = 0; step < 100; ++step)
        dragTo(receive->height() + 3);
    EXPECT_EQ(editor->height(), editorHeight);
    EXPECT_GT(basGlobal.splitPosition, minTransmitPaneTwips(window->pixelsToTwips(editorHeight)));
    EXPECT_LE(transmit->height(), window->twipsToPixels(minTransmitPaneTwips(0)) + editorHeight + 4);

    // A window a pixel taller or shorter keeps the split at the limit where it is.
    const int split = basGlobal.splitPosition;
    const int transmitAtLimit = transmit->height();
    for (const int height : {window->height() - 1, window->height() + 1}) {
        window->resize(window->width(), height);
        QApplication::processEvents();
        EXPECT_EQ(transmit->height(), transmitAtLimit) << height;
        EXPECT_EQ(basGlobal.splitPosition, split) << height;
    }

    // A split that an older drag squeezed the editor with is shown with the editor whole.
    basGlobal.splitPosition = 1245;
    window->resize(window->width(), window->height() + 1);
    QApplication::processEvents();
    EXPECT_EQ(editor->height(), editorHeight);
}

TEST_F(PaneWindowTest, FullThenHalfRestoresTheSplitOnBothPanes) {
    const int transmitBefore = transmit->height();
    const int split = basGlobal.splitPosition;
    click("imgFull");
    EXPECT_FALSE(transmit->isVisible());
    EXPECT_GT(receive->height(), transmitBefore);
    click("imgHalf");
    EXPECT_TRUE(transmit->isVisible());
    EXPECT_EQ(transmit->height(), transmitBefore);
    EXPECT_EQ(basGlobal.splitPosition, split);

    click("imgTxFull");
    EXPECT_FALSE(receive->isVisible());
    EXPECT_FALSE(window->findChild<QToolButton*>("imgTxFull")->isVisible());
    EXPECT_TRUE(window->findChild<QToolButton*>("imgTxHalf")->isVisible());
    click("imgTxHalf");
    EXPECT_TRUE(receive->isVisible());
    EXPECT_EQ(transmit->height(), transmitBefore);
    EXPECT_EQ(basGlobal.splitPosition, split);
}

TEST_F(PaneWindowTest, ASmallWindowKeepsAUsableReceivePaneAndTheLastColumnFits) {
    basGlobal.splitPosition = window->pixelsToTwips(600); // a split from a taller screen
    window->resize(640, 480);
    QApplication::processEvents();
    auto* list = window->findChild<QTableView*>("listReceive");
    EXPECT_GE(receive->height(), window->twipsToPixels(kMinReceivePaneTwips) - 1);
    EXPECT_GE(list->height(), 3 * list->verticalHeader()->defaultSectionSize());

    window->resize(1200, 800);
    QApplication::processEvents();
    int others = 0;
    for (int c = 0; c < 5; ++c)
        others += list->columnWidth(c);
    EXPECT_EQ(list->columnWidth(5), list->width() - others - window->twipsToPixels(kSpareColumnTwips));
    // Widening another column takes the room from the last one.
    const int last = list->columnWidth(5);
    list->setColumnWidth(2, list->columnWidth(2) + 50);
    EXPECT_EQ(list->columnWidth(5), last - 50);
}
