#include "receive/monitorView.h"

#include "receive/monitorModel.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

namespace korvel {

namespace {

constexpr int kHighlightTickMs = 50;
constexpr QColor kGlow{255, 170, 0};

// Paints quiet rows greyed and the glow behind each changed data byte; everything else as the default.
class MonitorDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        if (index.data(MonitorModel::quietRole).toBool())
            opt.palette.setColor(QPalette::Text, opt.palette.color(QPalette::Disabled, QPalette::Text));
        const QByteArray heat = index.data(MonitorModel::changeHeatRole).toByteArray();
        if (heat.isEmpty()) {
            QStyledItemDelegate::paint(painter, opt, index);
            return;
        }
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        const QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect textRect =
            style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(margin, 0, -margin, 0);
        const QFontMetrics metrics(opt.font);
        const int digit = metrics.horizontalAdvance(QLatin1Char('0'));
        painter->save();
        painter->setClipRect(opt.rect);
        for (qsizetype i = 0; i < heat.size() && 3 * i + 1 < text.size(); ++i) {
            const int glow = static_cast<uint8_t>(heat[i]);
            if (glow == 0)
                continue;
            QColor colour = kGlow;
            colour.setAlpha(glow * 3 / 4);
            const int left = textRect.left() + static_cast<int>(3 * i) * digit - digit / 4;
            painter->fillRect(QRect(left, opt.rect.top() + 1, 2 * digit + digit / 2, opt.rect.height() - 2),
                              colour);
        }
        const bool selected = (opt.state & QStyle::State_Selected) != 0;
        const QPalette::ColorGroup group = (opt.state & QStyle::State_Enabled) == 0  ? QPalette::Disabled
                                           : (opt.state & QStyle::State_Active) != 0 ? QPalette::Active
                                                                                     : QPalette::Inactive;
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(textRect, static_cast<int>(opt.displayAlignment) | Qt::TextSingleLine,
                          metrics.elidedText(text, Qt::ElideRight, textRect.width()));
        painter->restore();
    }
};

} // namespace

MonitorListTools::MonitorListTools(QTableView* list, MonitorModel* model, QObject* parent)
    : QObject(parent), list_(list), model_(model) {
    list_->setItemDelegate(new MonitorDelegate(list_));

    QHeaderView* header = list_->horizontalHeader();
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &MonitorListTools::headerClicked);

    txtFindId = new QLineEdit;
    txtFindId->setObjectName(QStringLiteral("txtFindId"));
    txtFindId->setAccessibleName(QStringLiteral("Find ID"));
    txtFindId->setPlaceholderText(QStringLiteral("Find ID"));
    txtFindId->setToolTip(QStringLiteral("Jumps to the identifier as it is typed; Enter finds the next one"));
    txtFindId->setMaxLength(8);
    txtFindId->setClearButtonEnabled(true);
    txtFindId->setMaximumWidth(
        txtFindId->fontMetrics().horizontalAdvance(QStringLiteral("Find ID 00000000")) + 40);
    connect(txtFindId, &QLineEdit::textEdited, this, &MonitorListTools::findTyped);
    connect(txtFindId, &QLineEdit::returnPressed, this, &MonitorListTools::findNext);
    auto* back = new QShortcut(QKeySequence(Qt::Key_Escape), txtFindId, nullptr, nullptr, Qt::WidgetShortcut);
    back->setObjectName(QStringLiteral("findIdEscape"));
    connect(back, &QShortcut::activated, list_, [this] { list_->setFocus(Qt::ShortcutFocusReason); });

    // Ctrl+F belongs to the list, not the window: the Tracer has a find of its own.
    auto* find = new QShortcut(QKeySequence::Find, list_, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    find->setObjectName(QStringLiteral("findIdShortcut"));
    connect(find, &QShortcut::activated, txtFindId, [this] {
        txtFindId->setFocus(Qt::ShortcutFocusReason);
        txtFindId->selectAll();
    });

    tiHighlight = new QTimer(this);
    tiHighlight->setObjectName(QStringLiteral("tiHighlight"));
    tiHighlight->setInterval(kHighlightTickMs);
    connect(tiHighlight, &QTimer::timeout, model_, &MonitorModel::refreshHighlight);

    connect(model_, &QAbstractItemModel::layoutAboutToBeChanged, this,
            &MonitorListTools::rememberSelectedPlace);
    connect(model_, &QAbstractItemModel::layoutChanged, this, &MonitorListTools::keepSelectedPlace);
}

void MonitorListTools::setChangeHighlight(bool on) {
    model_->setChangeHighlight(on);
    updateTimer();
}

void MonitorListTools::setListShown(bool shown) {
    listShown_ = shown;
    if (shown)
        model_->refreshHighlight();
    updateTimer();
}

void MonitorListTools::updateTimer() {
    if (model_->changeHighlight() && listShown_)
        tiHighlight->start();
    else
        tiHighlight->stop();
}

void MonitorListTools::headerClicked(int column) {
    const MonitorSort sort = nextMonitorSort(model_->sort(), column);
    model_->setSort(sort);
    // The header moves its indicator by itself on any click; it shows the order the rows are in.
    QHeaderView* header = list_->horizontalHeader();
    header->setSortIndicatorShown(sort.active());
    if (sort.active())
        header->setSortIndicator(sort.column, sort.descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void MonitorListTools::findTyped() {
    const QString typed = txtFindId->text();
    if (typed.trimmed().isEmpty()) {
        showFound(true);
        return;
    }
    const int row = model_->findId(typed.toStdString());
    showFound(row >= 0);
    jumpTo(row);
}

void MonitorListTools::findNext() {
    const int row = model_->findNextId(txtFindId->text().toStdString(), selectedRow() + 1);
    showFound(row >= 0 || txtFindId->text().trimmed().isEmpty());
    jumpTo(row);
}

void MonitorListTools::jumpTo(int row) {
    if (row < 0)
        return;
    list_->selectRow(row);
    list_->scrollTo(model_->index(row, 0), QAbstractItemView::EnsureVisible);
}

void MonitorListTools::showFound(bool found) {
    // No match tints the box, as desktop find boxes do; the text stays for correcting.
    QPalette palette = QApplication::palette(txtFindId);
    if (!found)
        palette.setColor(QPalette::Base, QColor(255, 200, 200));
    txtFindId->setPalette(palette);
    txtFindId->setProperty("found", found);
}

int MonitorListTools::selectedRow() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void MonitorListTools::rememberSelectedPlace() {
    anchor_ = QPersistentModelIndex();
    const int row = selectedRow();
    if (row < 0)
        return;
    const int y = list_->rowViewportPosition(row);
    if (y < 0 || y >= list_->viewport()->height())
        return;
    anchor_ = QPersistentModelIndex(model_->index(row, 0));
    anchorY_ = y;
}

void MonitorListTools::keepSelectedPlace() {
    if (!anchor_.isValid())
        return;
    const int row = anchor_.row();
    anchor_ = QPersistentModelIndex();
    const int moved = list_->rowViewportPosition(row) - anchorY_;
    if (moved == 0)
        return;
    QScrollBar* bar = list_->verticalScrollBar();
    const int step =
        list_->verticalScrollMode() == QAbstractItemView::ScrollPerItem ? list_->rowHeight(row) : 1;
    bar->setValue(bar->value() + moved / std::max(step, 1));
}

} // namespace korvel
