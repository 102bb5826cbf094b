#include "ui/qt/RecoveryModePage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QRadioButton>

#include "app/Gui.h"
#include "app/ParceModeNtfsDlg.h"

namespace tavrel::ui {

using app::ParceModeNtfsDlg;

std::unique_ptr<PageWidget> makeRecoveryModePageWidget() { return std::make_unique<RecoveryModePage>(); }

RecoveryModePage::RecoveryModePage() : WizardPage(app::kRecoveryModePage) {
    auto* group = reg(ParceModeNtfsDlg::kGroup, new QGroupBox(tr("Select Recovery Mode:"), this));
    auto* modes = new QVBoxLayout(group);
    modes->addWidget(reg(ParceModeNtfsDlg::kStandard, new QRadioButton(tr("Standard"), group)));
    modes->addWidget(reg(ParceModeNtfsDlg::kAdvanced, new QRadioButton(tr("Advanced"), group)));
    modes->addWidget(reg(ParceModeNtfsDlg::kDeep, new QRadioButton(tr("Deep"), group)));

    auto* maxRow = new QHBoxLayout;
    maxRow->addWidget(new QLabel(tr("Please Enter Max File Systems to Find :"), group));
    auto* maxField = reg(ParceModeNtfsDlg::kMaxFileSystems, new QLineEdit(QStringLiteral("3"), group));
    maxField->setValidator(new QIntValidator(1, 999, maxField));
    maxField->setMaximumWidth(60);
    maxRow->addWidget(maxField);
    maxRow->addWidget(new QLabel(tr("( By  Default  it's  = 3 )"), group));
    maxRow->addStretch(1);
    modes->addLayout(maxRow);
    modes->addWidget(reg(ParceModeNtfsDlg::kDriveFormatted, new QCheckBox(tr("Is Drive Formated..?"), group)));

    body()->addWidget(group);
    body()->addStretch(1);
}

void RecoveryModePage::bind(app::PageController& controller) {
    bindCommon(controller);
    for (const char* id : {ParceModeNtfsDlg::kStandard, ParceModeNtfsDlg::kAdvanced, ParceModeNtfsDlg::kDeep,
                           ParceModeNtfsDlg::kDriveFormatted})
        bindCommand(controller, id);
}

}  // namespace tavrel::ui
