#include "plots/plotWindows.h"

#include <QEvent>

#include <algorithm>

namespace korvel {

PlotWindows::PlotWindows(PlotContext context, QWidget* owner)
    : QObject(owner), context_(std::move(context)), owner_(owner) {
    context_.hub = &hub_;
}

PlotWindows::~PlotWindows() {
    // The windows detach from the hub as they go; they must go before it.
    for (const QPointer<frmPlot>& window : windows_)
        delete window.data();
}

frmPlot* PlotWindows::open() {
    auto* window = new frmPlot(context_, ++opened_, owner_);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), nullptr), windows_.end());
    windows_.emplace_back(window);
    lastUsed_ = window;
    window->installEventFilter(this);
    window->show();
    return window;
}

frmPlot* PlotWindows::addSignalToPlot(const MessageDef& message, int signalIndex) {
    frmPlot* window = lastUsed_ ? lastUsed_.data() : open();
    window->addSignalTrace(message, signalIndex);
    window->show();
    window->raise();
    return window;
}

std::vector<frmPlot*> PlotWindows::windows() const {
    std::vector<frmPlot*> open;
    for (const QPointer<frmPlot>& window : windows_)
        if (window)
            open.push_back(window.data());
    return open;
}

bool PlotWindows::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        lastUsed_ = qobject_cast<frmPlot*>(watched);
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
