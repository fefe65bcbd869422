#pragma once

// Where a user reads a frame's signals: a caption with the message's name and comment over a table of its
// signals. The live Signals view follows a frame source (the selected Monitor row) at a reading pace, and
// decodes only when the frame changed, however many frames arrive between two looks.

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QLabel;
class QTableView;
class QTimer;

namespace korvel {

class DatabaseSet;
class SignalTableModel;

class SignalsPanel final : public QWidget {
    Q_OBJECT
public:
    // `name` prefixes the object names of the caption and the table ("Signals" gives lblSignalsMessage and
    // listSignals).
    explicit SignalsPanel(const QString& name, QWidget* parent = nullptr);
    ~SignalsPanel() override;

    // Shows the frame's signals; false when no loaded database defines its identifier.
    bool showFrame(const DatabaseSet& databases, std::string_view idText, std::string_view dataText);
    // Shows nothing, with `caption` in place of a message; call before the databases change.
    void clearFrame(const QString& caption = {});

    [[nodiscard]] SignalTableModel& model() const { return *model_; }
    [[nodiscard]] QLabel* caption() const { return caption_; }
    [[nodiscard]] QTableView* list() const { return list_; }

private:
    SignalTableModel* model_ = nullptr;
    QLabel* caption_ = nullptr;
    QTableView* list_ = nullptr;
};

class SignalsView final : public QWidget {
    Q_OBJECT
public:
    // Fills the identifier and data texts of the frame to show; false when there is none.
    using FrameSource = std::function<bool(std::string& idText, std::string& dataText)>;

    SignalsView(const DatabaseSet& databases, FrameSource source, QWidget* parent = nullptr);

    // Looks at the source now (the timer does it while the view is shown).
    void refresh();
    // Before the databases change: nothing of the old ones stays referenced.
    void databasesChanging();

    [[nodiscard]] SignalsPanel* panel() const { return panel_; }
    [[nodiscard]] QTimer* refreshTimer() const { return timer_; }

    // A person reads a value a few times a second; decoding faster would only cost the receive poll.
    static constexpr int kRefreshMs = 250;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    const DatabaseSet& databases_;
    FrameSource source_;
    SignalsPanel* panel_ = nullptr;
    QTimer* timer_ = nullptr;
    std::string idText_;
    std::string dataText_;
    bool showing_ = false;
};

} // namespace korvel
