#include "ui/qt/VolumeListPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/Gui.h"
#include "app/PageController.h"

namespace tavrel::ui {

void VolumeListPage::showEvent(QShowEvent* event) {
    WizardPage::showEvent(event);
    // After the page stack has placed the focus it carries over from the last page.
    if (QWidget* list = control("volumeList")) QTimer::singleShot(0, list, [list] { list->setFocus(); });
}

namespace {
QToolButton* arrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    return button;
}
}  // namespace

VolumeListPage::VolumeListPage() : WizardPage(app::kVolumeListPage) {
    auto* top = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("Volume List:"), this));
    auto* list = reg("volumeList", new QTreeWidget(this));
    list->setColumnCount(4);
    list->setHeaderLabels({tr("VOLUME"), tr("FILE_SYSTEM"), tr("VOLUME_SIZE"), tr("START_SECTOR")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setAlternatingRowColors(true);
    for (int c = 0; c < 4; ++c) list->setColumnWidth(c, 110);
    left->addWidget(list, 1);
    auto* listButtons = new QHBoxLayout;
    auto* filter = reg("filter", new QPushButton(tr("Filter Entries"), this));
    filter->setToolTip(tr("Filter volume entries."));
    listButtons->addWidget(filter);
    auto* add = reg("addCustom", new QPushButton(tr("Add Custom Volume"), this));
    add->setToolTip(tr("Add Custom Volume entry."));
    listButtons->addWidget(add);
    listButtons->addStretch(1);
    left->addLayout(listButtons);
    top->addLayout(left, 3);

    auto* custom = new QGridLayout;
    custom->addWidget(reg("customCheck", new QCheckBox(tr("Custom Settings For Selected Volume "), this)), 0, 0, 1, 4);
    custom->addWidget(reg("selectedLabel", new QLabel(tr("Selected Volume :"), this)), 1, 0);
    custom->addWidget(reg("selectedValue", new QLabel(this)), 1, 1, 1, 3);
    auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,18}")), this);
    const struct {
        const char* label;
        const char* labelId;
        const char* fieldId;
        const char* upId;
        const char* downId;
    } fields[] = {{"Start Sector:", "startLabel", "startSector", "startUp", "startDown"},
                  {"End Sector :", "endLabel", "endSector", "endUp", "endDown"}};
    int row = 2;
    for (const auto& f : fields) {
        custom->addWidget(reg(f.labelId, new QLabel(tr(f.label), this)), row, 0);
        auto* edit = reg(f.fieldId, new QLineEdit(QStringLiteral("0"), this));
        edit->setValidator(digits);
        custom->addWidget(edit, row, 1);
        custom->addWidget(reg(f.upId, arrowButton(Qt::UpArrow, this)), row, 2);
        custom->addWidget(reg(f.downId, arrowButton(Qt::DownArrow, this)), row, 3);
        ++row;
    }
    custom->addWidget(reg("treatLabel", new QLabel(tr("Treat file system as:"), this)), row, 0);
    custom->addWidget(reg("treatAs", new QComboBox(this)), row, 1, 1, 3);
    custom->setRowStretch(row + 1, 1);
    top->addLayout(custom, 2);
    body()->addLayout(top, 1);

    addProgressRow();
    addStatusLine();
}

void VolumeListPage::bind(app::PageController& controller) {
    bindCommon(controller);
    for (const char* id : {"filter", "addCustom", "customCheck", "startUp", "startDown", "endUp", "endDown"})
        bindCommand(controller, id);
    auto* c = &controller;
    auto* list = qobject_cast<QTreeWidget*>(control("volumeList"));
    connect(list, &QTreeWidget::itemSelectionChanged, this, [c] { c->command("volumeList"); });
    connect(list, &QTreeWidget::itemClicked, this, [c] { c->command("volumeListClick"); });
}

}  // namespace tavrel::ui
