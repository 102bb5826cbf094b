#include "ui/qt/EntryIcons.h"

#include <QFileIconProvider>
#include <QMimeDatabase>

namespace tavrel::ui {

const QIcon& EntryIcons::folder() {
    if (folder_.isNull()) folder_ = QFileIconProvider().icon(QFileIconProvider::Folder);
    return folder_;
}

const QIcon& EntryIcons::forFileName(const QString& name) {
    if (file_.isNull()) file_ = QFileIconProvider().icon(QFileIconProvider::File);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || dot == name.size() - 1) return file_;
    const QString extension = name.mid(dot + 1).toLower();
    auto it = byExtension_.find(extension);
    if (it == byExtension_.end()) {
        const QMimeDatabase mimes;
        const QMimeType type = mimes.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
        QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        if (icon.isNull()) icon = file_;
        it = byExtension_.insert(extension, icon);
    }
    return *it;
}

}  // namespace tavrel::ui
