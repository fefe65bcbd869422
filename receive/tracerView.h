#pragma once

// Drives the main window's Tracer text box: appends a poll's lines, follows new lines like a log viewer,
// selects the clicked line, filters typed keys and clears on request.

#include "receive/tracerLine.h"

#include <QObject>
#include <QString>

#include <optional>
#include <string>
#include <string_view>

class QPlainTextEdit;
class QTextDocument;

namespace korvel {

// What a click at `caret` selects in the Tracer's text: the whole line holding it (the empty rest after
// the last line end when the caret lies there), and the frame that line shows. Nothing when the text
// holds no line end at all. The line is found from the caret, however long the text is.
struct TracerClick {
    int start = 0;
    int length = 0;
    std::optional<TracerFrameText> frame;
};
[[nodiscard]] std::optional<TracerClick> tracerClickAt(const QTextDocument& document, int caret);

class TracerView final : public QObject {
    Q_OBJECT
public:
    // Becomes a child of the text box and lives as long as it.
    explicit TracerView(QPlainTextEdit* tracer);

    // Adds a poll's lines (CR LF line ends) after the last character. The user's selection is lost and the
    // caret ends after the new text. The view follows only when it was at the bottom before.
    void appendTracerText(std::string_view text);
    // Asks "Clear Trace?"; on OK empties the Tracer. True when it was cleared.
    bool clearWithQuestion();
    // What a click does: selects the line holding the caret and reports its frame.
    void selectLineAtCaret();

    // The text as lines, for the replay: split at line ends, the piece after the final line end included.
    [[nodiscard]] int lineCount() const;
    // A line without its line end; empty when there is no such line.
    [[nodiscard]] std::string lineText(int index) const;
    [[nodiscard]] int caretLine() const;
    // Highlights the whole line and scrolls it into view.
    void selectLine(int index);
    void focusTracer();

    [[nodiscard]] QPlainTextEdit* tracer() const { return tracer_; }

signals:
    // The identifier and data text of a selected line that reads as a frame, for the details window.
    void frameClicked(const QString& idText, const QString& dataText);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] bool atBottom() const;
    bool filterKeyPress(QEvent* event);

    QPlainTextEdit* tracer_ = nullptr;
    QObject* viewport_ = nullptr;
};

} // namespace korvel
