#include "plots/frmPlot.h"

#include "core/prompts.h"
#include "core/textFile.h"
#include "plots/decimate.h"
#include "plots/frmPlotTrace.h"
#include "plots/plotCsv.h"
#include "plots/plotHub.h"

#include <qcustomplot.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace korvel {

namespace {

// Distinct on a white background and for the common colour blindnesses, in the order traces take them.
constexpr QRgb kTraceColours[] = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00,
                                  0x56B4E9, 0x000000, 0x8C564B, 0x7F7F7F, 0xBCBD22};

constexpr double kInitialSpanSeconds = 10;
constexpr int kRefreshMs = 40;

QColor traceColour(int index) {
    return QColor(kTraceColours[static_cast<std::size_t>(index) % std::size(kTraceColours)]);
}

QString valueText(double v) {
    if (std::isnan(v))
        return QStringLiteral("NaN");
    if (std::isinf(v))
        return v > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return QString::number(v, 'g', 12);
}

} // namespace

frmPlot::frmPlot(PlotContext context, int number, QWidget* parent)
    : QMainWindow(parent, Qt::Window), context_(std::move(context)), session_(context_.ringPoints) {
    setObjectName(QStringLiteral("frmPlot"));
    setWindowTitle(QStringLiteral("Plot %1").arg(number));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    plotView_ = new QCustomPlot(central);
    plotView_->setObjectName(QStringLiteral("plotView"));
    plotView_->setAccessibleName(QStringLiteral("Plot"));
    plotView_->setFocusPolicy(Qt::StrongFocus);
    plotView_->setMinimumSize(1, 1);
    // Tens of thousands of segments a repaint: joins drawn the fast way, lines without antialiasing.
    plotView_->setPlottingHint(QCP::phFastPolylines, true);
    plotView_->setNotAntialiasedElements(QCP::aePlottables);
    // A trace is picked (for Remove Trace) by clicking its line or its legend entry.
    plotView_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectPlottables |
                               QCP::iSelectLegend);
    plotView_->legend->setSelectableParts(QCPLegend::spItems);
    plotView_->axisRect()->setRangeDrag(Qt::Horizontal);
    plotView_->axisRect()->setRangeZoom(Qt::Horizontal);
    plotView_->xAxis->setLabel(QStringLiteral("Time (s)"));
    plotView_->xAxis->setRange(0, kInitialSpanSeconds);
    plotView_->legend->setVisible(true);
    plotView_->installEventFilter(this);
    cursorLine_ = new QCPItemStraightLine(plotView_);
    cursorLine_->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
    cursorLine_->setVisible(false);
    lblCursor = new QLabel(central);
    lblCursor->setObjectName(QStringLiteral("lblCursor"));
    lblCursor->setAccessibleName(QStringLiteral("Cursor"));
    lblCursor->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(plotView_, 1);
    layout->addWidget(lblCursor);
    setCentralWidget(central);
    buildToolbar();

    connect(plotView_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this,
            &frmPlot::userMovedRange);
    connect(plotView_, &QCustomPlot::mousePress, this,
            [this](QMouseEvent* event) { pressPos_ = event->pos(); });
    connect(plotView_, &QCustomPlot::mouseRelease, this, [this](QMouseEvent* event) {
        // A click places the cursor; a drag only scrolls.
        if (event->button() == Qt::LeftButton && (event->pos() - pressPos_).manhattanLength() < 4)
            placeCursor(plotView_->xAxis->pixelToCoord(event->pos().x()));
    });

    tiRefresh = new QTimer(this);
    tiRefresh->setObjectName(QStringLiteral("tiRefresh"));
    connect(tiRefresh, &QTimer::timeout, this, &frmPlot::refresh);
    tiRefresh->start(kRefreshMs);
    if (context_.hub)
        context_.hub->attach(&session_);
    resize(800, 450);
}

frmPlot::~frmPlot() {
    if (context_.hub)
        context_.hub->detach(&session_);
}

