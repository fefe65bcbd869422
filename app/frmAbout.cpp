#include "app/frmAbout.h"

#include "app/buttonIcons.h"
#include "core/basGlobal.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace korvel {

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    imgBack = new QLabel;
    imgBack->setObjectName(QStringLiteral("imgBack"));
    imgBack->setPixmap(buttonIcon(QStringLiteral("korvel")).pixmap(96, 96));
    imgBack->setAlignment(Qt::AlignCenter);

    lblTitle = new QLabel(QString::fromLatin1(kAppTitle));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblVersion = new QLabel(QStringLiteral("Version ") + QString::fromStdString(versionText()));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    auto* description = new QLabel(QStringLiteral("CAN Monitor + Tracer"));
    description->setObjectName(QStringLiteral("lblDescription"));

    const QString url = QString::fromLatin1(kProjectUrl);
    lblForum = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(url));
    lblForum->setObjectName(QStringLiteral("lblForum"));
    lblForum->setAccessibleName(QStringLiteral("Project web site"));
    lblForum->setTextInteractionFlags(Qt::TextBrowserInteraction);
    lblForum->setOpenExternalLinks(false);
    // A browser that cannot be started gives no message.
    connect(lblForum, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });

    cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addWidget(description);
    text->addSpacing(8);
    text->addWidget(lblForum);
    text->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addWidget(imgBack);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(380, 180)));
}

} // namespace korvel
