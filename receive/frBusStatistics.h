#pragma once

// The "Bus Statistics" window: frames per second each way, bus load now and at its peak, the frame counts
// and the trouble the link reports. Not modal; it shows what it is given.

#include "receive/busStatistics.h"

#include <QWidget>

class QLabel;

namespace korvel {

class frBusStatistics final : public QWidget {
    Q_OBJECT
public:
    explicit frBusStatistics(QWidget* parent = nullptr);

    void showFigures(const BusFigures& figures);

    QLabel* lblReceivedRate = nullptr;
    QLabel* lblSentRate = nullptr;
    QLabel* lblLoad = nullptr;
    QLabel* lblPeakLoad = nullptr;
    QLabel* lblPeakReceivedRate = nullptr;
    QLabel* lblReceivedFrames = nullptr;
    QLabel* lblSentFrames = nullptr;
    QLabel* lblErrorFrames = nullptr;
    QLabel* lblOverruns = nullptr;
    QLabel* lblDropped = nullptr;
    QLabel* lblErrorState = nullptr;
    QLabel* lblTxErrors = nullptr;
    QLabel* lblRxErrors = nullptr;
    QLabel* lblLastError = nullptr;
};

} // namespace korvel
