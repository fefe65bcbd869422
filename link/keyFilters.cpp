#include "link/keyFilters.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

namespace korvel {

namespace {

bool isTypedCharacter(const QKeyEvent* key) {
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

// A key or context menu that edits other than by copy, paste and typing allowed characters.
bool isRefusedEditing(const QEvent* event) {
    if (event->type() == QEvent::ContextMenu)
        return true;
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste))
        return false;
    for (const QKeySequence::StandardKey refused :
         {QKeySequence::Cut, QKeySequence::Undo, QKeySequence::Redo, QKeySequence::SelectAll,
          QKeySequence::DeleteStartOfWord, QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
          QKeySequence::DeleteCompleteLine}) {
        if (key->matches(refused))
            return true;
    }
    // Any other control character (Ctrl with a letter) is not one the field takes either.
    return (key->modifiers() & Qt::ControlModifier) && key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z;
}

} // namespace

bool CopyPasteOnlyFilter::eventFilter(QObject* watched, QEvent* event) {
    return isRefusedEditing(event) || QObject::eventFilter(watched, event);
}

UpperHexKeyFilter::UpperHexKeyFilter(QObject* parent, QString extra)
    : QObject(parent), extra_(std::move(extra)) {
}

bool UpperHexKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (isRefusedEditing(event))
        return true;
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (!isTypedCharacter(key))
        return false;
    const QChar c = key->text().at(0).toUpper();
    const bool hex =
        (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    if ((hex || extra_.contains(c)) && c != key->text().at(0)) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            edit->insert(QString(c));
        return true;
    }
    return !(hex || extra_.contains(c));
}

bool NoTypingFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && isTypedCharacter(static_cast<QKeyEvent*>(event)))
        return true;
    return QObject::eventFilter(watched, event);
}

bool SelectAllOnFocus::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched))
            QTimer::singleShot(0, edit, &QLineEdit::selectAll); // after the click has placed the caret
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
