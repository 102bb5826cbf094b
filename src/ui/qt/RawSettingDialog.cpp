#include "ui/qt/RawSettingDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

#include "ui/qt/Mnemonics.h"

namespace tavrel::ui {

RawSettingDialog::RawSettingDialog(app::RawSettingDlg logic, QWidget* parent) : QDialog(parent), logic_(logic) {
    setWindowTitle(QString::fromUtf8(app::RawSettingDlg::kTitle));
    auto* outer = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,18}")), this);
    int row = 0;
    for (const auto& f : app::RawSettingDlg::kFields) {
        const QString id = QString::fromUtf8(f.id);
        QWidget* input = nullptr;
        if (id == QStringLiteral("includesHeader")) {
            input = new QCheckBox(QString::fromUtf8(f.label), this);
            grid->addWidget(input, row, 0, 1, 2);
        } else {
            grid->addWidget(new QLabel(QString::fromUtf8(f.label), this), row, 0);
            auto* edit = new QLineEdit(this);
            if (f.digitsOnly) edit->setValidator(digits);
            input = edit;
            grid->addWidget(edit, row, 1);
        }
        input->setObjectName(id);
        fields_.insert(id, input);
        auto* help = new QToolButton(this);
        help->setText(QStringLiteral("?"));
        const QString tip = QString::fromUtf8(f.tooltip);
        help->setToolTip(tip);
        // "?" shows its tooltip again and does nothing else.
        connect(help, &QToolButton::clicked, this, [help, tip] {
            help->setToolTip(tip);
            QToolTip::showText(help->mapToGlobal(QPoint(0, help->height())), tip, help);
        });
        grid->addWidget(help, row, 2);
        ++row;
    }
    outer->addLayout(grid);

    auto* group = new QGroupBox(QString::fromUtf8(app::RawSettingDlg::kGroup), this);
    auto* pathRow = new QHBoxLayout(group);
    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    path_->setObjectName(QStringLiteral("path"));
    pathRow->addWidget(path_, 1);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    pathRow->addWidget(browse);
    auto* saveButton = new QPushButton(tr("Save"), this);
    saveButton->setObjectName(QStringLiteral("save"));
    pathRow->addWidget(saveButton);
    outer->addWidget(group);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    outer->addWidget(buttons);

    connect(browse, &QPushButton::clicked, this, [this] {
        // Rules are appended to the chosen file, so an existing one needs no warning.
        choose(QFileDialog::getSaveFileName(this, QString(), QString(), tr("Text Files (*.txt)"), nullptr,
                                            QFileDialog::DontConfirmOverwrite));
    });
    connect(saveButton, &QPushButton::clicked, this, &RawSettingDialog::save);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    giveMnemonics(this);
}

void RawSettingDialog::choose(const QString& path) {
    if (logic_.chooseFile(path.toStdString())) path_->setText(path);
    else path_->clear();
}

QString RawSettingDialog::text(const char* id) const {
    auto* edit = qobject_cast<QLineEdit*>(fields_.value(QString::fromUtf8(id)));
    return edit ? edit->text() : QString();
}

void RawSettingDialog::save() {
    raw::RuleFields f;
    f.extension = text("extension").toStdString();
    f.startSignature = text("startSignature").toStdString();
    f.startOffset = text("startOffset").toStdString();
    f.endSignature = text("endSignature").toStdString();
    f.sizeFieldOffset = text("sizeOffset").toStdString();
    f.sizeFieldBytes = text("sizeBytes").toStdString();
    f.headerSize = text("headerSize").toStdString();
    f.skipSize = text("skipSize").toStdString();
    f.approxSize = text("approxSize").toStdString();
    f.category = text("category").toStdString();
    if (auto* box = qobject_cast<QCheckBox*>(fields_.value(QStringLiteral("includesHeader"))))
        f.sizeIncludesHeader = box->isChecked();
    logic_.save(f);
}

}  // namespace tavrel::ui
