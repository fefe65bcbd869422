#pragma once

// What screen readers and other assistive tools see of the Tracer: an editable multi-line text with a
// caret and a selection, read by character, word and line, and told of every change.

#include <QString>

#include <functional>

class QAccessibleEvent;

namespace korvel {

class TracerEdit;

// A change is described to assistive tools with its text up to this many characters either way. A larger
// one (a loaded trace, a long recording cleared, a huge selection deleted) is not: building and sending
// megabytes would stall the program and the reader alike, which reads again around the caret instead.
inline constexpr int kDescribedChars = 1 << 16;

// Lets Qt build the Tracer's accessible interface; once per program, before the first one is asked for.
void installTracerAccessible();

// Whether anyone hears the Tracer's events: a screen reader through Qt, or a test. The text of a change is
// built only then.
[[nodiscard]] bool tracerHeard();
// Tests hear the events here, as Qt hands them on only while a reader is active, which never happens on the
// offscreen platform. An empty function gives them back to Qt.
using TracerListener = std::function<void(QAccessibleEvent*)>;
void setTracerListener(TracerListener listener);

// The caret moved and/or the selection changed.
void announceTracerCaret(TracerEdit* edit, bool caretMoved, bool selectionChanged);
// Text from `position` on was replaced: `removed` went, `inserted` came (LF line ends).
void announceTracerText(TracerEdit* edit, int position, const QString& removed, const QString& inserted);

} // namespace korvel
