#pragma once

// Fills a transmit row's data from signal values: one line per signal of the row's message, its value
// typed as a number or picked by its value name. "Ok" writes the values into the row's bytes; a value that
// cannot be written keeps the dialog open and says why.

#include <QDialog>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTableWidget;

namespace korvel {

struct MessageDef;

class frmTxSignals final : public QDialog {
    Q_OBJECT
public:
    enum Column { colName, colValue, colUnit, colRange };

    // `data` holds the row's current bytes, whose signals the value column starts with.
    frmTxSignals(const MessageDef& message, const std::array<uint8_t, 8>& data, QWidget* parent = nullptr);

    // After "Ok": the bytes with the values written, and the message's length.
    [[nodiscard]] const std::array<uint8_t, 8>& data() const { return data_; }
    [[nodiscard]] int length() const;

    // Writes the values; false (and the reason shown) when one cannot be written.
    bool apply();

    QLabel* lblTxSignalsMessage = nullptr;
    QTableWidget* listTxSignals = nullptr;
    QLabel* lblTxSignalsError = nullptr;
    QPushButton* cmdTxSignalsOk = nullptr;
    QPushButton* cmdTxSignalsCancel = nullptr;

private:
    const MessageDef& message_;
    std::array<uint8_t, 8> data_{};
    std::vector<std::string> shown_; // each value as first shown, so only edited values are written
};

} // namespace korvel
