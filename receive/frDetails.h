#pragma once

// The details window: one frame's data bytes as hexadecimal, bits, decimal with bars, and neighbouring
// byte pairs as 16-bit integers in Motorola or Intel order. Not modal; it remembers its position.

#include "receive/detailsData.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <string>
#include <string_view>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QRadioButton;

namespace korvel {

class DatabaseSet;
class MonitorModel;
class SignalsPanel;

class frDetails final : public QWidget {
    Q_OBJECT
public:
    // Places itself where it was last closed (settings file `iniPath`); Motorola order selected. Deletes
    // itself when closed.
    explicit frDetails(std::string iniPath, QWidget* parent = nullptr);

    // Fills the byte, bit and integer boxes. Never fails.
    void showDetailsData(const QString& dataText);
    void setCommentText(const QString& comment);
    // A frame from a Monitor row or a Tracer line: title, comment and data.
    void showFrame(const QString& idText, const QString& dataText, const QString& comment);
    // A clicked Tracer line: the comment box shows the identifier's stored comment as typed (placeholders
    // not expanded), or nothing when it has none.
    void showTracerFrame(const QString& idText, const QString& dataText, std::string_view commentListText);

    // The loaded databases: a frame one of them defines shows its signals below the bytes. Null or empty:
    // the window looks as it does without databases. Call again after the set changed.
    void setDatabases(const DatabaseSet* databases);

    [[nodiscard]] const QString& idText() const { return idText_; }
    [[nodiscard]] DetailsByteOrder byteOrder() const;

    QLineEdit* txtComment = nullptr;
    std::array<QLineEdit*, 8> txtByteHex{};
    std::array<QCheckBox*, 64> chBit{};
    std::array<QLineEdit*, 8> txtByte{};
    std::array<QProgressBar*, 8> barByte{};
    QRadioButton* optMotorola = nullptr;
    QRadioButton* Option1 = nullptr;
    std::array<QLineEdit*, 7> txtInteger{};
    std::array<QProgressBar*, 7> barInteger{};
    QGroupBox* frSignals = nullptr;
    SignalsPanel* signalsPanel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showIntegers();
    void showSignals();

    std::string iniPath_;
    const DatabaseSet* databases_ = nullptr;
    QString idText_;
    QString dataText_;
    std::array<int, 8> values_{};
};

// Shows the details of a Monitor row: creates the window when it is closed, fills it from the row and
// raises it. Nothing happens when `row` is not a row of the model (an empty list, nothing selected).
frDetails* openDetails(QPointer<frDetails>& window, const MonitorModel& model, int row,
                       const std::string& iniPath, QWidget* parent, const DatabaseSet* databases = nullptr);

// The end of a Monitor update: a shown window follows the selected row's identifier, data and comment, so
// it never shows one frame's bytes under another's identifier. Nothing in the
// Tracer view (the window keeps the clicked line) or when no row is selected.
void refreshDetails(frDetails* window, const MonitorModel& model, int selectedRow, bool tracerView);

} // namespace korvel
