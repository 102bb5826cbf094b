#include "ui/qt/KeptSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QWidget>

namespace tavrel::ui::kept {

namespace {
QString folderKey(const QString& dialog) { return QStringLiteral("folders/") + dialog; }
const QString kWindowKey = QStringLiteral("window/geometry");
const QString kRuleFileKey = QStringLiteral("raw/ruleFile");
}  // namespace

QString lastFolder(const QString& dialog) {
    const QString folder = QSettings().value(folderKey(dialog)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QDir::homePath();
}

void rememberFolder(const QString& dialog, const QString& folder) {
    if (folder.isEmpty()) return;
    QSettings().setValue(folderKey(dialog), QFileInfo(folder).absoluteFilePath());
}

void rememberFileFolder(const QString& dialog, const QString& file) {
    if (file.isEmpty()) return;
    rememberFolder(dialog, QFileInfo(file).absolutePath());
}

bool previewShown() { return QSettings().value(QStringLiteral("preview/shown"), true).toBool(); }

void rememberPreviewShown(bool shown) { QSettings().setValue(QStringLiteral("preview/shown"), shown); }

QString lastRuleFile() { return QSettings().value(kRuleFileKey).toString(); }

void rememberRuleFile(const QString& file) {
    if (file.isEmpty()) return;
    QSettings().setValue(kRuleFileKey, QFileInfo(file).absoluteFilePath());
}

void saveWindow(const QWidget& window) { QSettings().setValue(kWindowKey, window.saveGeometry()); }

bool restoreWindow(QWidget& window) {
    const QByteArray geometry = QSettings().value(kWindowKey).toByteArray();
    return !geometry.isEmpty() && window.restoreGeometry(geometry);
}

}  // namespace tavrel::ui::kept
