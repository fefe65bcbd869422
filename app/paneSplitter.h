#pragma once

// The border between the receive and the transmit pane. It tells the window after each resize, so the
// window can give the whole change of height to the receive pane.

#include <QSplitter>

#include <functional>

namespace korvel {

class PaneSplitter final : public QSplitter {
public:
    using QSplitter::QSplitter;
    std::function<void()> onResized;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QSplitter::resizeEvent(event);
        if (onResized)
            onResized();
    }
};

} // namespace korvel
