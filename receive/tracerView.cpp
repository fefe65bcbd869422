#include "receive/tracerView.h"

#include "core/prompts.h"
#include "receive/tracerEdit.h"
#include "receive/tracerLine.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMetaObject>
#include <QMouseEvent>

#include <chrono>

namespace korvel {

TracerView::TracerView(TracerEdit* tracer) : QObject(tracer), tracer_(tracer) {
    setObjectName(QStringLiteral("tracerView"));
    tracer_->installEventFilter(this);
    viewport_ = tracer_->viewport();
    viewport_->installEventFilter(this);
    wallClock_ = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };
}

void TracerView::appendTracerText(std::string_view text) {
    tracerReceptionTimes(text, wallClock_(), lastTimeUs_, times_);
    lastTimeUs_ = times_.back();
    tracer_->append(text, times_);
}

bool TracerView::clearWithQuestion() {
    if (!prompts().confirm(QString(), QStringLiteral("Clear Trace?"), PromptIcon::question))
        return false;
    tracer_->clear();
    return true;
}

void TracerView::selectLineAtCaret() {
    if (lineCount() < 2)
        return;
    const int line = caretLine();
    selectLine(line);
    if (const auto frame = parseTracerLine(tracer_->lineString(line)))
        emit frameClicked(frame->idText, frame->dataText);
}

int TracerView::lineCount() const {
    return tracer_->store().lineCount();
}

std::string TracerView::lineText(int index) const {
    return std::string(tracer_->store().line(index));
}

int TracerView::caretLine() const {
    return tracer_->caret().line;
}

void TracerView::selectLine(int index) {
    if (index < 0 || index >= lineCount())
        return;
    // The caret goes to the start of the line, so a long line does not scroll the view sideways.
    tracer_->setSelection(TracerPos{index, static_cast<int>(tracer_->lineString(index).size())},
                          TracerPos{index, 0});
}

void TracerView::focusTracer() {
    tracer_->setFocus();
}

const TracerStore& TracerView::lines() const {
    return tracer_->store();
}

void TracerView::replaceAll(TracerStore&& lines) {
    tracer_->replaceAll(std::move(lines));
}

bool TracerView::filterKeyPress(QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Undo and redo bring back only what was there; find moves nothing but the caret.
    for (const auto allowed :
         {QKeySequence::Copy, QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Find,
          QKeySequence::FindNext, QKeySequence::FindPrevious}) {
        if (key->matches(allowed))
            return false;
    }
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    // Tab and Shift+Tab leave the Tracer, as they leave any other control.
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return false;
    default:
        break;
    }
    const QString text = key->text();
    // Keys that type nothing (arrows, Home, Delete, ...) keep working, with Ctrl too.
    if (text.isEmpty() || text.at(0) == QChar(0x7F))
        return false;
    // Other shortcuts (Ctrl+X, Ctrl+A, ...) would change the text outside the allowed characters.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return true;
    if (text.size() != 1 || text.at(0).unicode() < 0x20)
        return true;
    const std::optional<QChar> allowed = tracerTypedChar(text.at(0));
    if (!allowed)
        return true;
    if (*allowed == text.at(0))
        return false;
    QKeyEvent upper(QEvent::KeyPress, key->key(), key->modifiers(), QString(*allowed), key->isAutoRepeat(),
                    static_cast<ushort>(key->count()));
    QCoreApplication::sendEvent(tracer_, &upper);
    return true;
}

bool TracerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tracer_ && event->type() == QEvent::KeyPress)
        return filterKeyPress(event);
    if (watched == tracer_ && event->type() == QEvent::KeyRelease) {
        const int k = static_cast<QKeyEvent*>(event)->key();
        if (k == Qt::Key_Up || k == Qt::Key_Down)
            selectLineAtCaret();
        return false;
    }
    // The viewport is compared by its stored address: during the text box's destruction its events still
    // arrive here, when calling into the half-destroyed box is no longer allowed.
    if (watched == viewport_ && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The text box finishes its own click handling (which may move the caret) first.
        QMetaObject::invokeMethod(this, &TracerView::selectLineAtCaret, Qt::QueuedConnection);
        return false;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
