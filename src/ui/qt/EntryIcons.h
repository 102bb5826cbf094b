// Icons of the entry tree and the file list from the desktop theme: the folder
// icon, and for files the icon of the type their name's extension suggests
// (cached per extension, so long lists cost one look-up per type).
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace tavrel::ui {

class EntryIcons {
public:
    const QIcon& folder();
    const QIcon& forFileName(const QString& name);

private:
    QIcon folder_;
    QIcon file_;
    QHash<QString, QIcon> byExtension_;
};

}  // namespace tavrel::ui
