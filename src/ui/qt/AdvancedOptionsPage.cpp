#include "ui/qt/AdvancedOptionsPage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>

#include "app/advanceOptions.h"
#include "app/Gui.h"
#include "app/PageController.h"

namespace tavrel::ui {

using app::advanceOptions;

std::unique_ptr<PageWidget> makeAdvancedOptionsPageWidget() { return std::make_unique<AdvancedOptionsPage>(); }

AdvancedOptionsPage::AdvancedOptionsPage() : WizardPage(app::kAdvancedOptionsPage) {
    auto* title = reg("title", new QLabel(this));
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    body()->addWidget(title);

    auto* group = reg(advanceOptions::kGroup, new QGroupBox(tr("Advanced Input:"), this));
    auto* grid = new QGridLayout(group);
    const struct {
        const char* label;
        const char* labelId;
        const char* comboId;
    } rows[] = {
        {"TFS :", advanceOptions::kCandidateLabel, advanceOptions::kCandidates},
        {"Sector Per Cluster :", advanceOptions::kClusterLabel, advanceOptions::kClusters},
        {"Heap Offset :", advanceOptions::kHeapLabel, advanceOptions::kHeap},
    };
    int row = 0;
    for (const auto& r : rows) {
        grid->addWidget(reg(r.labelId, new QLabel(tr(r.label), group)), row, 0);
        auto* combo = reg(r.comboId, new QComboBox(group));
        combo->setMinimumWidth(200);
        grid->addWidget(combo, row, 1);
        ++row;
    }
    grid->setColumnStretch(2, 1);
    body()->addWidget(group);
    body()->addStretch(1);

    addStatusLine();
    auto* work = new QHBoxLayout;
    work->addWidget(reg("progress", new QProgressBar(this)), 1);
    work->addWidget(reg(advanceOptions::kPause, new QPushButton(tr("Pause"), this)));
    work->addWidget(reg(advanceOptions::kResume, new QPushButton(tr("Resume"), this)));
    work->addWidget(reg("stop", new QPushButton(tr("Stop"), this)));
    body()->addLayout(work);
}

void AdvancedOptionsPage::bind(app::PageController& controller) {
    bindCommon(controller);
    auto* c = &controller;
    if (auto* b = qobject_cast<QAbstractButton*>(control(advanceOptions::kPause)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->pause(); });
    if (auto* b = qobject_cast<QAbstractButton*>(control(advanceOptions::kResume)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->resume(); });
}

}  // namespace tavrel::ui
