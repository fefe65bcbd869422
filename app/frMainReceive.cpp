// The main window's receive side: the poll timer, the Monitor and Tracer commands, the details and comment
// windows, the filter dialog and the comment list files.

#include "core/basGlobal.h"
#include "app/frMain.h"
#include "core/prompts.h"
#include "filters/frmFilter.h"
#include "link/connection.h"
#include "receive/commentFile.h"
#include "receive/frDetails.h"
#include "receive/frmComment.h"
#include "receive/monitorFold.h"
#include "receive/monitorModel.h"
#include "receive/receivePoll.h"
#include "receive/tracerView.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>

namespace korvel {

void frMain::setUpReceive() {
    tracerView_ = new TracerView(txtTracer);

    ReceiveHooks hooks;
    hooks.appendTracerText = [this](std::string_view text) {
        tracerView_->appendTracerText(text);
    };
    hooks.refreshDetails = [this] {
        refreshDetails(details_, *monitorModel_, selectedMonitorRow(), basGlobal.hasOption(optTracerMode));
    };
    poll_ = std::make_unique<ReceivePoll>(basGlobal, link_->transport(), *monitorModel_, std::move(hooks));

    connect(tiCAN, &QTimer::timeout, this, &frMain::pollTick);

    connect(listReceive, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (details_ && details_->isVisible())
            openDetails(details_, *monitorModel_, index.row(), basGlobal.iniPath, this);
    });
    monitorViewport_ = listReceive->viewport();
    monitorViewport_->installEventFilter(this);

    connect(tracerView_, &TracerView::frameClicked, this, [this](const QString& id, const QString& data) {
        if (details_ && details_->isVisible())
            details_->showTracerFrame(id, data, basGlobal.commentListText);
    });
}

void frMain::pollTick() {
    tiCAN->stop();
    if (!poll_->poll()) {
        link_->disconnectLink();
        prompts().critical(QStringLiteral("Disconnected!"));
    }
    if (basGlobal.isConnected)
        tiCAN->start();
}

frDetails* frMain::detailsWindow() const {
    return details_;
}

frmComment* frMain::commentWindow() const {
    return comment_;
}

int frMain::selectedMonitorRow() const {
    const QModelIndex current = listReceive->selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool frMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && watched == monitorViewport_) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const int commentLeft =
            listReceive->horizontalHeader()->sectionViewportPosition(MonitorModel::colComment);
        if (commentColumnClickOpens(static_cast<int>(mouse->position().x()), commentLeft,
                                    monitorModel_->rowCount())) {
            const QModelIndex index = listReceive->indexAt(mouse->position().toPoint());
            openCommentFor(index.isValid() ? index.row() : selectedMonitorRow());
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frMain::openCommentFor(int row) {
    if (row < 0)
        return;
    if (!comment_) {
        comment_ = new frmComment(
            *monitorModel_, [this] { return selectedMonitorRow(); }, basGlobal, this);
        comment_->setAttribute(Qt::WA_DeleteOnClose);
    }
    comment_->openFor(row);
}

void frMain::clearReceiveView() {
    if (basGlobal.hasOption(optTracerMode))
        tracerView_->clearWithQuestion();
    else
        monitorModel_->clear();
}

void frMain::toggleDetailsWindow() {
    if (details_ && details_->isVisible()) {
        details_->close();
        return;
    }
    openDetails(details_, *monitorModel_, selectedMonitorRow(), basGlobal.iniPath, this);
}

void frMain::filterCommand() {
    frmFilter dialog(basGlobal, this);
    connect(&dialog, &QDialog::accepted, this, [this] {
        setStatusText(3, QString::fromStdString(filterStateText(basGlobal.options)));
        if (basGlobal.deviceKind == deviceCom || basGlobal.deviceKind == deviceUsb)
            link_->applyAcceptanceFilter();
    });
    dialog.exec();
}

void frMain::loadCommentList() {
    const QString file =
        prompts().openFileName(QStringLiteral("Load Comment List"), QStringLiteral("Comments (*.cmt)"));
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    loadCommentListFile(basGlobal.lastFileName, basGlobal.commentListText);
    monitorModel_->setStoredComments(basGlobal.commentListText);
}

void frMain::saveCommentList() {
    const QString file =
        prompts().saveFileName(QStringLiteral("Save Comment List"), QStringLiteral("Comments (*.cmt)"));
    if (file.isEmpty())
        return;
    basGlobal.lastFileName = file.toStdString();
    saveCommentListFile(basGlobal.lastFileName, basGlobal.commentListText);
}

void frMain::closeSecondaryWindows() {
    // In this order: the details window stores its position as it closes.
    if (details_)
        details_->close();
    if (comment_)
        comment_->close();
    if (about_)
        about_->close();
}

} // namespace korvel
