#pragma once

// The open plot windows and the hub that feeds them: opens new ones, and gives a signal picked elsewhere
// (the Signals view) to the plot window used last.

#include "plots/frmPlot.h"
#include "plots/plotHub.h"

#include <QObject>
#include <QPointer>

#include <vector>

namespace korvel {

class PlotWindows final : public QObject {
    Q_OBJECT
public:
    // `context.hub` is set here; the windows become children of `owner`.
    PlotWindows(PlotContext context, QWidget* owner);
    ~PlotWindows() override;

    frmPlot* open();
    // The plot window used last, or a new one when none is open, gets the signal.
    frmPlot* addSignalToPlot(const MessageDef& message, int signalIndex);
    [[nodiscard]] std::vector<frmPlot*> windows() const;
    [[nodiscard]] PlotHub& hub() { return hub_; }
    // For windows opened from now on.
    void setRingPoints(std::size_t points) { context_.ringPoints = points; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PlotHub hub_;
    PlotContext context_;
    QWidget* owner_ = nullptr;
    std::vector<QPointer<frmPlot>> windows_;
    QPointer<frmPlot> lastUsed_;
    int opened_ = 0;
};

} // namespace korvel
