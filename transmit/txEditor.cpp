#include "transmit/txEditor.h"

#include "core/basGlobal.h"
#include "core/numberText.h"
#include "transmit/transmitList.h"

#include <algorithm>

namespace korvel {

namespace {

// A field holds at most its limit, as a text box set by the program keeps only what fits.
std::string fitted(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

// Empty or blanks only. A shown byte field like that would leave a gap in the Data column, so it gets "00"
// like one of two blanks.
bool isBlank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

constexpr std::size_t kPeriodFieldLength = 5;
constexpr std::size_t kByteFieldLength = 2;
constexpr std::size_t kDlcFieldLength = 1;

} // namespace

TxEditor::TxEditor(GlobalState& state, TransmitList& list, QObject* parent)
    : QObject(parent), state_(state), list_(list) {
    connect(&list_, &TransmitList::showSelectedRow, this, [this] { load(); });
}

bool TxEditor::loading() const {
    return state_.txEditorLoading;
}

void TxEditor::load() {
    state_.txEditorLoading = true;
    periodPending_ = false;
    if (list_.selectedRow() >= 0) {
        const TxRow r = list_.row(list_.selectedRow());
        fields_.extendedId = r.id.size() > kStandardIdLength;
        idRule(r.id);
        const bool remote = r.data == "RTR";
        for (int k = 0; k < 8; ++k)
            byteRule(k, remote ? std::string_view("00") : std::string_view(byteOfData(r.data, k)));
        remoteRule(remote);
        dlcRule(remote ? std::string_view("0") : std::string_view(r.dlc));
        if (const auto entry = modeEntryForColumn(r.mode))
            fields_.modeEntry = *entry;
        fields_.triggerId = fitted(r.triggerId, kExtendedIdLength);
        fields_.triggerData = fitted(r.triggerData, kTriggerDataLength);
        periodRule(std::to_string(r.period));
        fields_.comment = r.comment;
    }
    list_.updateTxModeFlags();
    state_.txEditorLoading = false;
    emit fieldsChanged();
}

void TxEditor::idRule(std::string_view text) {
    fields_.id = fitted(text, fields_.idMaxLength());
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.id = fields_.id; });
}

void TxEditor::extendedIdRule(bool checked) {
    if (fields_.extendedId == checked)
        return;
    if (loading()) {
        fields_.extendedId = checked;
        return;
    }
    if (checked) {
        fields_.extendedId = true;
        idRule("00000" + fields_.id);
    } else {
        const std::string& id = fields_.id;
        idRule(id.size() > kStandardIdLength ? id.substr(id.size() - kStandardIdLength) : id);
        fields_.extendedId = false;
    }
}

void TxEditor::dlcRule(std::string_view text) {
    fields_.dlc = fitted(text, kDlcFieldLength);
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.dlc = fields_.dlc; });
    const double length = readNumber(fields_.dlc);
    for (int k = 0; k < 8; ++k) {
        const bool visible = length > k;
        fields_.byteVisible[static_cast<std::size_t>(k)] = visible;
        if (!visible)
            byteRule(k, "  ");
        else if (isBlank(fields_.bytes[static_cast<std::size_t>(k)]))
            byteRule(k, "00");
    }
    byteRule(0, std::string(fields_.bytes[0]));
}

void TxEditor::byteRule(int k, std::string_view text) {
    fields_.bytes[static_cast<std::size_t>(k)] = fitted(text, kByteFieldLength);
    if (loading() || list_.selectedRow() < 0 || list_.row(list_.selectedRow()).data == "RTR")
        return;
    list_.editSelected([this, k](TxRow& r) {
        r.data = writeByteIntoData(r.data, k, fields_.bytes[static_cast<std::size_t>(k)]);
    });
}

void TxEditor::remoteRule(bool checked) {
    if (fields_.remote == checked)
        return;
    fields_.remote = checked;
    if (loading())
        return;
    if (checked) {
        dlcRule("0");
        list_.editSelected([](TxRow& r) { r.data = "RTR"; });
    } else {
        dlcRule("8");
        std::string joined;
        for (std::size_t k = 0; k < fields_.bytes.size(); ++k) {
            if (k > 0)
                joined.push_back(' ');
            joined += fields_.bytes[k];
        }
        list_.editSelected([&joined](TxRow& r) { r.data = joined; });
    }
}

void TxEditor::periodRule(std::string_view text) {
    fields_.period = fitted(text, kPeriodFieldLength);
    if (loading())
        return;
    const int row = list_.selectedRow();
    if (row >= 0 && list_.row(row).running) {
        periodPending_ = true;
        return;
    }
    applyPeriod();
}

