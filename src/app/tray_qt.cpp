// Linux only: the tray icon on QSystemTrayIcon.
#include "app/tray_qt.h"

#include "app/tray.h"

CTrailhostSysTray::CTrailhostSysTray(const std::string& serverName, QObject* parent,
                                     std::function<void()> close)
    : serverName_(serverName), menu_(std::make_unique<QMenu>()) {
    const TrayTexts texts = MakeTrayTexts(serverName_);
    icon_ = new QSystemTrayIcon(QIcon(":/shell/trailhost.ico"), parent);
    icon_->setObjectName("TrailhostTray");
    icon_->setToolTip(QString::fromStdString(texts.tooltip));
    menu_->setObjectName("TrailhostTrayMenu");
    QAction* running = menu_->addAction(QString::fromStdString(texts.runningItem));
    running->setEnabled(false);
    QAction* closeItem = menu_->addAction(QString::fromStdString(texts.closeItem));
    QObject::connect(closeItem, &QAction::triggered, icon_, [close] { close(); });
    // The menu comes with a right click; a double-click does nothing.
    icon_->setContextMenu(menu_.get());
}

CTrailhostSysTray::~CTrailhostSysTray() {
    Uninstall();
    delete icon_;
}

bool CTrailhostSysTray::Install(const std::string& balloonText) {
    const TrayTexts texts = MakeTrayTexts(serverName_);
    icon_->show();
    icon_->showMessage(QString::fromStdString(texts.balloonTitle),
                       QString::fromStdString(balloonText), QSystemTrayIcon::Information,
                       kBalloonSeconds * 1000);
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrailhostSysTray::Uninstall() {
    icon_->hide();
}
