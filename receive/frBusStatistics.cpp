#include "receive/frBusStatistics.h"

#include <QFormLayout>
#include <QLabel>

#include <cstdio>

namespace korvel {

namespace {

QString rateText(double perSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", perSecond);
    return QString::fromLatin1(text);
}

QString optionalText(const std::optional<int>& value) {
    return value ? QString::number(*value) : QStringLiteral("unknown");
}

} // namespace

frBusStatistics::frBusStatistics(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frBusStatistics"));
    setWindowTitle(QStringLiteral("Bus Statistics"));
    auto* layout = new QFormLayout(this);
    const auto row = [this, layout](const char* name, const QString& caption) {
        auto* value = new QLabel;
        value->setObjectName(QString::fromLatin1(name));
        value->setAccessibleName(caption);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addRow(caption + QLatin1Char(':'), value);
        return value;
    };
    lblReceivedRate = row("lblReceivedRate", QStringLiteral("Received frames/s"));
    lblSentRate = row("lblSentRate", QStringLiteral("Sent frames/s"));
    lblPeakReceivedRate = row("lblPeakReceivedRate", QStringLiteral("Peak received frames/s"));
    lblLoad = row("lblLoad", QStringLiteral("Bus load"));
    lblPeakLoad = row("lblPeakLoad", QStringLiteral("Peak bus load"));
    lblReceivedFrames = row("lblReceivedFrames", QStringLiteral("Received frames"));
    lblSentFrames = row("lblSentFrames", QStringLiteral("Sent frames"));
    lblErrorFrames = row("lblErrorFrames", QStringLiteral("Error frames"));
    lblOverruns = row("lblOverruns", QStringLiteral("Overruns"));
    lblDropped = row("lblDropped", QStringLiteral("Dropped by the link"));
    lblErrorState = row("lblErrorState", QStringLiteral("Error state"));
    lblTxErrors = row("lblTxErrors", QStringLiteral("Transmit error counter"));
    lblRxErrors = row("lblRxErrors", QStringLiteral("Receive error counter"));
    lblLastError = row("lblLastError", QStringLiteral("Last error"));
    lblLastError->setWordWrap(true);
    lblLoad->setToolTip(QStringLiteral("Share of the bitrate the frames took in the last second, stuff bits "
                                       "included; unknown when the bitrate is"));
    showFigures({});
}

void frBusStatistics::showFigures(const BusFigures& f) {
    lblReceivedRate->setText(rateText(f.receivedPerSecond));
    lblSentRate->setText(rateText(f.sentPerSecond));
    lblPeakReceivedRate->setText(rateText(f.peakReceivedPerSecond));
    lblLoad->setText(QString::fromStdString(percentText(f.loadPercent)));
    lblPeakLoad->setText(QString::fromStdString(percentText(f.peakLoadPercent)));
    lblReceivedFrames->setText(QString::number(f.receivedFrames));
    lblSentFrames->setText(QString::number(f.sentFrames));
    lblErrorFrames->setText(QString::fromStdString(figureText(f.errorFrames)));
    lblOverruns->setText(QString::fromStdString(figureText(f.overruns)));
    lblDropped->setText(QString::fromStdString(figureText(f.droppedFrames)));
    // A link that reports error frames but has sent none yet says nothing of its state.
    lblErrorState->setText(QString::fromStdString(f.errorState.value_or("unknown")));
    lblTxErrors->setText(optionalText(f.txErrorCounter));
    lblRxErrors->setText(optionalText(f.rxErrorCounter));
    if (!f.lastError.empty())
        lblLastError->setText(QString::fromStdString(f.lastError));
    else
        lblLastError->setText(f.errorFrames ? QStringLiteral("none") : QStringLiteral("unknown"));
}

} // namespace korvel
