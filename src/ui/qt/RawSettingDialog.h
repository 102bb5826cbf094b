// The Setting page as a modal dialog: the rule fields with their "?" tooltips,
// the rule file chosen with "...", "Save" to append a rule, OK and Cancel.
#pragma once

#include <QDialog>
#include <QHash>

#include "app/RawSettingDlg.h"

class QCheckBox;
class QLineEdit;

namespace tavrel::ui {

class RawSettingDialog : public QDialog {
    Q_OBJECT
public:
    RawSettingDialog(app::RawSettingDlg logic, QWidget* parent = nullptr);

    // The widget of a field by id (tests), or nullptr.
    QWidget* field(const QString& id) const { return fields_.value(id); }
    // "..." with a path already chosen (the file dialog's result; "" = cancelled).
    void choose(const QString& path);
    void save();

private:
    QString text(const char* id) const;

    app::RawSettingDlg logic_;
    QHash<QString, QWidget*> fields_;
    QLineEdit* path_;
};

}  // namespace tavrel::ui