void frmPlot::buildToolbar() {
    QToolBar* bar = addToolBar(QStringLiteral("Plot"));
    bar->setObjectName(QStringLiteral("tbrPlot"));
    bar->setMovable(false);
    const auto action = [this, bar](const char* name, const char* text, auto handler) {
        QAction* a = bar->addAction(QString::fromLatin1(text));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    cboSource = new QComboBox(bar);
    cboSource->setObjectName(QStringLiteral("cboSource"));
    cboSource->setAccessibleName(QStringLiteral("Source"));
    cboSource->addItems({QStringLiteral("Live"), QStringLiteral("Tracer")});
    bar->addWidget(cboSource);
    connect(cboSource, &QComboBox::activated, this,
            [this](int index) { setSource(index == 0 ? Source::live : Source::tracer); });
    actAddTrace = action("actAddTrace", "Add Trace", [this] { addTraceCommand(); });
    actRemoveTrace = action("actRemoveTrace", "Remove Trace", [this] { removeTraceCommand(); });
    bar->addSeparator();
    actPause = action("actPause", "Pause", [this](bool on) { setPaused(on); });
    actPause->setCheckable(true);
    actFollow = action("actFollow", "Follow", [this] { followNewest(); });
    actShowAll = action("actShowAll", "Show All", [this] { showAll(); });
    actSharedAxis = action("actSharedAxis", "Shared Axis", [this](bool on) { setSharedAxis(on); });
    actSharedAxis->setCheckable(true);
    actSharedAxis->setChecked(true);
    bar->addSeparator();
    actExportPng = action("actExportPng", "Export PNG", [this] { exportPngCommand(); });
    actExportCsv = action("actExportCsv", "Export CSV", [this] { exportCsvCommand(); });
}

bool frmPlot::addByteTrace(const ByteSource& source) {
    if (!session_.addTrace(source))
        return false;
    rebuildGraphs();
    if (source_ == Source::tracer)
        reloadFromTracer();
    return true;
}

bool frmPlot::addSignalTrace(const MessageDef& message, int signalIndex) {
    if (!session_.addSignalTrace(message, signalIndex))
        return false;
    rebuildGraphs();
    if (source_ == Source::tracer)
        reloadFromTracer();
    return true;
}

void frmPlot::removeTrace(int index) {
    session_.removeTrace(index);
    rebuildGraphs();
}

void frmPlot::addTraceCommand() {
    frmPlotTrace dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    ByteSource source;
    if (dialog.source(source))
        addByteTrace(source);
}

void frmPlot::removeTraceCommand() {
    // The trace whose legend entry is selected, else the last one added.
    int index = session_.traceCount() - 1;
    for (int i = 0; i < plotView_->graphCount(); ++i) {
        const QCPPlottableLegendItem* item = plotView_->legend->itemWithPlottable(plotView_->graph(i));
        if (plotView_->graph(i)->selected() || (item && item->selected()))
            index = i;
    }
    if (index >= 0)
        removeTrace(index);
}

void frmPlot::setSource(Source source) {
    if (source == source_)
        return;
    source_ = source;
    cboSource->setCurrentIndex(source == Source::live ? 0 : 1);
    if (context_.hub) {
        if (source == Source::live)
            context_.hub->attach(&session_);
        else
            context_.hub->detach(&session_);
    }
    session_.clearPoints();
    if (source == Source::tracer) {
        reloadFromTracer();
        showAll();
    } else {
        following_ = true;
    }
    redraw();
}

void frmPlot::reloadFromTracer() {
    if (context_.tracerLines)
        loadTracerLines(session_, context_.tracerLines);
    drawnRevision_ = ~uint64_t{0};
}

void frmPlot::setPaused(bool paused) {
    actPause->setChecked(paused);
    if (!paused)
        refresh();
}

bool frmPlot::paused() const {
    return actPause->isChecked();
}

void frmPlot::setSharedAxis(bool shared) {
    actSharedAxis->setChecked(shared);
    if (shared == shared_)
        return;
    shared_ = shared;
    rebuildGraphs();
}

void frmPlot::followNewest() {
    following_ = true;
    drawnRevision_ = ~uint64_t{0};
    refresh();
}

void frmPlot::showAll() {
    double first = 0, last = 0;
    if (!session_.timeRange(first, last))
        return;
    following_ = false;
    setTimeRange(first, last > first ? last : first + 1);
}

void frmPlot::setTimeRange(double from, double to) {
    if (!(to > from) || !std::isfinite(from) || !std::isfinite(to))
        return;
    settingRange_ = true;
    plotView_->xAxis->setRange(from, to);
    settingRange_ = false;
    redraw();
}

double frmPlot::visibleFrom() const {
    return plotView_->xAxis->range().lower;
}

double frmPlot::visibleTo() const {
    return plotView_->xAxis->range().upper;
}

void frmPlot::userMovedRange() {
    if (settingRange_)
        return;
    following_ = false;
    redraw();
}

void frmPlot::refresh() {
    if (paused() || session_.revision() == drawnRevision_)
        return;
    double first = 0, last = 0;
    if (following_ && source_ == Source::live && session_.timeRange(first, last)) {
        const double span = visibleTo() - visibleFrom();
        settingRange_ = true;
        plotView_->xAxis->setRange(last - span, last);
        settingRange_ = false;
    }
    redraw();
}

void frmPlot::rebuildGraphs() {
    plotView_->clearGraphs();
    for (QCPAxis* axis : ownAxes_)
        plotView_->axisRect()->removeAxis(axis);
    ownAxes_.clear();
    plotView_->yAxis->setLabel(QString());
    plotView_->yAxis->setBasePen(QPen(Qt::black));
    for (int i = 0; i < session_.traceCount(); ++i) {
        const PlotTrace& trace = session_.trace(i);
        QCPAxis* valueAxis = plotView_->yAxis;
        const QString name = QString::fromStdString(trace.name);
        const QString unit = QString::fromStdString(trace.unit);
        if (!shared_) {
            if (i > 0) {
                valueAxis = plotView_->axisRect()->addAxis(QCPAxis::atLeft);
                ownAxes_.push_back(valueAxis);
            }
            valueAxis->setLabel(unit.isEmpty() ? name
                                               : name + QStringLiteral(" (") + unit + QLatin1Char(')'));
            valueAxis->setLabelColor(traceColour(i));
            valueAxis->setBasePen(QPen(traceColour(i)));
        }
        QCPGraph* graph = plotView_->addGraph(plotView_->xAxis, valueAxis);
        graph->setName(unit.isEmpty() ? name : name + QStringLiteral(" [") + unit + QLatin1Char(']'));
        graph->setPen(QPen(traceColour(i), 1));
        // The points are decimated already; the plot's own sampling would only add work.
        graph->setAdaptiveSampling(false);
    }
    drawnRevision_ = ~uint64_t{0};
    redraw();
}

void frmPlot::redraw() {
    const double from = visibleFrom();
    const double to = visibleTo();
    const int columns = std::max(plotView_->axisRect()->width(), 1);
    std::vector<std::pair<double, double>> axisRanges(static_cast<std::size_t>(plotView_->graphCount()));
    std::vector<bool> axisHas(axisRanges.size(), false);
    for (int i = 0; i < plotView_->graphCount() && i < session_.traceCount(); ++i) {
        const TraceRing& ring = session_.trace(i).ring;
        decimateTrace(ring, from, to, columns, decimated_);
        QVector<QCPGraphData> points;
        points.reserve(static_cast<qsizetype>(decimated_.size()));
        for (const PlotPoint& p : decimated_)
            points.append(QCPGraphData(p.t, p.v));
        plotView_->graph(i)->data()->set(points, true);
        // Each axis fits the finite values of its traces in view.
        const std::size_t slot = shared_ ? 0 : static_cast<std::size_t>(i);
        double low = 0, high = 0;
        if (!finiteValueRange(ring, from, to, low, high))
            continue;
        if (axisHas[slot]) {
            axisRanges[slot].first = std::min(axisRanges[slot].first, low);
            axisRanges[slot].second = std::max(axisRanges[slot].second, high);
        } else {
            axisRanges[slot] = {low, high};
            axisHas[slot] = true;
        }
    }
    for (std::size_t slot = 0; slot < axisRanges.size(); ++slot) {
        if (!axisHas[slot])
            continue;
        auto [low, high] = axisRanges[slot];
        const double margin = high > low ? (high - low) * 0.05 : std::max(std::abs(high) * 0.05, 1.0);
        plotView_->graph(static_cast<int>(slot))->valueAxis()->setRange(low - margin, high + margin);
    }
    if (cursorShown_)
        showCursorText();
    drawnRevision_ = session_.revision();
    plotView_->replot(QCustomPlot::rpQueuedReplot);
}

int frmPlot::drawnPoints(int trace) const {
    return trace < plotView_->graphCount() ? plotView_->graph(trace)->dataCount() : 0;
}

void frmPlot::placeCursor(double t) {
    if (!std::isfinite(t))
        return;
    cursorShown_ = true;
    cursorTime_ = t;
    cursorLine_->point1->setCoords(t, 0);
    cursorLine_->point2->setCoords(t, 1);
    cursorLine_->setVisible(true);
    showCursorText();
    plotView_->replot(QCustomPlot::rpQueuedReplot);
    if (source_ == Source::tracer && context_.showTracerLine) {
        const int line = session_.lineNearest(t);
        if (line >= 0)
            context_.showTracerLine(line);
    }
}

void frmPlot::showCursorText() {
    QString text = QStringLiteral("%1 s").arg(cursorTime_, 0, 'f', 3);
    for (int i = 0; i < session_.traceCount(); ++i) {
        const PlotTrace& trace = session_.trace(i);
        std::size_t index = 0;
        text += QStringLiteral("   ") + QString::fromStdString(trace.name) + QStringLiteral(": ");
        if (!trace.ring.lastAtOrBefore(cursorTime_, index)) {
            text += QStringLiteral("-");
            continue;
        }
        text += valueText(trace.ring.at(index).v);
        if (!trace.unit.empty())
            text += QLatin1Char(' ') + QString::fromStdString(trace.unit);
    }
    lblCursor->setText(text);
}

QString frmPlot::cursorText() const {
    return lblCursor->text();
}

bool frmPlot::exportPng(const QString& path) {
    redraw();
    plotView_->replot();
    return plotView_->savePng(path, std::max(plotView_->width(), 1), std::max(plotView_->height(), 1));
}

bool frmPlot::exportCsv(const QString& path) {
    std::string error;
    const bool ok = writeFileAtomically(
        path.toStdString(),
        [this](const ByteSink& write) {
            return writePlotCsv(session_, -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::infinity(), write);
        },
        &error);
    if (!ok)
        prompts().critical(QString::fromStdString(saveFailedText(path.toStdString(), error)));
    return ok;
}

void frmPlot::exportPngCommand() {
    const QString file =
        prompts().saveFileName(QStringLiteral("Export PNG"), QStringLiteral("PNG image (*.png)"));
    if (!file.isEmpty() && !exportPng(file))
        prompts().critical(
            QString::fromStdString(saveFailedText(file.toStdString(), "cannot write the image")));
}

void frmPlot::exportCsvCommand() {
    const QString file = prompts().saveFileName(QStringLiteral("Export CSV"), QStringLiteral("CSV (*.csv)"));
    if (!file.isEmpty())
        exportCsv(file);
}

bool frmPlot::handleKey(int key) {
    const double from = visibleFrom();
    const double to = visibleTo();
    const double span = to - from;
    const double middle =
        cursorShown_ && cursorTime_ >= from && cursorTime_ <= to ? cursorTime_ : from + span / 2;
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const double step = (key == Qt::Key_Left ? -0.1 : 0.1) * span;
        following_ = false;
        setTimeRange(from + step, to + step);
        return true;
    }
    case Qt::Key_Plus:
    case Qt::Key_Equal:
    case Qt::Key_Up:
    case Qt::Key_Minus:
    case Qt::Key_Down: {
        const bool in = key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Up;
        const double factor = in ? 0.5 : 2.0;
        following_ = false;
        setTimeRange(middle - (middle - from) * factor, middle + (to - middle) * factor);
        return true;
    }
    case Qt::Key_Home:
        showAll();
        return true;
    case Qt::Key_End:
        followNewest();
        return true;
    case Qt::Key_Space:
        setPaused(!paused());
        return true;
    default:
        return false;
    }
}

bool frmPlot::eventFilter(QObject* watched, QEvent* event) {
    if (watched == plotView_ && event->type() == QEvent::KeyPress &&
        handleKey(static_cast<QKeyEvent*>(event)->key()))
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void frmPlot::closeEvent(QCloseEvent* event) {
    if (context_.hub)
        context_.hub->detach(&session_);
    emit closed(this);
    event->accept();
}

} // namespace korvel
