#pragma once

// The Tracer's text box: an editable text of any length held in a compact line store. Only the visible
// lines are turned into strings and painted, so scrolling, clicking and appending cost the same at ten
// lines and at ten million.

#include "receive/tracerSearch.h"
#include "receive/tracerStore.h"
#include "receive/tracerUndo.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class TracerEdit final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TracerEdit(QWidget* parent = nullptr);

    [[nodiscard]] const TracerStore& store() const { return store_; }
    [[nodiscard]] QString lineString(int line) const;
    // The whole text, lines joined by LF, as a clipboard or a test reads it.
    [[nodiscard]] QString plainText() const;
    [[nodiscard]] QString selectedText() const;
    // The text from one place to another, lines joined by LF; only that range is built.
    [[nodiscard]] QString textBetween(TracerPos from, TracerPos to) const;

    // Offsets as assistive tools count them: the characters of the lines joined by LF. They come from the
    // store's counts, so a reader asking about the last of a million lines builds no text.
    [[nodiscard]] int characterCount() const;
    [[nodiscard]] int offsetOf(TracerPos pos) const;
    [[nodiscard]] TracerPos positionOfOffset(int offset) const;
    // Where the character at a place is drawn, in viewport coordinates, one column wide.
    [[nodiscard]] QRect characterRect(TracerPos pos) const;
    // The character drawn under a point of the viewport (not the caret boundary nearest to the point).
    [[nodiscard]] TracerPos characterAt(QPoint point) const;
    // Scrolls a place into view and leaves the caret where it is.
    void scrollToShow(TracerPos pos);

    // Adds text after the last character; the selection is dropped and the caret ends after the new text.
    // The view follows only when it was at the bottom before.
    void append(std::string_view text, const std::vector<std::int64_t>& times = {});
    // Replaces the whole text; the caret goes to the start.
    void replaceAll(TracerStore&& store);
    void clear();

    [[nodiscard]] TracerPos caret() const { return caret_; }
    [[nodiscard]] TracerPos anchor() const { return anchor_; }
    [[nodiscard]] bool hasSelection() const { return caret_ != anchor_; }
    // Selects from anchor to caret (both clamped to the text) and scrolls the caret into view.
    void setSelection(TracerPos anchor, TracerPos caret);
    // Replaces the selection (or inserts at the caret) with text, which may hold line ends.
    void insertText(const QString& text);

    [[nodiscard]] bool atBottom() const;

    // Marks where a search's pattern matches in the lines shown; an empty function marks nothing.
    using Marker = std::function<std::optional<TracerSpan>(std::string_view line)>;
    void setMarker(Marker marker);

    // Takes back the last edit, or does it again; recorded lines are never taken back. An edit whose
    // lines have changed since (a recording that went on in the line typed into) ends the history.
    void undo();
    void redo();
    [[nodiscard]] const TracerUndo& history() const { return undo_; }

signals:
    // Ctrl+F, and F3 or Shift+F3 (forward false), while the text box has the focus.
    void findRequested();
    void findAgainRequested(bool forward);
    // The caret, the selection or the text changed.
    void positionChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    [[nodiscard]] TracerPos clamped(TracerPos pos) const;
    // A place under a point; `rounding` 0.5 gives the caret boundary nearest to it, 0 the character.
    [[nodiscard]] TracerPos placeAt(QPoint point, qreal rounding) const;
    [[nodiscard]] TracerPos positionAt(QPoint point) const;
    [[nodiscard]] int visibleLines() const;
    [[nodiscard]] int lineLength(int line) const { return static_cast<int>(lineString(line).size()); }
    // Columns first .. first + count - 1 of a line: what the view shows of a line of any length.
    [[nodiscard]] QString columnsOf(int line, int first, int count) const;
    // Where a column starts in the viewport, at the current scroll position.
    [[nodiscard]] qreal columnX(int column) const;
    [[nodiscard]] TracerPos moved(TracerPos from, int key, Qt::KeyboardModifiers modifiers) const;
    void moveCaret(TracerPos to, bool keepAnchor);
    // Replaces the text from s to e (in order) and puts the caret after the new text.
    void replaceRange(TracerPos s, TracerPos e, const QString& text);
    void deleteAround(bool forward);
    // Puts `text` (lines joined by LF) with their times in place of lines first .. last.
    void replaceLinesOf(int first, int last, const std::string& text, const std::vector<std::int64_t>& times);
    // Tells assistive tools what an undo or redo put in place of what.
    void announceSwap(int first, const std::string& removed, const std::string& inserted);
    void updateScrollBars();
    void ensureCaretVisible();
    void restartBlink();
    // Tells assistive tools where the caret and the selection are, when either moved (or `always`).
    void announceCaret(TracerPos oldCaret, TracerPos oldAnchor, bool always = false);

    TracerStore store_;
    TracerUndo undo_;
    Marker marker_;
    TracerPos caret_;
    TracerPos anchor_;
    QBasicTimer blink_;
    bool caretShown_ = true;
    int lineHeight_ = 1;
    // The fixed font's advance; fractional, since rounding it would move a click or the caret off the
    // characters drawn further along a line.
    qreal charWidth_ = 1;
};

} // namespace korvel
