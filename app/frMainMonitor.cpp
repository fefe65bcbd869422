// The main window's Monitor tools on the toolbar: the find box and the change highlighting switch.

#include "app/buttonIcons.h"
#include "app/frMain.h"
#include "receive/monitorModel.h"
#include "receive/monitorView.h"

#include <QAction>
#include <QLineEdit>
#include <QToolBar>

namespace korvel {

void frMain::setUpMonitorTools() {
    monitorTools_ = new MonitorListTools(listReceive, monitorModel_, this);
    monitorToolActions_.push_back(tbrToolBar->addSeparator());
    monitorToolActions_.push_back(tbrToolBar->addWidget(monitorTools_->findBox()));

    const QString key = QStringLiteral("highlight");
    QAction* highlight = tbrToolBar->addAction(buttonIcon(key), QStringLiteral("Highlight Changes"));
    highlight->setObjectName(key);
    highlight->setToolTip(QStringLiteral("Highlight Changes"));
    highlight->setCheckable(true);
    tbrToolBar->widgetForAction(highlight)->setFocusPolicy(Qt::TabFocus);
    connect(highlight, &QAction::toggled, monitorTools_, &MonitorListTools::setChangeHighlight);
    highlight->setChecked(true); // until the settings say otherwise
    toolbarActions_[key] = highlight;
    monitorToolActions_.push_back(highlight);
}

void frMain::showMonitorTools(bool shown) {
    for (QAction* action : monitorToolActions_)
        action->setVisible(shown);
    monitorTools_->setListShown(shown);
}

} // namespace korvel
