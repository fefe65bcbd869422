#include "receive/canErrorFrame.h"

#include <linux/can.h>
#include <linux/can/error.h>

#include <array>
#include <utility>

namespace korvel {

namespace {

using Bit = std::pair<unsigned, const char*>;

void appendWord(std::string& out, std::string_view word) {
    if (!out.empty())
        out += "; ";
    out += word;
}

// The names of the bits set in `value`, joined by ", "; `none` when no bit is set.
template <std::size_t N>
std::string bitNames(unsigned value, const std::array<Bit, N>& names, const char* none) {
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((value & bit) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += name;
    }
    return text.empty() ? std::string(none) : text;
}

constexpr std::array<Bit, 7> kControllerBits{{
    {CAN_ERR_CRTL_RX_OVERFLOW, "RX buffer overflow"},
    {CAN_ERR_CRTL_TX_OVERFLOW, "TX buffer overflow"},
    {CAN_ERR_CRTL_RX_WARNING, "RX error warning"},
    {CAN_ERR_CRTL_TX_WARNING, "TX error warning"},
    {CAN_ERR_CRTL_RX_PASSIVE, "RX error passive"},
    {CAN_ERR_CRTL_TX_PASSIVE, "TX error passive"},
    {CAN_ERR_CRTL_ACTIVE, "back to error active"},
}};

constexpr std::array<Bit, 8> kProtocolBits{{
    {CAN_ERR_PROT_BIT, "bit error"},
    {CAN_ERR_PROT_FORM, "form error"},
    {CAN_ERR_PROT_STUFF, "stuff error"},
    {CAN_ERR_PROT_BIT0, "cannot send dominant bit"},
    {CAN_ERR_PROT_BIT1, "cannot send recessive bit"},
    {CAN_ERR_PROT_OVERLOAD, "bus overload"},
    {CAN_ERR_PROT_ACTIVE, "active error announcement"},
    {CAN_ERR_PROT_TX, "while transmitting"},
}};

const char* locationName(uint8_t location) {
    switch (location) {
    case CAN_ERR_PROT_LOC_SOF:
        return "start of frame";
    case CAN_ERR_PROT_LOC_ID28_21:
    case CAN_ERR_PROT_LOC_ID20_18:
    case CAN_ERR_PROT_LOC_ID17_13:
    case CAN_ERR_PROT_LOC_ID12_05:
    case CAN_ERR_PROT_LOC_ID04_00:
        return "identifier";
    case CAN_ERR_PROT_LOC_SRTR:
        return "substitute RTR bit";
    case CAN_ERR_PROT_LOC_IDE:
        return "identifier extension bit";
    case CAN_ERR_PROT_LOC_RTR:
        return "RTR bit";
    case CAN_ERR_PROT_LOC_RES0:
    case CAN_ERR_PROT_LOC_RES1:
        return "reserved bit";
    case CAN_ERR_PROT_LOC_DLC:
        return "length code";
    case CAN_ERR_PROT_LOC_DATA:
        return "data";
    case CAN_ERR_PROT_LOC_CRC_SEQ:
        return "CRC";
    case CAN_ERR_PROT_LOC_CRC_DEL:
        return "CRC delimiter";
    case CAN_ERR_PROT_LOC_ACK:
        return "ACK slot";
    case CAN_ERR_PROT_LOC_ACK_DEL:
        return "ACK delimiter";
    case CAN_ERR_PROT_LOC_EOF:
        return "end of frame";
    case CAN_ERR_PROT_LOC_INTERM:
        return "intermission";
    default:
        return nullptr;
    }
}

const char* wireFault(unsigned code) {
    switch (code) {
    case 0x4:
        return "not connected";
    case 0x5:
        return "shorted to battery";
    case 0x6:
        return "shorted to supply";
    case 0x7:
        return "shorted to ground";
    default:
        return nullptr;
    }
}

// The low half tells of CAN high, the high half of CAN low.
std::string transceiverText(uint8_t status) {
    std::string text;
    if (const char* fault = wireFault(status & 0x0Fu))
        text = std::string("CAN high ") + fault;
    const char* lowFault = (status >> 4) == 0x8 ? "shorted to CAN high" : wireFault(status >> 4);
    if (lowFault != nullptr)
        text += (text.empty() ? "CAN low " : ", CAN low ") + std::string(lowFault);
    return text.empty() ? std::string("unspecified") : text;
}

// The state the error counters put the controller in, by the thresholds every controller uses.
std::string stateOfCounters(int tx, int rx) {
    const int worst = tx > rx ? tx : rx;
    if (worst >= CAN_ERROR_PASSIVE_THRESHOLD)
        return "error passive";
    if (worst >= CAN_ERROR_WARNING_THRESHOLD)
        return "error warning";
    return "error active";
}

} // namespace

std::optional<CanErrorReport> decodeCanErrorFrame(const CanWireFrame& frame) {
    if ((frame.canId & CAN_ERR_FLAG) == 0)
        return std::nullopt;
    const uint32_t kind = frame.canId & CAN_ERR_MASK;
    const auto& d = frame.data;
    CanErrorReport report;
    if (kind & CAN_ERR_TX_TIMEOUT)
        appendWord(report.words, "transmit timeout");
    if (kind & CAN_ERR_LOSTARB)
        appendWord(report.words, d[0] == CAN_ERR_LOSTARB_UNSPEC
                                     ? std::string("lost arbitration")
                                     : "lost arbitration at bit " + std::to_string(d[0]));
    if (kind & CAN_ERR_CRTL) {
        appendWord(report.words, "controller: " + bitNames(d[1], kControllerBits, "unspecified"));
        report.overrun = (d[1] & (CAN_ERR_CRTL_RX_OVERFLOW | CAN_ERR_CRTL_TX_OVERFLOW)) != 0;
        if (d[1] & (CAN_ERR_CRTL_RX_PASSIVE | CAN_ERR_CRTL_TX_PASSIVE))
            report.state = "error passive";
        else if (d[1] & (CAN_ERR_CRTL_RX_WARNING | CAN_ERR_CRTL_TX_WARNING))
            report.state = "error warning";
        else if (d[1] & CAN_ERR_CRTL_ACTIVE)
            report.state = "error active";
    }
    if (kind & CAN_ERR_PROT) {
        std::string text = "protocol violation: " + bitNames(d[2], kProtocolBits, "unspecified");
        if (const char* where = locationName(d[3]))
            text += std::string(" in the ") + where;
        appendWord(report.words, text);
    }
    if (kind & CAN_ERR_TRX)
        appendWord(report.words, "transceiver: " + transceiverText(d[4]));
    if (kind & CAN_ERR_ACK)
        appendWord(report.words, "no acknowledgement");
    if (kind & CAN_ERR_BUSERROR)
        appendWord(report.words, "bus error");
    if (kind & CAN_ERR_RESTARTED) {
        appendWord(report.words, "controller restarted");
        report.state = "error active";
    }
    if (kind & CAN_ERR_CNT) {
        report.txErrors = d[6];
        report.rxErrors = d[7];
        if (!report.state)
            report.state = stateOfCounters(d[6], d[7]);
    }
    // Bus-off outranks whatever else the frame says.
    if (kind & CAN_ERR_BUSOFF) {
        appendWord(report.words, "bus off");
        report.state = "bus off";
    }
    if (report.words.empty())
        report.words = "error frame";
    return report;
}

} // namespace korvel
