// Linux only: the tray icon on QSystemTrayIcon.
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include "app/tray.h"
#include "app/tray_posix.h"

struct CTrailhostSysTray::Impl {
    std::string serverName;
    std::unique_ptr<QMenu> menu = std::make_unique<QMenu>();
    // A child of the application, where the icon can be found; it goes with it at the latest.
    QPointer<QSystemTrayIcon> icon;
};

CTrailhostSysTray::CTrailhostSysTray(const std::string& serverName, std::function<void()> close)
    : impl_(std::make_unique<Impl>()) {
    impl_->serverName = serverName;
    const TrayTexts texts = MakeTrayTexts(serverName);
    QMenu* menu = impl_->menu.get();
    auto* icon = new QSystemTrayIcon(QIcon(":/shell/trailhost.ico"), QCoreApplication::instance());
    impl_->icon = icon;
    icon->setObjectName("TrailhostTray");
    icon->setToolTip(QString::fromStdString(texts.tooltip));
    menu->setObjectName("TrailhostTrayMenu");
    QAction* running = menu->addAction(QString::fromStdString(texts.runningItem));
    running->setEnabled(false);
    QAction* closeItem = menu->addAction(QString::fromStdString(texts.closeItem));
    QObject::connect(closeItem, &QAction::triggered, icon, [close] { close(); });
    // The menu comes with a right click; a double-click does nothing.
    icon->setContextMenu(menu);
}

CTrailhostSysTray::~CTrailhostSysTray() {
    Uninstall();
    delete impl_->icon.data();
}

bool CTrailhostSysTray::Install(const std::string& balloonText) {
    if (impl_->icon == nullptr) {
        return false;
    }
    const TrayTexts texts = MakeTrayTexts(impl_->serverName);
    impl_->icon->show();
    impl_->icon->showMessage(QString::fromStdString(texts.balloonTitle),
                             QString::fromStdString(balloonText), QSystemTrayIcon::Information,
                             kBalloonSeconds * 1000);
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrailhostSysTray::Uninstall() {
    if (impl_->icon != nullptr) {
        impl_->icon->hide();
    }
}
