#pragma once

// What the Monitor list adds to a plain table view: header clicks that sort, a find box that jumps to an
// identifier as it is typed, the painting and timer of the change highlighting, and a selected row that
// stays where it is on screen while the rows around it move.

#include <QObject>
#include <QPersistentModelIndex>

class QLineEdit;
class QTableView;
class QTimer;

namespace korvel {

class MonitorModel;

class MonitorListTools final : public QObject {
    Q_OBJECT
public:
    MonitorListTools(QTableView* list, MonitorModel* model, QObject* parent = nullptr);

    // For the toolbar.
    [[nodiscard]] QLineEdit* findBox() const { return txtFindId; }
    [[nodiscard]] QTimer* highlightTimer() const { return tiHighlight; }

    void setChangeHighlight(bool on);
    // The highlighting is refreshed only while the list is shown.
    void setListShown(bool shown);

    // A click on a column header.
    void headerClicked(int column);
    // The find box: a jump to the best match as the text changes, to the next one on Enter.
    void findTyped();
    void findNext();

private:
    void jumpTo(int row);
    void showFound(bool found);
    [[nodiscard]] int selectedRow() const;
    void updateTimer();
    void rememberSelectedPlace();
    void keepSelectedPlace();

    QTableView* list_;
    MonitorModel* model_;
    QLineEdit* txtFindId = nullptr;
    QTimer* tiHighlight = nullptr;
    bool listShown_ = true;
    QPersistentModelIndex anchor_; // the selected row while the rows move, when it was on screen
    int anchorY_ = 0;
};

} // namespace korvel
