#include "transmit/transmitList.h"

#include "core/basGlobal.h"
#include "core/deadlineTimer.h"
#include "core/numberText.h"
#include "transmit/txFieldRules.h"
#include "transmit/txWire.h"

namespace korvel {

namespace {

// A timer may wake a little before the time it was armed for; a send that close to its time is due.
constexpr int64_t kEarlyToleranceUs = 200;

// The leading decimal digits of a count column.
std::string countDigits(std::string_view count) {
    std::string digits;
    for (char c : count) {
        if (c < '0' || c > '9')
            break;
        digits.push_back(c);
    }
    return digits;
}

// The count column less one, never below 0.
std::string decrementedCount(std::string_view count) {
    std::string digits = countDigits(count);
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '0')
        --i;
    if (i == 0)
        return "0";
    --digits[i - 1];
    std::fill(digits.begin() + static_cast<std::ptrdiff_t>(i), digits.end(), '9');
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

// The count column plus one; counts are decimal digits of any length, so no number type can overflow.
std::string incrementedCount(std::string_view count) {
    std::string digits = countDigits(count);
    if (digits.empty())
        return "1";
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return digits;
        }
        digits[i] = '0';
    }
    return "1" + digits;
}

} // namespace

TransmitList::TransmitList(GlobalState& state, QObject* parent)
    : QObject(parent), state_(state), nowUs_(steadyMicroseconds), timer_(new DeadlineTimer(this)) {
    timer_->setObjectName(QStringLiteral("tiSendMessage"));
    connect(timer_, &DeadlineTimer::timeout, this, [this] { runDueTimers(nowUs_()); });
}

TransmitList::~TransmitList() = default;

void TransmitList::setClock(std::function<int64_t()> nowUs) {
    nowUs_ = nowUs ? std::move(nowUs) : std::function<int64_t()>(steadyMicroseconds);
    armTimer();
}

void TransmitList::setSelectedRow(int index) {
    if (index < -1 || index >= rowCount())
        return;
    selectAndShow(index);
}

void TransmitList::selectAndShow(int index) {
    selected_ = index;
    emit showSelectedRow(index);
}

void TransmitList::addTimerIfNeeded() {
    while (timerCount() <= rowCount())
        timerDueUs_.push_back(0);
}

void TransmitList::addTxRow() {
    const int at = model_.appendRow(TxRow{});
    addTimerIfNeeded();
    selectAndShow(at);
}

void TransmitList::copyTxRow() {
    if (selected_ < 0)
        return;
    const TxRow& source = row(selected_);
    TxRow copy;
    copy.id = source.id;
    copy.dlc = source.dlc;
    copy.data = source.data;
    copy.comment = source.comment;
    copy.triggerId = source.triggerId;
    copy.period = source.period;
    copy.triggerData = source.triggerData;
    const int at = model_.appendRow(copy);
    addTimerIfNeeded();
    selectAndShow(at);
}

void TransmitList::deleteTxRow() {
    if (selected_ < 0)
        return;
    const int k = selected_;
    // The timers below move up with their rows; the last one is fresh, so the count of timers stays.
    timerDueUs_.erase(timerDueUs_.begin() + k + 1);
    timerDueUs_.push_back(0);
    model_.removeRowAt(k);
    layout_ = (layout_ % 0x7FFF) + 1;
    armTimer();
    setNotSent(0, {});
    selectAndShow(rowCount() == 0 ? -1 : (k < rowCount() ? k : rowCount() - 1));
}

void TransmitList::appendEmptyRow() {
    TxRow empty;
    empty.id.clear();
    empty.dlc.clear();
    empty.data.clear();
    empty.mode.clear();
    empty.count.clear();
    const int at = model_.appendRow(empty);
    addTimerIfNeeded();
    selectAndShow(at);
}

void TransmitList::replaceRows(std::vector<TxRow> rows) {
    timerDueUs_.assign(1, 0);
    for (TxRow& r : rows)
        r.running = false;
    model_.replaceRows(std::move(rows));
    layout_ = (layout_ % 0x7FFF) + 1;
    addTimerIfNeeded();
    armTimer();
    setNotSent(0, {});
    selectAndShow(rowCount() > 0 ? 0 : -1);
}

void TransmitList::editSelected(const std::function<void(TxRow&)>& edit) {
    if (selected_ < 0)
        return;
    TxRow changed = row(selected_);
    edit(changed);
    model_.setRow(selected_, changed);
}

void TransmitList::transmitRow(int row) {
    if (!state_.isConnected || row < 1 || row > rowCount())
        return;
    const TxRow& r = this->row(row - 1);
    std::string problem;
    const auto frame = wireFrameFromRow(r.id, r.dlc, r.data, &problem);
    if (!frame) {
        setNotSent(row, "Row " + std::to_string(row) + " not sent: " + problem + ".");
        return;
    }
    const int tag = row <= 0xFFFF ? (layout_ << 16) | row : 0;
    if (!hooks_.send || !hooks_.send(frame->idText, frame->dlcText, frame->dataText, tag))
        return;
    model_.setCount(row - 1, incrementedCount(this->row(row - 1).count));
    if (row == notSentRow_)
        setNotSent(0, {});
}

void TransmitList::uncountRefusedFrame(int tag) {
    const int row = tag & 0xFFFF;
    if ((tag >> 16) != layout_ || row < 1 || row > rowCount())
        return;
    model_.setCount(row - 1, decrementedCount(this->row(row - 1).count));
}

