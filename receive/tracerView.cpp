#include "receive/tracerView.h"

#include "core/prompts.h"
#include "receive/tracerLine.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace korvel {

std::optional<TracerClick> tracerClickAt(const QTextDocument& document, int caret) {
    if (document.blockCount() < 2)
        return std::nullopt;
    // Each line is one block of the document, so the caret's block is the clicked line.
    const QTextBlock block = document.findBlock(std::clamp(caret, 0, document.characterCount() - 1));
    if (!block.isValid())
        return std::nullopt;
    const QString line = block.text();
    return TracerClick{block.position(), static_cast<int>(line.size()), parseTracerLine(line)};
}

TracerView::TracerView(QPlainTextEdit* tracer) : QObject(tracer), tracer_(tracer) {
    setObjectName(QStringLiteral("tracerView"));
    // No line limit, and no undo history growing beside the text.
    tracer_->setMaximumBlockCount(0);
    tracer_->setUndoRedoEnabled(false);
    tracer_->installEventFilter(this);
    viewport_ = tracer_->viewport();
    viewport_->installEventFilter(this);
}

bool TracerView::atBottom() const {
    const QScrollBar* bar = tracer_->verticalScrollBar();
    return bar->value() >= bar->maximum();
}

void TracerView::appendTracerText(std::string_view text) {
    QScrollBar* bar = tracer_->verticalScrollBar();
    const bool follow = atBottom();
    const int kept = bar->value();
    const int keptColumn = tracer_->horizontalScrollBar()->value();

    QTextCursor end(tracer_->document());
    end.movePosition(QTextCursor::End);
    if (!text.empty()) {
        end.beginEditBlock();
        end.insertText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        end.endEditBlock();
    }
    tracer_->setTextCursor(end);

    // Setting the caret scrolls it into view; a reader who scrolled up keeps the place.
    tracer_->horizontalScrollBar()->setValue(keptColumn);
    bar->setValue(follow ? bar->maximum() : kept);
}

bool TracerView::clearWithQuestion() {
    if (!prompts().confirm(QString(), QStringLiteral("Clear Trace?"), PromptIcon::question))
        return false;
    tracer_->clear();
    return true;
}

void TracerView::selectLineAtCaret() {
    const auto click = tracerClickAt(*tracer_->document(), tracer_->textCursor().position());
    if (!click)
        return;
    // The caret goes to the start of the line, so a long line does not scroll the view sideways.
    QTextCursor selection(tracer_->document());
    selection.setPosition(click->start + click->length);
    selection.setPosition(click->start, QTextCursor::KeepAnchor);
    tracer_->setTextCursor(selection);
    if (click->frame)
        emit frameClicked(click->frame->idText, click->frame->dataText);
}

int TracerView::lineCount() const {
    return tracer_->document()->blockCount();
}

std::string TracerView::lineText(int index) const {
    const QTextBlock block = tracer_->document()->findBlockByNumber(index);
    return block.isValid() ? block.text().toStdString() : std::string();
}

int TracerView::caretLine() const {
    return tracer_->textCursor().blockNumber();
}

void TracerView::selectLine(int index) {
    const QTextBlock block = tracer_->document()->findBlockByNumber(index);
    if (!block.isValid())
        return;
    QTextCursor selection(block);
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    tracer_->setTextCursor(selection);
    tracer_->ensureCursorVisible();
}

void TracerView::focusTracer() {
    tracer_->setFocus();
}

bool TracerView::filterKeyPress(QEvent* event) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste))
        return false;
    switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return false;
    default:
        break;
    }
    // Other shortcuts (Ctrl+X, Ctrl+Z, ...) would change the text outside the allowed characters.
    if (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))
        return true;
    const QString text = key->text();
    // Keys that type nothing (arrows, Home, Delete, ...) keep working.
    if (text.isEmpty() || text.at(0) == QChar(0x7F))
        return false;
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
    if (watched == viewport_ && event->type() == QEvent::MouseButtonRelease) {
        // The text box finishes its own click handling (which may move the caret) first.
        QMetaObject::invokeMethod(this, &TracerView::selectLineAtCaret, Qt::QueuedConnection);
        return false;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
