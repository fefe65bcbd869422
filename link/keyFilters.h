#pragma once

// Keyboard rules of the register and identifier fields: typed letters become upper case and only the
// allowed characters pass; Backspace, copy, paste and the navigation keys keep working. Among the editing
// shortcuts only copy and paste pass (no cut, undo, redo, select-all or word deletion), and the context
// menu, which offers them too, does not open. Pasted text is not checked here.

#include <QObject>
#include <QString>

namespace korvel {

class UpperHexKeyFilter final : public QObject {
    Q_OBJECT
public:
    // `extra` lists further characters that may be typed (for example ",").
    explicit UpperHexKeyFilter(QObject* parent, QString extra = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString extra_;
};

// The shortcut and context-menu part of those rules alone, for fields that check characters otherwise.
class CopyPasteOnlyFilter final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Swallows typed characters, so a drop-down list changes only by picking an entry.
class NoTypingFilter final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Selects a line edit's whole text when it gains the focus.
class SelectAllOnFocus final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace korvel
