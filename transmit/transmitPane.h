#pragma once

// The transmit pane below its header: the transmit list listTransmit, the editor frameMessage and the
// buttons of frTxButtons. It mirrors the editor's fields in its controls and forwards what the user does
// to the transmit list and the editor; the rules themselves live in TransmitList and TxEditor.

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace korvel {

struct GlobalState;
class DatabaseSet;
class TransmitList;
class TxEditor;

class TransmitPane final : public QWidget {
    Q_OBJECT
public:
    explicit TransmitPane(GlobalState& state, QWidget* parent = nullptr);
    ~TransmitPane() override;

    [[nodiscard]] TransmitList& list() const { return *list_; }
    [[nodiscard]] TxEditor& editor() const { return *editor_; }
    [[nodiscard]] QTableView* listView() const { return listTransmit; }
    [[nodiscard]] QFrame* editorFrame() const { return frameMessage; }

    // "Single Shot", "Send All" and "Stop All" can be used only while connected and not listening only.
    void setSendButtonsEnabled(bool enabled);
    // The loaded databases: "Signals..." fills a row whose identifier one of them defines. Null or empty:
    // the button is not shown.
    void setDatabases(const DatabaseSet* databases);
    // Opens the signal values of the selected row (the "Signals..." button); the dialog is not modal.
    void editSelectedSignals();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildList();
    QFrame* buildEditor();
    QFrame* buildButtons();
    void connectEditor();
    void showFields();
    void showSelectedRow(int index);
    void showSignalsButton();
    bool filterTypedKey(QLineEdit* edit, QKeyEvent* key);
    bool listKey(QEvent* event);
    void fieldFocused(QLineEdit* edit);
    void fieldLeft(QLineEdit* edit);
    [[nodiscard]] int byteIndex(const QObject* object) const;

    TransmitList* list_ = nullptr;
    TxEditor* editor_ = nullptr;

    QTableView* listTransmit = nullptr;
    QFrame* frameMessage = nullptr;
    QLineEdit* txtID = nullptr;
    QCheckBox* chExtID = nullptr;
    QCheckBox* chRTR = nullptr;
    QLineEdit* txtDLC = nullptr;
    std::array<QLineEdit*, 8> txtByte{};
    QLineEdit* txtPeriod = nullptr;
    QComboBox* coTxMode = nullptr;
    QLineEdit* txtTxComment = nullptr;
    QLineEdit* txtRXID = nullptr;
    QLineEdit* txtRXData = nullptr;
    QLabel* lblNotSent = nullptr;
    QFrame* frTxButtons = nullptr;
    QPushButton* cmdTransmitAdd = nullptr;
    QPushButton* cmdTransmitCopy = nullptr;
    QPushButton* cmdTransmitDel = nullptr;
    QPushButton* cmdSend = nullptr;
    QPushButton* cmdResumeAll = nullptr;
    QPushButton* cmdStopAll = nullptr;
    QPushButton* cmdTxSignals = nullptr;
    const DatabaseSet* databases_ = nullptr;
};

} // namespace korvel
