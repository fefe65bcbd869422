#include "receive/tracerAccessible.h"

#include "receive/tracerEdit.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>

namespace korvel {

namespace {

// A few lines of the text on their own, so that Qt's own rules find the character, word, sentence or line
// around an offset there, without the whole text being built for them.
class TextWindow final : public QAccessibleTextInterface {
public:
    explicit TextWindow(QString text) : text_(std::move(text)) {}

    QString text(int startOffset, int endOffset) const override {
        return text_.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(text_.size()); }
    // Qt's rules ask for the caret only for offset -2, which the caller has already resolved.
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        return {};
    }

private:
    QString text_;
};

enum class Around { before, at, after };

class TracerAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TracerAccessible(TracerEdit* edit) : QAccessibleWidget(edit, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // The value is the caret's line: the whole text of a long recording is no value to read out.
    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value)
            return edit()->lineString(edit()->caret().line);
        return QAccessibleWidget::text(type);
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !edit()->hasSelection())
            return;
        *startOffset = edit()->offsetOf(std::min(edit()->caret(), edit()->anchor()));
        *endOffset = edit()->offsetOf(std::max(edit()->caret(), edit()->anchor()));
    }
    int selectionCount() const override { return edit()->hasSelection() ? 1 : 0; }
    // The Tracer has one selection; adding one replaces it.
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override {
        if (selectionIndex == 0)
            edit()->setSelection(edit()->caret(), edit()->caret());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override {
        if (selectionIndex == 0)
            edit()->setSelection(edit()->positionOfOffset(startOffset), edit()->positionOfOffset(endOffset));
    }

    int cursorPosition() const override { return edit()->offsetOf(edit()->caret()); }
    void setCursorPosition(int position) override {
        const TracerPos pos = edit()->positionOfOffset(position);
        edit()->setSelection(pos, pos);
    }

    QString text(int startOffset, int endOffset) const override {
        startOffset = std::max(0, startOffset);
        endOffset = std::min(endOffset, characterCount());
        if (startOffset >= endOffset)
            return {};
        return edit()->textBetween(edit()->positionOfOffset(startOffset),
                                   edit()->positionOfOffset(endOffset));
    }
    int characterCount() const override { return edit()->characterCount(); }

    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override {
        return around(Around::before, offset, type, startOffset, endOffset);
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override {
        return around(Around::at, offset, type, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override {
        return around(Around::after, offset, type, startOffset, endOffset);
    }

    QRect characterRect(int offset) const override {
        const QRect r = edit()->characterRect(edit()->positionOfOffset(offset));
        return QRect(edit()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = edit()->viewport()->mapFromGlobal(point);
        if (!edit()->viewport()->rect().contains(local))
            return -1;
        return edit()->offsetOf(edit()->characterAt(local));
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        edit()->scrollToShow(edit()->positionOfOffset(endIndex));
        edit()->scrollToShow(edit()->positionOfOffset(startIndex));
    }
    // Plain text: the same (no) attributes everywhere.
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    [[nodiscard]] TracerEdit* edit() const { return static_cast<TracerEdit*>(widget()); }

    // The piece around an offset, found in the line holding it and the lines on either side: words and
    // sentences do not run on across more lines than that.
    QString around(Around where, int offset, QAccessible::TextBoundaryType type, int* startOffset,
                   int* endOffset) const {
        *startOffset = *endOffset = -1;
        const int count = characterCount();
        if (offset == -1)
            offset = count;
        else if (offset == -2)
            offset = cursorPosition();
        if (offset < 0 || offset > count)
            return {};
        if (type == QAccessible::NoBoundary) {
            if (where != Around::at)
                return {};
            *startOffset = 0;
            *endOffset = count;
            return text(0, count);
        }
        const int line = edit()->positionOfOffset(offset).line;
        const int lastLine = edit()->store().lineCount() - 1;
        const TracerPos from{std::max(0, line - 1), 0};
        // The window ends after the following line's line end, when it has one.
        const TracerPos to = line + 2 <= lastLine ? TracerPos{line + 2, 0} : TracerPos{lastLine, 1 << 30};
        const int base = edit()->offsetOf(from);
        const TextWindow window(edit()->textBetween(from, to));
        const int inWindow = offset - base;
        QString found;
        switch (where) {
        case Around::before:
            found = window.textBeforeOffset(inWindow, type, startOffset, endOffset);
            break;
        case Around::at:
            found = window.textAtOffset(inWindow, type, startOffset, endOffset);
            break;
        case Around::after:
            found = window.textAfterOffset(inWindow, type, startOffset, endOffset);
            break;
        }
        if (*startOffset >= 0) {
            *startOffset += base;
            *endOffset += base;
        }
        return found;
    }
};

TracerListener& listener() {
    static TracerListener heard;
    return heard;
}

void announce(QAccessibleEvent* event) {
    if (listener())
        listener()(event);
    else
        QAccessible::updateAccessibility(event);
}

QAccessibleInterface* tracerInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(TracerEdit::staticMetaObject.className()))
        return new TracerAccessible(static_cast<TracerEdit*>(object));
    return nullptr;
}

} // namespace

void installTracerAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(tracerInterface);
        return true;
    }();
    (void)installed;
}

bool tracerHeard() {
    return listener() || QAccessible::isActive();
}

void setTracerListener(TracerListener heard) {
    listener() = std::move(heard);
}

void announceTracerCaret(TracerEdit* edit, bool caretMoved, bool selectionChanged) {
    if (!tracerHeard())
        return;
    const int caret = edit->offsetOf(edit->caret());
    if (selectionChanged) {
        const int anchor = edit->offsetOf(edit->anchor());
        QAccessibleTextSelectionEvent event(edit, std::min(caret, anchor), std::max(caret, anchor));
        event.setCursorPosition(caret);
        announce(&event);
    }
    if (caretMoved) {
        QAccessibleTextCursorEvent event(edit, caret);
        announce(&event);
    }
}

void announceTracerText(TracerEdit* edit, int position, const QString& removed, const QString& inserted) {
    if (!tracerHeard() || (removed.isEmpty() && inserted.isEmpty()))
        return;
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent event(edit, position, inserted);
        announce(&event);
    } else if (inserted.isEmpty()) {
        QAccessibleTextRemoveEvent event(edit, position, removed);
        announce(&event);
    } else {
        QAccessibleTextUpdateEvent event(edit, position, removed, inserted);
        announce(&event);
    }
}

} // namespace korvel
