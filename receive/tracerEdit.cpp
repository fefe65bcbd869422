#include "receive/tracerEdit.h"

#include "receive/tracerAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <QStyleHints>

#include <algorithm>
#include <climits>
#include <cmath>

namespace korvel {

namespace {

constexpr int kMargin = 4;
// Search matches: a light amber that the text stays readable on, in light and dark palettes alike.
const QColor kMatchColour(255, 196, 0, 110);

QString fromBytes(std::string_view bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Where the caret stands after `text` was inserted at `from`, counting line ends as the store splits them.
TracerPos endOfInserted(TracerPos from, const QString& text) {
    TracerPos end = from;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            ++end.line;
            end.column = 0;
        } else {
            ++end.column;
        }
    }
    return end;
}

// Text as assistive tools count it: one LF for each line end.
QString withLfLineEnds(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

std::string lfJoined(const std::vector<std::string_view>& lines) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            joined.push_back('\n');
        joined.append(lines[i]);
    }
    return joined;
}

int clampedToInt(std::size_t value) {
    return static_cast<int>(std::min<std::size_t>(value, INT_MAX));
}

} // namespace

TracerEdit::TracerEdit(QWidget* parent) : QAbstractScrollArea(parent) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    changeEvent(nullptr);
    installTracerAccessible();
}

QString TracerEdit::lineString(int line) const {
    return fromBytes(store_.line(line));
}

QString TracerEdit::columnsOf(int line, int first, int count) const {
    const std::string_view bytes = store_.line(line);
    constexpr std::size_t kShortLine = 4096;
    if (bytes.size() <= kShortLine)
        return lineString(line).mid(first, count);
    // A long line (a file that was no trace) is decoded around the view only: walking the UTF-8 lead bytes
    // to the first column costs the columns before it, not a conversion of the whole line at every repaint.
    std::size_t at = 0;
    for (int column = 0; at < bytes.size() && column < first;) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        column += length == 4 ? 2 : 1; // a character beyond 16 bits takes two columns, as in QString
        at += length;
    }
    at = std::min(at, bytes.size());
    return fromBytes(bytes.substr(at, 4 * static_cast<std::size_t>(count))).left(count);
}

qreal TracerEdit::columnX(int column) const {
    return kMargin - horizontalScrollBar()->value() + column * charWidth_;
}

QString TracerEdit::plainText() const {
    QStringList lines;
    store_.forEachLine([&lines](std::string_view line) {
        lines.append(fromBytes(line));
        return true;
    });
    return lines.join(QLatin1Char('\n'));
}

QString TracerEdit::selectedText() const {
    return textBetween(anchor_, caret_);
}

QString TracerEdit::textBetween(TracerPos from, TracerPos to) const {
    const TracerPos s = clamped(std::min(from, to));
    const TracerPos e = clamped(std::max(from, to));
    // One string grown in place: a range of millions of lines costs its text, not a string per line.
    QString selected;
    for (int i = s.line; i <= e.line; ++i) {
        const QString text = lineString(i);
        const int from = i == s.line ? s.column : 0;
        const int to = i == e.line ? e.column : static_cast<int>(text.size());
        if (i > s.line)
            selected += QLatin1Char('\n');
        selected += QStringView(text).mid(from, to - from);
    }
    return selected;
}

int TracerEdit::characterCount() const {
    return clampedToInt(store_.textChars());
}

int TracerEdit::offsetOf(TracerPos pos) const {
    pos = clamped(pos);
    return clampedToInt(store_.charOffset(pos.line) + static_cast<std::size_t>(pos.column));
}

TracerPos TracerEdit::positionOfOffset(int offset) const {
    const auto at = static_cast<std::size_t>(std::max(0, offset));
    const int line = store_.lineAtCharOffset(at);
    return clamped(TracerPos{line, clampedToInt(at - store_.charOffset(line))});
}

