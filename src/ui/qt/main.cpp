// tavrel: the desktop wizard. An optional argument preselects an image.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include "ui/qt/KeptSettings.h"
#include "ui/qt/QtWizard.h"
#include "ui/qt/RunningInstance.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TavrelV3.02"));
    QApplication::setApplicationName(QStringLiteral("TavrelV3.02"));

    // One instance per user: a lock file in the runtime folder.
    const QString runtime = tavrel::ui::RunningInstance::runtimeFolder();
    QLockFile lock(tavrel::ui::RunningInstance::lockPath(runtime));
    const bool anotherInstance = !lock.tryLock(0);

    const QStringList args = QApplication::arguments();
    const std::string imagePath = args.size() > 1 ? QFileInfo(args.at(1)).absoluteFilePath().toStdString() : std::string();

    tavrel::ui::QtWizard wizard;
    // The first instance raises its window when a second one starts; a second
    // one asks for that before it says why it does not start.
    tavrel::ui::RunningInstance beacon;
    const QString beaconName = tavrel::ui::RunningInstance::socketName(runtime);
    if (anotherInstance) {
        tavrel::ui::RunningInstance::askToRaise(beaconName);
    } else {
        beacon.onRaise = [&wizard] {
            QWidget& window = wizard.window();
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.show();
            window.raise();
            window.activateWindow();
        };
        beacon.listen(beaconName);
    }
    // The dialogs' folders and the window's size and position carry over between runs.
    wizard.gui().keepSettings = true;
    if (!anotherInstance) tavrel::ui::kept::restoreWindow(wizard.window());
    if (!wizard.start(anotherInstance, imagePath)) return 0;
    const int code = QApplication::exec();
    tavrel::ui::kept::saveWindow(wizard.window());
    return code;
}
