// What the wizard keeps between runs in the application's settings (QSettings
// under the organisation and application names main() sets): the folder each
// file dialog last used, the raw recovery page's last rule file, the main
// window's size and position, and whether the preview pane shows.
#pragma once

#include <QString>

class QWidget;

namespace tavrel::ui::kept {

// The folder the named dialog last used; the home folder when none is kept or
// the kept one is gone.
QString lastFolder(const QString& dialog);
// Keeps folder (or the folder of a chosen file) for the named dialog.
void rememberFolder(const QString& dialog, const QString& folder);
void rememberFileFolder(const QString& dialog, const QString& file);

// Whether the preview pane shows (shown unless the user hid it).
bool previewShown();
void rememberPreviewShown(bool shown);

// The rule file last chosen on the raw recovery page ("" when none is kept).
QString lastRuleFile();
void rememberRuleFile(const QString& file);

void saveWindow(const QWidget& window);
// False when nothing was kept (the window keeps its default size).
bool restoreWindow(QWidget& window);

}  // namespace tavrel::ui::kept
