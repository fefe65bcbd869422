#include "signals/signalsView.h"

#include "signals/signalTableModel.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace korvel {

SignalsPanel::SignalsPanel(const QString& name, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frame") + name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    caption_ = new QLabel;
    caption_->setObjectName(QStringLiteral("lbl") + name + QStringLiteral("Message"));
    caption_->setAccessibleName(QStringLiteral("Message"));
    caption_->setWordWrap(true);
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    model_ = new SignalTableModel(this);
    list_ = new QTableView;
    list_->setObjectName(QStringLiteral("list") + name);
    list_->setAccessibleName(QStringLiteral("Signals"));
    list_->setModel(model_);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setTabKeyNavigation(false);
    list_->setShowGrid(false);
    list_->setWordWrap(false);
    list_->setAlternatingRowColors(true);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
    list_->horizontalHeader()->setStretchLastSection(true);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The table's corner button is a control of its own, and is named like every other.
    for (QAbstractButton* corner : list_->findChildren<QAbstractButton*>()) {
        corner->setObjectName(QStringLiteral("cmd") + name + QStringLiteral("Corner"));
        corner->setAccessibleName(QStringLiteral("Select all signals"));
    }
    const int widths[] = {140, 90, 60};
    for (int c = 0; c < 3; ++c)
        list_->setColumnWidth(c, widths[c]);
    layout->addWidget(caption_);
    layout->addWidget(list_, 1);
}

SignalsPanel::~SignalsPanel() = default;

bool SignalsPanel::showFrame(const DatabaseSet& databases, std::string_view idText,
                             std::string_view dataText) {
    model_->showFrame(databases, idText, dataText);
    const MessageDef* message = model_->message();
    const QString id = QString::fromUtf8(idText.data(), static_cast<qsizetype>(idText.size()));
    QString text = message == nullptr
                       ? id + QStringLiteral(": not in a loaded database")
                       : QString::fromStdString(message->name) + QStringLiteral(" (") + id + QLatin1Char(')');
    if (message != nullptr && !message->comment.empty())
        text += QStringLiteral(": ") + QString::fromStdString(message->comment);
    if (caption_->text() != text)
        caption_->setText(text);
    return message != nullptr;
}

void SignalsPanel::clearFrame(const QString& caption) {
    model_->clearFrame();
    caption_->setText(caption);
}

SignalsView::SignalsView(const DatabaseSet& databases, FrameSource source, QWidget* parent)
    : QWidget(parent), databases_(databases), source_(std::move(source)) {
    setObjectName(QStringLiteral("signalsView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    panel_ = new SignalsPanel(QStringLiteral("Signals"), this);
    layout->addWidget(panel_);
    timer_ = new QTimer(this);
    timer_->setObjectName(QStringLiteral("tiSignals"));
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &SignalsView::refresh);
    panel_->clearFrame(QStringLiteral("Select a Monitor row"));
}

void SignalsView::refresh() {
    if (!source_ || !source_(idText_, dataText_)) {
        if (showing_)
            panel_->clearFrame(QStringLiteral("Select a Monitor row"));
        showing_ = false;
        return;
    }
    panel_->showFrame(databases_, idText_, dataText_);
    showing_ = true;
}

void SignalsView::databasesChanging() {
    panel_->clearFrame(QStringLiteral("Select a Monitor row"));
    showing_ = false;
}

void SignalsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_->start();
}

void SignalsView::hideEvent(QHideEvent* event) {
    timer_->stop();
    QWidget::hideEvent(event);
}

} // namespace korvel
