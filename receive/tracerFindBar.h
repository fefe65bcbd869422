#pragma once

// The strip under the Tracer: where the caret stands and how many lines there are, always shown, and the
// find controls that Ctrl+F in the Tracer opens. A search runs in slices between events; after a moment it
// shows its progress and can be cancelled, and one that finds nothing says so.

#include "receive/tracerSearch.h"

#include <QBasicTimer>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace korvel {

class TracerEdit;

class TracerFindBar final : public QWidget {
    Q_OBJECT
public:
    // Text a slice searches before the window takes its events again: a few milliseconds' worth.
    static constexpr std::size_t kSliceBytes = std::size_t{4} << 20;
    // A search shows its progress once it has run this long.
    static constexpr double kProgressAfterSeconds = 0.3;

    explicit TracerFindBar(TracerEdit* tracer, QWidget* parent = nullptr);

    // Shows the find controls with the pattern field focused and its text selected.
    void open();
    // Hides them, stops a search and takes the marks away; the Tracer gets the focus back.
    void close();
    // Finds the next (or previous) matching line from the caret; the line is selected when found.
    void find(bool forward);
    void cancel();

    [[nodiscard]] bool searching() const { return search_ != nullptr; }
    void setSliceBytes(std::size_t bytes) { sliceBytes_ = bytes; }
    // One slice of the search, as the event loop runs it; and the search to its end at once (for tests).
    void searchOn();
    void finishSearch();

protected:
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPosition();
    void patternChanged();
    void searchDone();
    void showState(const QString& text);

    TracerEdit* tracer_;
    QWidget* controls_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLineEdit* pattern_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* close_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* state_ = nullptr;
    QLabel* position_ = nullptr;

    TracerQuery query_;
    std::unique_ptr<TracerSearch> search_;
    double searchStart_ = 0;
    std::size_t sliceBytes_ = kSliceBytes;
    QBasicTimer slices_;
};

} // namespace korvel