void TxEditor::applyPeriod() {
    periodPending_ = false;
    list_.applyTxPeriod(fields_.period, fields_.modeEntry == txModePeriodic);
}

void TxEditor::triggerDataRule(std::string_view text) {
    fields_.triggerData = fitted(text, kTriggerDataLength);
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.triggerData = fields_.triggerData; });
}

void TxEditor::setIdText(std::string_view text) {
    idRule(text);
    emit fieldsChanged();
}

void TxEditor::leaveId() {
    idRule(padIdText(fields_.id, fields_.extendedId));
    emit fieldsChanged();
}

void TxEditor::setExtendedId(bool checked) {
    extendedIdRule(checked);
    emit fieldsChanged();
}

void TxEditor::setDlcText(std::string_view text) {
    dlcRule(text);
    emit fieldsChanged();
}

void TxEditor::leaveDlc() {
    if (fields_.dlc.empty())
        dlcRule("0");
    emit fieldsChanged();
}

void TxEditor::setByteText(int k, std::string_view text) {
    if (k < 0 || k > 7)
        return;
    byteRule(k, text);
    emit fieldsChanged();
}

void TxEditor::setDataBytes(int length, const uint8_t* data) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    length = std::clamp(length, 0, 8);
    dlcRule(std::to_string(length));
    for (int k = 0; k < length; ++k) {
        const char text[2] = {kHex[data[k] >> 4], kHex[data[k] & 0x0F]};
        byteRule(k, std::string_view(text, 2));
    }
    emit fieldsChanged();
}

void TxEditor::leaveByte(int k) {
    if (k < 0 || k > 7)
        return;
    const std::string& text = fields_.bytes[static_cast<std::size_t>(k)];
    if (text.size() < kByteFieldLength)
        byteRule(k, padByteText(text));
    emit fieldsChanged();
}

void TxEditor::setRemote(bool checked) {
    remoteRule(checked);
    emit fieldsChanged();
}

void TxEditor::setPeriodText(std::string_view text) {
    periodRule(text);
    emit fieldsChanged();
}

void TxEditor::leavePeriod() {
    if (periodPending_)
        applyPeriod();
    emit fieldsChanged();
}

void TxEditor::selectMode(int entry) {
    if (entry < txModeOff || entry > txModeTrigger)
        return;
    fields_.modeEntry = entry;
    if (entry == txModePeriodic)
        periodPending_ = false; // the row takes the field's period now
    if (!loading())
        list_.applyTxMode(entry, fields_.period);
    emit fieldsChanged();
}

void TxEditor::setComment(std::string_view text) {
    fields_.comment = std::string(text);
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.comment = fields_.comment; });
    emit fieldsChanged();
}

void TxEditor::setTriggerIdText(std::string_view text) {
    fields_.triggerId = fitted(text, kExtendedIdLength);
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.triggerId = fields_.triggerId; });
    emit fieldsChanged();
}

void TxEditor::setTriggerDataText(std::string_view text) {
    triggerDataRule(text);
    emit fieldsChanged();
}

void TxEditor::leaveTriggerData() {
    triggerDataRule(formatTriggerData(fields_.triggerData));
    if (!loading())
        list_.editSelected([this](TxRow& r) { r.triggerId = fields_.triggerId; });
    emit fieldsChanged();
}

void TxEditor::copyToTxList(const TxCopySource& source) {
    // A period still being typed belongs to the row selected so far.
    if (periodPending_)
        applyPeriod();
    list_.appendEmptyRow(); // loads the editor with the empty row
    extendedIdRule(source.id.size() > kStandardIdLength);
    idRule(source.id);
    dlcRule(source.dlc);
    fields_.modeEntry = txModeOff;
    list_.applyTxMode(txModeOff, fields_.period);
    fields_.comment = source.comment;
    list_.editSelected([this](TxRow& r) { r.comment = fields_.comment; });
    const bool remote = source.data == "RTR";
    for (int k = 0; k < 8; ++k)
        byteRule(k, remote ? std::string("00") : byteOfData(source.data, k));
    remoteRule(remote);
    list_.editSelected([](TxRow& r) {
        r.count = "0";
        r.triggerId.clear();
        r.triggerData.clear();
    });
    // Read as a number first, so the field shows the period the row holds, also for a Monitor period
    // beyond the longest one a row takes.
    periodRule(std::to_string(periodFromText(source.period)));
    emit fieldsChanged();
}

} // namespace korvel
