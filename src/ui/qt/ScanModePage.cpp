#include "ui/qt/ScanModePage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "app/Gui.h"

namespace tavrel::ui {

ScanModePage::ScanModePage() : WizardPage(app::kScanModePage) {
    auto* exportGroup = new QGroupBox(this);
    auto* exportRow = new QHBoxLayout(exportGroup);
    exportRow->addWidget(reg("saveImageCheck", new QCheckBox(tr("Save Disk Image:"), exportGroup)));
    auto* output = reg("outputPath", new QLineEdit(exportGroup));
    output->setReadOnly(true);
    exportRow->addWidget(output, 1);
    exportRow->addWidget(reg("saveImage", new QPushButton(tr("Save Disk Image"), exportGroup)));
    body()->addWidget(exportGroup);
    addProgressRow();

    auto* driveRow = new QHBoxLayout;
    driveRow->addWidget(new QLabel(tr("Currently Selected Drive :"), this));
    auto* drive = reg("selectedDrive", new QLabel(this));
    drive->setTextInteractionFlags(Qt::TextSelectableByMouse);
    driveRow->addWidget(drive, 1);
    body()->addLayout(driveRow);

    auto* modeGroup = new QGroupBox(this);
    auto* grid = new QGridLayout(modeGroup);
    grid->addWidget(reg("standardScan", new QRadioButton(tr("Standard Scan"), modeGroup)), 0, 0);
    grid->addWidget(reg("gpt", new QCheckBox(tr("GPT format"), modeGroup)), 0, 1);
    grid->addWidget(new QLabel(tr("* Check If Partition type is GPT"), modeGroup), 0, 2);
    grid->addWidget(reg("advanceScan", new QRadioButton(tr("Advance Scan"), modeGroup)), 1, 0);
    grid->addWidget(
        reg("noSkip", new QCheckBox(tr("Do not Skip Volume Size While Parsing in Advance  Scan "), modeGroup)), 2, 0,
        1, 3);
    grid->addWidget(reg("customSetting", new QCheckBox(tr("Custom Setting:"), modeGroup)), 3, 0);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,18}")), this);
    auto* sectors = new QHBoxLayout;
    sectors->addWidget(reg("startLabel", new QLabel(tr("Starting Sector:"), modeGroup)));
    auto* start = reg("startSector", new QLineEdit(QStringLiteral("0"), modeGroup));
    start->setValidator(digits);
    sectors->addWidget(start);
    sectors->addWidget(reg("endLabel", new QLabel(tr("Ending Sector:"), modeGroup)));
    auto* end = reg("endSector", new QLineEdit(QStringLiteral("0"), modeGroup));
    end->setValidator(digits);
    sectors->addWidget(end);
    grid->addLayout(sectors, 4, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    body()->addWidget(modeGroup);
    body()->addStretch(1);
    addStatusLine();
}

void ScanModePage::bind(app::PageController& controller) {
    bindCommon(controller);
    for (const char* id : {"saveImageCheck", "saveImage", "standardScan", "advanceScan", "customSetting"})
        bindCommand(controller, id);
}

}  // namespace tavrel::ui
