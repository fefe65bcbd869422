#pragma once

// Drives the main window's Tracer text box: appends a poll's lines, follows new lines like a log viewer,
// selects the clicked line, filters typed keys, clears on request, and gives the replay and the trace
// files the text line by line.

#include "receive/tracerLine.h"
#include "receive/tracerStore.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class TracerEdit;

class TracerView final : public QObject {
    Q_OBJECT
public:
    // Becomes a child of the text box and lives as long as it.
    explicit TracerView(TracerEdit* tracer);

    // Adds a poll's lines (CR LF line ends) after the last character, each with its wall-clock time of
    // reception. The user's selection is lost and the caret ends after the new text. The view follows only
    // when it was at the bottom before.
    void appendTracerText(std::string_view text);
    // The wall clock in microseconds since the epoch; replaceable in tests.
    void setWallClock(std::function<std::int64_t()> clock) { wallClock_ = std::move(clock); }
    // Asks "Clear Trace?"; on OK empties the Tracer. True when it was cleared.
    bool clearWithQuestion();
    // What a click does: selects the line holding the caret and reports its frame. Nothing when the text
    // holds no line end at all.
    void selectLineAtCaret();

    // The text as lines, for the replay: split at line ends, the piece after the final line end included.
    [[nodiscard]] int lineCount() const;
    // A line without its line end; empty when there is no such line.
    [[nodiscard]] std::string lineText(int index) const;
    [[nodiscard]] int caretLine() const;
    // Highlights the whole line and scrolls it into view.
    void selectLine(int index);
    void focusTracer();

    // The whole text, read line by line without copying (trace files save from it).
    [[nodiscard]] const TracerStore& lines() const;
    // Replaces the whole text (a loaded trace); the caret goes to the start.
    void replaceAll(TracerStore&& lines);

    [[nodiscard]] TracerEdit* tracer() const { return tracer_; }

signals:
    // The identifier and data text of a selected line that reads as a frame, for the details window.
    void frameClicked(const QString& idText, const QString& dataText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool filterKeyPress(QEvent* event);

    TracerEdit* tracer_ = nullptr;
    QObject* viewport_ = nullptr;
    std::function<std::int64_t()> wallClock_;
    std::int64_t lastTimeUs_ = 0;
    std::vector<std::int64_t> times_;
};

} // namespace korvel
