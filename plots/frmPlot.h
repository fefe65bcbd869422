#pragma once

// A plot window: traces of received values over the reception clock's seconds, live or from the Tracer's
// lines. What it shows is computed by the plot logic; the window reads controls and draws.

#include "plots/plotSession.h"
#include "plots/plotSource.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <string_view>
#include <vector>

class QAction;
class QComboBox;
class QCPAxis;
class QCPItemStraightLine;
class QCustomPlot;
class QLabel;
class QTimer;

namespace korvel {

class PlotHub;

// What a plot window reaches outside itself, handed over by the main window.
struct PlotContext {
    PlotHub* hub = nullptr;
    std::size_t ringPoints = kDefaultRingPoints;
    // The Tracer's lines, for plots of a recording; and putting the Tracer's caret on a line.
    PlotLineSource tracerLines;
    std::function<void(int line)> showTracerLine;
};

class frmPlot final : public QMainWindow {
    Q_OBJECT
public:
    enum class Source { live, tracer };

    frmPlot(PlotContext context, int number, QWidget* parent = nullptr);
    ~frmPlot() override;

    bool addByteTrace(const ByteSource& source);
    bool addSignalTrace(const MessageDef& message, int signalIndex);
    void removeTrace(int index);
    void setSource(Source source);
    [[nodiscard]] Source source() const { return source_; }
    // Reads the Tracer's lines again (a plot of a recording).
    void reloadFromTracer();

    void setPaused(bool paused);
    [[nodiscard]] bool paused() const;
    void setSharedAxis(bool shared);
    // Keeps the newest data in view, the span unchanged.
    void followNewest();
    void showAll();
    // The visible time range.
    void setTimeRange(double from, double to);
    [[nodiscard]] double visibleFrom() const;
    [[nodiscard]] double visibleTo() const;
    // Puts the cursor at `t` and reads every trace there; a plot of the Tracer moves its caret to the frame.
    void placeCursor(double t);
    [[nodiscard]] QString cursorText() const;

    bool exportPng(const QString& path);
    bool exportCsv(const QString& path);

    // Draws what changed since the last refresh; the refresh timer calls it.
    void refresh();

    [[nodiscard]] const PlotSession& session() const { return session_; }
    [[nodiscard]] QCustomPlot* plotView() const { return plotView_; }
    // Points drawn for a trace in the last refresh (at most four per pixel column).
    [[nodiscard]] int drawnPoints(int trace) const;

signals:
    void closed(frmPlot* window);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildToolbar();
    void addTraceCommand();
    void removeTraceCommand();
    void exportPngCommand();
    void exportCsvCommand();
    void rebuildGraphs();
    void redraw();
    bool handleKey(int key);
    void userMovedRange();
    void showCursorText();

    PlotContext context_;
    PlotSession session_;
    Source source_ = Source::live;
    bool following_ = true;
    bool shared_ = true;
    bool cursorShown_ = false;
    double cursorTime_ = 0;
    uint64_t drawnRevision_ = ~uint64_t{0};
    bool settingRange_ = false;
    std::vector<PlotPoint> decimated_;

    QCustomPlot* plotView_ = nullptr;
    QCPItemStraightLine* cursorLine_ = nullptr;
    std::vector<QCPAxis*> ownAxes_;
    QLabel* lblCursor = nullptr;
    QComboBox* cboSource = nullptr;
    QAction* actAddTrace = nullptr;
    QAction* actRemoveTrace = nullptr;
    QAction* actPause = nullptr;
    QAction* actSharedAxis = nullptr;
    QAction* actShowAll = nullptr;
    QAction* actFollow = nullptr;
    QAction* actExportPng = nullptr;
    QAction* actExportCsv = nullptr;
    QTimer* tiRefresh = nullptr;
    QPoint pressPos_;
};

} // namespace korvel