QRect TracerEdit::characterRect(TracerPos pos) const {
    pos = clamped(pos);
    return QRect(static_cast<int>(std::lround(columnX(pos.column))),
                 (pos.line - verticalScrollBar()->value()) * lineHeight_,
                 static_cast<int>(std::ceil(charWidth_)), lineHeight_);
}

bool TracerEdit::atBottom() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TracerEdit::append(std::string_view text, const std::vector<std::int64_t>& times) {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    const int end = characterCount();
    const bool follow = atBottom();
    store_.append(text, times);
    const int last = store_.lineCount() - 1;
    caret_ = anchor_ = TracerPos{last, lineLength(last)};
    updateScrollBars();
    if (follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
    if (tracerHeard() && utf16Length(text) <= static_cast<std::size_t>(kDescribedChars))
        announceTracerText(this, end, QString(), withLfLineEnds(fromBytes(text)));
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::replaceAll(TracerStore&& store) {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    const auto limit = static_cast<std::size_t>(kDescribedChars);
    const bool described = tracerHeard() && store_.textChars() <= limit && store.textChars() <= limit;
    const QString removed = described ? plainText() : QString();
    store_ = std::move(store);
    undo_.clear();
    caret_ = anchor_ = TracerPos{};
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    if (described)
        announceTracerText(this, 0, removed, plainText());
    announceCaret(oldCaret, oldAnchor, true);
}

void TracerEdit::setMarker(Marker marker) {
    marker_ = std::move(marker);
    viewport()->update();
}

void TracerEdit::clear() {
    replaceAll(TracerStore());
}

TracerPos TracerEdit::clamped(TracerPos pos) const {
    pos.line = std::clamp(pos.line, 0, store_.lineCount() - 1);
    pos.column = std::clamp(pos.column, 0, lineLength(pos.line));
    return pos;
}

void TracerEdit::setSelection(TracerPos anchor, TracerPos caret) {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    anchor_ = clamped(anchor);
    caret_ = clamped(caret);
    ensureCaretVisible();
    restartBlink();
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::insertText(const QString& text) {
    replaceRange(std::min(caret_, anchor_), std::max(caret_, anchor_), text);
}

void TracerEdit::replaceRange(TracerPos s, TracerPos e, const QString& text) {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    const int at = offsetOf(s);
    const bool described =
        tracerHeard() && offsetOf(e) - at <= kDescribedChars && text.size() <= kDescribedChars;
    const QString removed = described ? textBetween(s, e) : QString();
    const QString joined = lineString(s.line).left(s.column) + text + lineString(e.line).mid(e.column);
    const QByteArray bytes = joined.toUtf8();
    std::vector<std::string_view> lines;
    splitTracerText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    [&lines](std::string_view line) { lines.push_back(line); });
    // Lines edited by hand have no time of reception; a line the edit left as it was keeps its own.
    std::vector<std::int64_t> times(lines.size(), kNoLineTime);
    if (s.column == lineLength(s.line) && lines.front() == store_.line(s.line))
        times.front() = store_.lineTime(s.line);
    if (e.column == 0 && lines.back() == store_.line(e.line))
        times.back() = store_.lineTime(e.line);

    TracerEditStep step;
    // The replaced lines' size, near enough, before any of them is copied.
    const std::size_t size =
        store_.charOffset(e.line) - store_.charOffset(s.line) + store_.line(e.line).size();
    const bool kept = undo_.fits(size + static_cast<std::size_t>(bytes.size()));
    if (kept) {
        step.first = s.line;
        std::vector<std::string_view> before;
        for (int i = s.line; i <= e.line; ++i) {
            before.push_back(store_.line(i));
            step.beforeTimes.push_back(store_.lineTime(i));
        }
        step.before = lfJoined(before);
        step.after = lfJoined(lines);
        step.afterTimes = times;
        step.anchorBefore = oldAnchor;
        step.caretBefore = oldCaret;
    }
    store_.replaceLines(s.line, e.line,
                        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), times);
    caret_ = anchor_ = endOfInserted(s, text);
    if (kept) {
        step.caretAfter = caret_;
        undo_.record(std::move(step));
    } else {
        undo_.clear();
    }
    updateScrollBars();
    ensureCaretVisible();
    restartBlink();
    if (described)
        announceTracerText(this, at, removed, withLfLineEnds(text));
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::replaceLinesOf(int first, int last, const std::string& text,
                                const std::vector<std::int64_t>& times) {
    store_.replaceLines(first, last, text, times);
    updateScrollBars();
}

void TracerEdit::announceSwap(int first, const std::string& removed, const std::string& inserted) {
    const auto limit = static_cast<std::size_t>(kDescribedChars);
    if (tracerHeard() && removed.size() <= limit && inserted.size() <= limit)
        announceTracerText(this, offsetOf(TracerPos{first, 0}), fromBytes(removed), fromBytes(inserted));
}

namespace {

int lineCountOf(const std::string& joined) {
    return static_cast<int>(std::count(joined.begin(), joined.end(), '\n')) + 1;
}

} // namespace

void TracerEdit::undo() {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    const TracerEditStep* step = undo_.undo();
    if (step == nullptr)
        return;
    if (!tracerLinesAre(store_, step->first, step->after)) {
        undo_.clear();
        return;
    }
    replaceLinesOf(step->first, step->first + lineCountOf(step->after) - 1, step->before, step->beforeTimes);
    announceSwap(step->first, step->after, step->before);
    anchor_ = clamped(step->anchorBefore);
    caret_ = clamped(step->caretBefore);
    ensureCaretVisible();
    restartBlink();
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::redo() {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    const TracerEditStep* step = undo_.redo();
    if (step == nullptr)
        return;
    if (!tracerLinesAre(store_, step->first, step->before)) {
        undo_.clear();
        return;
    }
    replaceLinesOf(step->first, step->first + lineCountOf(step->before) - 1, step->after, step->afterTimes);
    announceSwap(step->first, step->before, step->after);
    caret_ = anchor_ = clamped(step->caretAfter);
    ensureCaretVisible();
    restartBlink();
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::deleteAround(bool forward) {
    if (hasSelection()) {
        insertText(QString());
        return;
    }
    TracerPos other = caret_;
    if (forward)
        other = caret_.column < lineLength(caret_.line) ? TracerPos{caret_.line, caret_.column + 1}
                                                        : TracerPos{caret_.line + 1, 0};
    else
        other = caret_.column > 0 ? TracerPos{caret_.line, caret_.column - 1}
                                  : TracerPos{caret_.line - 1, lineLength(caret_.line - 1)};
    if (other.line < 0 || other.line >= store_.lineCount())
        return;
    replaceRange(std::min(caret_, other), std::max(caret_, other), QString());
}

void TracerEdit::announceCaret(TracerPos oldCaret, TracerPos oldAnchor, bool always) {
    const bool selectionChanged =
        (oldCaret != oldAnchor || hasSelection()) && (oldCaret != caret_ || oldAnchor != anchor_);
    announceTracerCaret(this, always || oldCaret != caret_, selectionChanged);
    emit positionChanged();
}

int TracerEdit::visibleLines() const {
    return std::max(1, viewport()->height() / lineHeight_);
}

void TracerEdit::updateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visibleLines());
    vertical->setRange(0, std::max(0, store_.lineCount() - visibleLines()));
    QScrollBar* horizontal = horizontalScrollBar();
    const auto width =
        static_cast<qint64>(std::ceil(static_cast<qreal>(store_.longestLine()) * charWidth_)) + 2 * kMargin;
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(static_cast<int>(std::ceil(charWidth_)));
    horizontal->setRange(0, static_cast<int>(std::clamp<qint64>(width - viewport()->width(), 0, 1 << 30)));
}

void TracerEdit::ensureCaretVisible() {
    scrollToShow(caret_);
}

void TracerEdit::scrollToShow(TracerPos pos) {
    pos = clamped(pos);
    QScrollBar* vertical = verticalScrollBar();
    if (pos.line < vertical->value())
        vertical->setValue(pos.line);
    else if (pos.line >= vertical->value() + visibleLines())
        vertical->setValue(pos.line - visibleLines() + 1);
    QScrollBar* horizontal = horizontalScrollBar();
    const int x = static_cast<int>(std::lround(pos.column * charWidth_)) + kMargin;
    if (x < horizontal->value() + kMargin)
        horizontal->setValue(x - kMargin);
    else if (x > horizontal->value() + viewport()->width() - kMargin)
        horizontal->setValue(x - viewport()->width() + kMargin);
    viewport()->update();
}

TracerPos TracerEdit::placeAt(QPoint point, qreal rounding) const {
    TracerPos pos;
    pos.line = verticalScrollBar()->value() + std::max(0, point.y()) / lineHeight_;
    const qreal x = point.x() + horizontalScrollBar()->value() - kMargin;
    pos.column = static_cast<int>(std::clamp<qreal>(std::floor(x / charWidth_ + rounding), 0, 1 << 30));
    return clamped(pos);
}

TracerPos TracerEdit::positionAt(QPoint point) const {
    return placeAt(point, 0.5);
}

TracerPos TracerEdit::characterAt(QPoint point) const {
    return placeAt(point, 0);
}

void TracerEdit::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colours = palette();
    const QFontMetrics metrics = fontMetrics();
    const TracerPos s = std::min(caret_, anchor_);
    const TracerPos e = std::max(caret_, anchor_);
    const int first = verticalScrollBar()->value();
    const int last = std::min(store_.lineCount() - 1, first + visibleLines());
    // Only the columns in view are drawn, whatever a line's length.
    const int firstColumn = std::max(0, static_cast<int>(horizontalScrollBar()->value() / charWidth_) - 1);
    const int columns = static_cast<int>(viewport()->width() / charWidth_) + 3;
    const int endColumn = firstColumn + columns;
    for (int i = first; i <= last; ++i) {
        const QString text = columnsOf(i, firstColumn, columns);
        const int top = (i - first) * lineHeight_;
        const qreal baseline = top + metrics.ascent();
        if (marker_) {
            const std::string_view bytes = store_.line(i);
            if (const std::optional<TracerSpan> match = marker_(bytes)) {
                const auto columns = [&bytes](std::size_t from, std::size_t count) {
                    return static_cast<int>(utf16Length(bytes.substr(from, count)));
                };
                const int from = columns(0, match->start);
                painter.fillRect(QRectF(columnX(from), top, columns(match->start, match->length) * charWidth_,
                                        lineHeight_),
                                 kMatchColour);
            }
        }
        painter.setPen(colours.color(QPalette::Text));
        painter.drawText(QPointF(columnX(firstColumn), baseline), text);
        if (hasSelection() && i >= s.line && i <= e.line) {
            // Where the line ends, when that is in view; a selected line break shows as one selected blank.
            const bool endShown = text.size() < columns && (!text.isEmpty() || firstColumn == 0);
            // A line that shows nothing ends left of the view (the column before the view is never on it).
            const int endOfLine = endShown         ? firstColumn + static_cast<int>(text.size())
                                  : text.isEmpty() ? firstColumn
                                                   : endColumn;
            const int from = std::clamp(i == s.line ? s.column : 0, firstColumn, endColumn);
            const int to = std::clamp(i == e.line ? e.column : endOfLine, firstColumn, endColumn);
            const qreal lineEnd = i < e.line && endShown ? charWidth_ : 0;
            painter.fillRect(QRectF(columnX(from), top, (to - from) * charWidth_ + lineEnd, lineHeight_),
                             colours.brush(QPalette::Highlight));
            painter.setPen(colours.color(QPalette::HighlightedText));
            painter.drawText(QPointF(columnX(from), baseline), text.mid(from - firstColumn, to - from));
        }
        if (i == caret_.line && caretShown_ && hasFocus())
            painter.fillRect(QRectF(columnX(caret_.column), top, 1, lineHeight_),
                             colours.brush(QPalette::Text));
    }
}

void TracerEdit::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    const bool follow = atBottom();
    updateScrollBars();
    if (follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

TracerPos TracerEdit::moved(TracerPos from, int key, Qt::KeyboardModifiers modifiers) const {
    const bool control = modifiers & Qt::ControlModifier;
    switch (key) {
    case Qt::Key_Left:
        if (from.column > 0)
            return {from.line, from.column - 1};
        return from.line > 0 ? TracerPos{from.line - 1, lineLength(from.line - 1)} : from;
    case Qt::Key_Right:
        if (from.column < lineLength(from.line))
            return {from.line, from.column + 1};
        return from.line + 1 < store_.lineCount() ? TracerPos{from.line + 1, 0} : from;
    case Qt::Key_Up:
        return clamped({from.line - 1, from.column});
    case Qt::Key_Down:
        return clamped({from.line + 1, from.column});
    case Qt::Key_PageUp:
        return clamped({from.line - visibleLines(), from.column});
    case Qt::Key_PageDown:
        return clamped({from.line + visibleLines(), from.column});
    case Qt::Key_Home:
        return control ? TracerPos{} : TracerPos{from.line, 0};
    case Qt::Key_End:
        return control ? clamped({store_.lineCount() - 1, 1 << 30})
                       : TracerPos{from.line, lineLength(from.line)};
    default:
        return from;
    }
}

void TracerEdit::moveCaret(TracerPos to, bool keepAnchor) {
    const TracerPos oldCaret = caret_;
    const TracerPos oldAnchor = anchor_;
    caret_ = to;
    if (!keepAnchor)
        anchor_ = to;
    ensureCaretVisible();
    restartBlink();
    announceCaret(oldCaret, oldAnchor);
}

void TracerEdit::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (hasSelection())
            QApplication::clipboard()->setText(selectedText());
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        insertText(QApplication::clipboard()->text());
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        undo();
        return;
    }
    if (event->matches(QKeySequence::Redo)) {
        redo();
        return;
    }
    if (event->matches(QKeySequence::Find)) {
        emit findRequested();
        return;
    }
    if (event->matches(QKeySequence::FindNext) || event->matches(QKeySequence::FindPrevious)) {
        emit findAgainRequested(event->matches(QKeySequence::FindNext));
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        setSelection(TracerPos{}, TracerPos{store_.lineCount() - 1, 1 << 30});
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        moveCaret(moved(caret_, event->key(), event->modifiers()), event->modifiers() & Qt::ShiftModifier);
        return;
    case Qt::Key_Backspace:
        deleteAround(false);
        return;
    case Qt::Key_Delete:
        deleteAround(true);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        insertText(QStringLiteral("\r\n"));
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0) >= QLatin1Char(' ') && text.at(0) != QChar(0x7F)) {
        insertText(text);
        return;
    }
    event->ignore();
}

void TracerEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    moveCaret(positionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TracerEdit::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        moveCaret(positionAt(event->position().toPoint()), true);
}

void TracerEdit::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void TracerEdit::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void TracerEdit::restartBlink() {
    caretShown_ = true;
    const int period = QGuiApplication::styleHints()->cursorFlashTime() / 2;
    if (hasFocus() && period > 0)
        blink_.start(period, this);
    viewport()->update();
}

void TracerEdit::timerEvent(QTimerEvent* event) {
    if (event->timerId() != blink_.timerId()) {
        QAbstractScrollArea::timerEvent(event);
        return;
    }
    caretShown_ = !caretShown_;
    viewport()->update();
}

void TracerEdit::changeEvent(QEvent* event) {
    if (event != nullptr)
        QAbstractScrollArea::changeEvent(event);
    if (event == nullptr || event->type() == QEvent::FontChange) {
        lineHeight_ = std::max(1, fontMetrics().lineSpacing());
        charWidth_ = std::max<qreal>(1, QFontMetricsF(font()).horizontalAdvance(QLatin1Char('0')));
        updateScrollBars();
        viewport()->update();
    }
}

} // namespace korvel
