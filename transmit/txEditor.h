#pragma once

// The transmit editor on plain data: the texts of its fields and the rules that run when a field changes,
// whether the user edited it or another rule set it. Every rule writes into the selected row at once; while
// the editor is being loaded from that row (txEditorLoading), the rules write nothing back. The window only
// mirrors these fields in its controls and forwards the user's edits.

#include "transmit/txFieldRules.h"

#include <QObject>

#include <array>
#include <string>
#include <string_view>

namespace korvel {

struct GlobalState;
class TransmitList;

struct TxEditorFields {
    std::string id;
    bool extendedId = false;
    bool remote = false;
    std::string dlc;
    std::array<std::string, 8> bytes{};
    std::array<bool, 8> byteVisible{};
    std::string period = "0";
    int modeEntry = txModeOff;
    std::string comment;
    std::string triggerId;
    std::string triggerData;

    [[nodiscard]] std::size_t idMaxLength() const {
        return extendedId ? kExtendedIdLength : kStandardIdLength;
    }
};

// The frame a received-frame view hands to "Copy to TX List".
struct TxCopySource {
    std::string id;
    std::string dlc;
    std::string data;
    std::string comment;
    std::string period = "0";
};

class TxEditor final : public QObject {
    Q_OBJECT
public:
    // Loads the list's selected row whenever the list asks for it to be shown.
    TxEditor(GlobalState& state, TransmitList& list, QObject* parent = nullptr);

    [[nodiscard]] const TxEditorFields& fields() const { return fields_; }

    // loadTxEditor: the selected row into the fields.
    void load();

    // The field rules; each is what happens when that field changes.
    void setIdText(std::string_view text);
    void leaveId();
    void setExtendedId(bool checked);
    void setDlcText(std::string_view text);
    void leaveDlc();
    void setByteText(int k, std::string_view text);
    void leaveByte(int k);
    void setRemote(bool checked);
    // A period typed into a running row waits for this, leaving the field or Enter, so that the row never
    // runs at the half-typed values on the way (1, 10 and 100 on the way to 1000).
    void setPeriodText(std::string_view text);
    void leavePeriod();
    void selectMode(int entry);
    void setComment(std::string_view text);
    void setTriggerIdText(std::string_view text);
    void setTriggerDataText(std::string_view text);
    void leaveTriggerData();

    // The DLC and the data bytes at once (signal values written into the row), as if typed into their fields.
    void setDataBytes(int length, const uint8_t* data);

    // copyToTxList: a new row filled through the fields, so their rules form its texts.
    void copyToTxList(const TxCopySource& source);

signals:
    // Some field changed; the window shows the fields again.
    void fieldsChanged();

private:
    void idRule(std::string_view text);
    void extendedIdRule(bool checked);
    void dlcRule(std::string_view text);
    void byteRule(int k, std::string_view text);
    void remoteRule(bool checked);
    void periodRule(std::string_view text);
    void applyPeriod();
    void triggerDataRule(std::string_view text);
    [[nodiscard]] bool loading() const;

    GlobalState& state_;
    TransmitList& list_;
    TxEditorFields fields_;
    bool periodPending_ = false; // typed into a running row, not yet applied
};

} // namespace korvel