void TransmitList::setNotSent(int row, std::string text) {
    notSentRow_ = row;
    if (text == notSentText_)
        return;
    notSentText_ = std::move(text);
    emit notSentTextChanged();
}

void TransmitList::sendSelectedOnce() {
    if (selected_ >= 0)
        transmitRow(selected_ + 1);
}

void TransmitList::startTimer(int index) {
    TxRow r = row(index);
    if (r.running)
        return;
    r.running = true;
    timerDueUs_[static_cast<std::size_t>(index) + 1] = nowUs_() + int64_t{r.period} * 1000;
    model_.setRow(index, r);
}

void TransmitList::setRunning(int index, bool running) {
    TxRow r = row(index);
    if (r.running == running)
        return;
    r.running = running;
    model_.setRow(index, r);
}

// A running timer goes on with the new period from now, as a timer whose interval is set restarts.
void TransmitList::setPeriod(int index, int period) {
    TxRow r = row(index);
    if (r.period == period)
        return;
    r.period = period;
    if (r.running)
        timerDueUs_[static_cast<std::size_t>(index) + 1] = nowUs_() + int64_t{period} * 1000;
    model_.setRow(index, r);
}

void TransmitList::applyTxMode(int entry, std::string_view periodText) {
    if (selected_ < 0 || entry < txModeOff || entry > txModeTrigger)
        return;
    if (entry == txModePeriodic) {
        const int period = periodFromText(periodText);
        setPeriod(selected_, period);
        editSelected([period](TxRow& r) { r.mode = std::to_string(period); });
        startTimer(selected_);
    } else {
        setRunning(selected_, false);
        editSelected([entry](TxRow& r) { r.mode = kTxModeNames[entry]; });
    }
    armTimer();
    updateTxModeFlags();
}

void TransmitList::applyTxPeriod(std::string_view periodText, bool selectorShowsPeriodic) {
    if (selected_ < 0)
        return;
    const int period = periodFromText(periodText);
    setPeriod(selected_, period);
    if (selectorShowsPeriodic)
        editSelected([period](TxRow& r) { r.mode = std::to_string(period); });
    armTimer();
}

void TransmitList::sendAllPeriodic() {
    if (rowCount() == 0)
        return;
    for (int i = 0; i < rowCount(); ++i) {
        TxRow r = row(i);
        if (r.period <= 0)
            continue;
        r.mode = std::to_string(r.period);
        model_.setRow(i, r);
        startTimer(i);
    }
    armTimer();
    selectAndShow(selected_);
}

void TransmitList::stopAllTx() {
    if (rowCount() == 0)
        return;
    for (int i = 0; i < rowCount(); ++i) {
        TxRow r = row(i);
        r.running = false;
        r.mode = "off";
        model_.setRow(i, r);
    }
    armTimer();
    selectAndShow(selected_);
}

void TransmitList::stopAllTimers() {
    for (int i = 0; i < rowCount(); ++i)
        setRunning(i, false);
    armTimer();
}

void TransmitList::resetCounts() {
    model_.setAllCounts("0");
}

void TransmitList::updateTxModeFlags() {
    bool rtr = false;
    bool trigger = false;
    for (const TxRow& r : model_.rows()) {
        rtr = rtr || r.mode == "RTR";
        trigger = trigger || r.mode == "Trigger";
    }
    state_.txAnyRtrMode = rtr;
    state_.txAnyTriggerMode = trigger;
}

void TransmitList::answerRemoteRequest(std::string_view idText) {
    for (int i = 0; i < rowCount(); ++i) {
        const TxRow& r = row(i);
        if (r.mode == "RTR" && r.id == idText) {
            transmitRow(i + 1);
            return;
        }
    }
}

void TransmitList::checkTriggers(std::string_view idText, std::string_view dataText) {
    for (int i = 0; i < rowCount(); ++i) {
        const TxRow& r = row(i);
        if (r.mode == "Trigger" && r.triggerId == idText && matchTriggerData(dataText, r.triggerData))
            transmitRow(i + 1);
    }
}

void TransmitList::runDueTimers(int64_t nowUs) {
    for (int i = 0; i < rowCount(); ++i) {
        const TxRow& r = row(i);
        int64_t& due = timerDueUs_[static_cast<std::size_t>(i) + 1];
        if (!r.running || r.period <= 0 || due > nowUs + kEarlyToleranceUs)
            continue;
        const int64_t period = int64_t{r.period} * 1000;
        transmitRow(i + 1);
        // The next send stays on the grid; ticks that passed during a stall are skipped rather than sent
        // in a burst.
        due += period;
        if (due <= nowUs)
            due += ((nowUs - due) / period + 1) * period;
    }
    armTimer();
}

int64_t TransmitList::nextDueUs() const {
    int64_t next = -1;
    for (int i = 0; i < rowCount(); ++i) {
        const TxRow& r = row(i);
        const int64_t due = timerDueUs_[static_cast<std::size_t>(i) + 1];
        if (r.running && r.period > 0 && (next < 0 || due < next))
            next = due;
    }
    return next;
}

void TransmitList::armTimer() {
    const int64_t next = nextDueUs();
    if (next < 0) {
        timer_->stop();
        return;
    }
    // The due times are on the list's clock, which tests replace; the timer runs on the steady one.
    timer_->start(steadyMicroseconds() + (next - nowUs_()));
}

} // namespace korvel
