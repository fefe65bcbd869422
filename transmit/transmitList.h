#pragma once

// The transmit list's behaviour without a window: adding, copying and deleting rows with their timers,
// sending a row, the modes and their timers, the remote-request answer and the trigger check.
//
// Every row owns one timer, created when the list first grows to that row and moved with its row when a row
// above it is deleted. A timer's period, running state and trigger data are fields of its row; the timer
// itself holds the time it fires next. Periodic rows keep to a fixed grid: each send is due one period
// after the previous one was due, so lateness never accumulates, and a row that missed ticks during a stall
// sends once and then goes on at the next grid point, instead of catching up in a burst.

#include "transmit/txListModel.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

class DeadlineTimer;

struct GlobalState;

// What the list reaches outside the transmit area, handed over by the main window.
struct TransmitHooks {
    // Writes one well-formed frame to the adapter; false when nothing was sent (not connected). `tag` names
    // the row for uncountRefusedFrame, should the adapter refuse the frame later.
    std::function<bool(std::string_view idText, std::string_view dlcText, std::string_view dataText, int tag)>
        send;
};

class TransmitList final : public QObject {
    Q_OBJECT
public:
    explicit TransmitList(GlobalState& state, QObject* parent = nullptr);
    ~TransmitList() override;

    void setHooks(TransmitHooks hooks) { hooks_ = std::move(hooks); }
    // Microseconds of a steady clock; tests replace it and run the timers with runDueTimers.
    void setClock(std::function<int64_t()> nowUs);

    [[nodiscard]] TxListModel& model() { return model_; }
    [[nodiscard]] const TxListModel& model() const { return model_; }
    [[nodiscard]] int rowCount() const { return model_.rowCount(); }
    [[nodiscard]] const TxRow& row(int index) const { return model_.row(index); }
    // The selected row from 0, or -1 while the list is empty.
    [[nodiscard]] int selectedRow() const { return selected_; }
    void setSelectedRow(int index);
    // Timers that exist, the unused timer 0 included.
    [[nodiscard]] int timerCount() const { return static_cast<int>(timerDueUs_.size()); }

    void addTxRow();
    void copyTxRow();
    void deleteTxRow();
    // Appends a row whose columns are all empty and selects it.
    void appendEmptyRow();
    // Replaces every row and timer, as loading a list file does; the first row becomes selected.
    void replaceRows(std::vector<TxRow> rows);

    // Changes the selected row; nothing while the list is empty.
    void editSelected(const std::function<void(TxRow&)>& edit);

    // Sends row `row` (from 1) when connected and its texts make a frame, and counts it. A row that makes
    // no frame is not sent, and notSentText says why until that row is sent or rows are deleted or loaded.
    void transmitRow(int row);
    // The adapter refused a frame sent with `tag`: it comes off its row's count, unless rows were deleted
    // or loaded since, when the row it named may be another.
    void uncountRefusedFrame(int tag);
    [[nodiscard]] const std::string& notSentText() const { return notSentText_; }
    void sendSelectedOnce();
    void applyTxMode(int entry, std::string_view periodText);
    void applyTxPeriod(std::string_view periodText, bool selectorShowsPeriodic);
    void sendAllPeriodic();
    void stopAllTx();
    // Disconnecting: every timer stops, the mode columns stay.
    void stopAllTimers();
    void resetCounts();
    void updateTxModeFlags();

    void answerRemoteRequest(std::string_view idText);
    void checkTriggers(std::string_view idText, std::string_view dataText);

    // Sends every periodic row that is due at `nowUs`, in list order, and arms the timer for the next one.
    void runDueTimers(int64_t nowUs);
    // When the next periodic send is due, or -1 when none is.
    [[nodiscard]] int64_t nextDueUs() const;

signals:
    // The selected row is to be shown again (-1: the list is empty): the view selects it and scrolls it into
    // view, the editor loads it.
    void showSelectedRow(int index);
    void notSentTextChanged();

private:
    void addTimerIfNeeded();
    void startTimer(int index);
    void setPeriod(int index, int period);
    void setRunning(int index, bool running);
    void armTimer();
    void selectAndShow(int index);
    void setNotSent(int row, std::string text);

    GlobalState& state_;
    TxListModel model_;
    TransmitHooks hooks_;
    std::function<int64_t()> nowUs_;
    int selected_ = -1;
    // Indexed by timer number; timer 0 exists from the start and belongs to no row.
    std::vector<int64_t> timerDueUs_{0};
    DeadlineTimer* timer_ = nullptr;
    int notSentRow_ = 0; // from 1; 0 while every row could be sent
    int layout_ = 1;     // changes when rows are deleted or replaced, so an old tag names no row
    std::string notSentText_;
};

} // namespace korvel
