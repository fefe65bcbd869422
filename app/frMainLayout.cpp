// The main window's layout: the split between the receive and the transmit pane, the full and half
// buttons, and the width of each list's last column.

#include "app/frMain.h"
#include "app/paneLayout.h"
#include "app/paneSplitter.h"
#include "core/basGlobal.h"
#include "transmit/transmitPane.h"

#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QTableView>
#include <QToolButton>

#include <vector>

namespace korvel {

namespace {

// Gives a list's last column what the other columns leave of the list's width, whenever the list or one
// of its other columns changes size.
class LastColumnFitter final : public QObject {
public:
    LastColumnFitter(QTableView* list, std::function<int(int)> twipsToPixels)
        : QObject(list), list_(list), twipsToPixels_(std::move(twipsToPixels)) {
        list_->horizontalHeader()->setStretchLastSection(false);
        list_->installEventFilter(this);
        connect(list_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
            if (section != lastColumn())
                fit();
        });
    }

    void fit() {
        const int last = lastColumn();
        if (last < 0)
            return;
        std::vector<int> others;
        const QHeaderView* header = list_->horizontalHeader();
        for (int c = 0; c < header->count(); ++c)
            if (c != last && !header->isSectionHidden(c))
                others.push_back(list_->columnWidth(c));
        if (others.empty())
            return;
        if (const auto width = lastColumnWidth(list_->width(), others, twipsToPixels_(kSpareColumnTwips)))
            list_->setColumnWidth(last, *width);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == list_ && event->type() == QEvent::Resize)
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    // The rightmost column shown: a column may be hidden or moved (the message name, without a database).
    [[nodiscard]] int lastColumn() const {
        const QHeaderView* header = list_->horizontalHeader();
        for (int v = header->count() - 1; v >= 0; --v)
            if (const int c = header->logicalIndex(v); !header->isSectionHidden(c))
                return c;
        return -1;
    }

    QTableView* list_;
    std::function<int(int)> twipsToPixels_;
};

// The editor's own height: the pane squeezes it when it has less room, and a limit measured against the
// squeezed height would let each small drag squeeze it further.
int editorHeightTwips(const frMain& window) {
    return window.pixelsToTwips(window.transmitPane()->editorFrame()->sizeHint().height());
}

} // namespace

void frMain::setUpLayout() {
    // The drag limits are the layout rule's, not the sizes the panes' contents would prefer.
    frameReceive->setMinimumHeight(1);
    frameTransmit->setMinimumHeight(1);
    // In a short transmit pane the list yields and the editor keeps its height, as the drag limit assumes.
    transmitPane_->listView()->setMinimumHeight(1);
    splitter_->onResized = [this] {
        applySplit();
    };
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { splitterDragged(); });
    for (QTableView* list : {listReceive, transmitPane_->listView()})
        new LastColumnFitter(list, [this](int twips) { return twipsToPixels(twips); });
}

void frMain::applyPaneSwitches() {
    const bool rxFull = basGlobal.hasOption(optRxPaneFull);
    const bool txFull = basGlobal.hasOption(optTxPaneFull);
    imgFull->setVisible(!rxFull);
    imgHalf->setVisible(rxFull);
    imgTxFull->setVisible(!txFull);
    imgTxHalf->setVisible(txFull);
    const PaneHeights heights = paneHeights(0, 0, 0, rxFull, txFull);
    frameTransmit->setVisible(heights.transmitShown);
    frameReceive->setVisible(heights.receiveShown);
    applySplit();
}

int frMain::splitterFreePixels() const {
    const int height = splitter_->height() > 0 ? splitter_->height() : twipsToPixels(freeHeightTwips());
    return height - splitter_->handleWidth();
}

void frMain::applySplit() {
    // With one pane hidden the other fills the splitter by itself.
    if (!frameReceive->isVisibleTo(this) || !frameTransmit->isVisibleTo(this))
        return;
    const int free = splitterFreePixels();
    const PaneHeights heights =
        paneHeights(pixelsToTwips(free), basGlobal.splitPosition, editorHeightTwips(*this), false, false);
    const int transmit = std::min(twipsToPixels(heights.transmit), free);
    splitter_->setSizes({free - transmit, transmit});
}

void frMain::splitterDragged() {
    const int free = splitterFreePixels();
    const int receive = frameReceive->height();
    if (splitDragAllowed(pixelsToTwips(receive), pixelsToTwips(free), editorHeightTwips(*this),
                         basGlobal.hasOption(optRxPaneFull), basGlobal.hasOption(optTxPaneFull)))
        basGlobal.splitPosition = pixelsToTwips(free - receive);
    else
        applySplit(); // a move outside the limits changes nothing
}

} // namespace korvel
