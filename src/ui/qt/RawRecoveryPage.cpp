#include "ui/qt/RawRecoveryPage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

#include "app/Gui.h"
#include "app/RawRecoveryDialog.h"
#include "app/RawTexts.h"
#include "ui/qt/KeptSettings.h"
#include "ui/qt/PreviewPane.h"
#include "ui/qt/RawSettingDialog.h"

namespace tavrel::ui {

using app::RawRecoveryDialog;

namespace {

// Item data: the found-file index of a file item, or the category index (top: -1).
constexpr int kFileRole = Qt::UserRole;
constexpr int kCategoryRole = Qt::UserRole + 1;

QString qs(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

std::unique_ptr<PageWidget> makeRawRecoveryPageWidget() { return std::make_unique<RawRecoveryPage>(); }

RawRecoveryPage::RawRecoveryPage() : WizardPage(app::kRawRecoveryPage) {
    auto* group = new QGroupBox(qs(app::rawtexts::kGroup), this);
    auto* rows = new QVBoxLayout(group);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(reg(RawRecoveryDialog::kRuleFile, new QLineEdit(this)), 1);
    fileRow->addWidget(reg(RawRecoveryDialog::kBrowseRules, new QPushButton(QStringLiteral("..."), this)));
    rows->addLayout(fileRow);
    auto* actions = new QHBoxLayout;
    actions->addWidget(reg(RawRecoveryDialog::kLoadDefault, new QCheckBox(tr("Load Default Items"), this)));
    auto* freeOnly = reg(RawRecoveryDialog::kFreeOnly, new QCheckBox(qs(app::rawtexts::kFreeOnly), this));
    freeOnly->setToolTip(qs(app::rawtexts::kFreeOnlyTip));
    actions->addWidget(freeOnly);
    auto* parse = reg(RawRecoveryDialog::kParse, new QPushButton(tr("Parse"), this));
    parse->setToolTip(tr("Parse"));
    actions->addWidget(parse);
    actions->addStretch(1);
    auto* setting = reg(RawRecoveryDialog::kSetting, new QToolButton(this));
    setting->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    setting->setToolTip(tr("Setting"));
    actions->addWidget(setting);
    actions->addWidget(new QLabel(qs(app::rawtexts::kSettingLabel), this));
    preview_ = new PreviewPane(this);
    actions->addWidget(preview_->toggle());
    rows->addLayout(actions);
    body()->addWidget(group);

    auto* split = new QSplitter(Qt::Horizontal, this);
    tree_ = reg(RawRecoveryDialog::kTree, new QTreeWidget(split));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    auto* list = reg(RawRecoveryDialog::kList, new QTreeWidget(split));
    list->setColumnCount(2);
    list->setHeaderLabels({qs(app::rawtexts::kListColumn), qs(app::rawtexts::kSizeColumn)});
    list->setColumnWidth(0, 300);
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    split->addWidget(tree_);
    split->addWidget(list);
    split->addWidget(preview_);
    body()->addWidget(split, 1);

    auto* work = new QHBoxLayout;
    work->addWidget(reg(RawRecoveryDialog::kProgress, new QProgressBar(this)), 1);
    for (const auto& [id, text] : {std::pair{RawRecoveryDialog::kPause, "Pause"},
                                   std::pair{RawRecoveryDialog::kResume, "Resume"},
                                   std::pair{RawRecoveryDialog::kStop, "Stop"}}) {
        auto* b = reg(id, new QPushButton(tr(text), this));
        b->setToolTip(tr(text));
        work->addWidget(b);
    }
    work->addStretch(0);
    work->addSpacing(24);
    auto* save = reg(RawRecoveryDialog::kSave, new QPushButton(tr("&Save"), this));
    save->setToolTip(tr("Save"));
    work->addWidget(save);
    body()->addLayout(work);
    addStatusLine();
}

void RawRecoveryPage::bind(app::PageController& controller) {
    bindCommon(controller);
    for (const char* id : {RawRecoveryDialog::kBrowseRules, RawRecoveryDialog::kParse, RawRecoveryDialog::kSetting,
                           RawRecoveryDialog::kSave})
        bindCommand(controller, id);
    auto* c = &controller;
    if (auto* b = qobject_cast<QAbstractButton*>(control(RawRecoveryDialog::kPause)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->pause(); });
    if (auto* b = qobject_cast<QAbstractButton*>(control(RawRecoveryDialog::kResume)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->resume(); });

    auto* page = dynamic_cast<RawRecoveryDialog*>(&controller);
    if (!page) return;
    page->onTreeChanged = [this, page] { rebuild(*page); };
    page->onFilesAdded = [this, page](std::size_t first) { append(*page, first); };
    page->onOpenSettings = [this, page] {
        RawSettingDialog dialog(page->settingPage(), this);
        dialog.exec();
    };
    connect(tree_, &QTreeWidget::itemChanged, this, [page](QTreeWidgetItem* item, int) {
        const QVariant file = item->data(0, kFileRole);
        if (file.isValid()) page->setFileChecked(file.toULongLong(), item->checkState(0) == Qt::Checked);
    });
    connect(tree_, &QTreeWidget::itemClicked, this, [this, page](QTreeWidgetItem* item) { selected(*page, item); });
    connect(tree_, &QTreeWidget::currentItemChanged, this,
            [this, page](QTreeWidgetItem* item) { selected(*page, item); });

    // The preview follows the found file selected in the tree or in the list.
    page->onPreview = [this](const browse::PreviewBytes& bytes) { preview_->showBytes(bytes); };
    if (auto* list = qobject_cast<QTreeWidget*>(control(RawRecoveryDialog::kList)))
        connect(list, &QTreeWidget::currentItemChanged, this, [this, page, list](QTreeWidgetItem* item) {
            const int row = item ? list->indexOfTopLevelItem(item) : -1;
            preview(page->previewListRow(preview_->shown() ? row : -1));
        });
}

void RawRecoveryPage::preview(bool requested) {
    if (requested) preview_->showReading();
    else preview_->showHint();
}

void RawRecoveryPage::keepChoices(app::PageController& controller) {
    auto* page = dynamic_cast<RawRecoveryDialog*>(&controller);
    if (!page) return;
    page->keptRuleFile = kept::lastRuleFile().toStdString();
    page->onRuleFileTaken = [](const std::string& path) { kept::rememberRuleFile(qs(path)); };
}

void RawRecoveryPage::selected(app::RawRecoveryDialog& page, QTreeWidgetItem* item) {
    if (!item) return;
    const QVariant file = item->data(0, kFileRole);
    if (file.isValid()) preview(page.previewFound(preview_->shown() ? file.toULongLong() : page.shownFiles()));
    const QVariant category = item->data(0, kCategoryRole);
    page.treeSelected(category.isValid() ? category.toInt() : -1);
}

void RawRecoveryPage::rebuild(app::RawRecoveryDialog& page) {
    const QSignalBlocker block(tree_);
    tree_->clear();
    auto* top = new QTreeWidgetItem(tree_, {qs(app::rawtexts::kTreeTop)});
    top->setIcon(0, icons_.folder());
    top->setData(0, kCategoryRole, -1);
    const Qt::ItemFlags checkable = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
    top->setFlags(checkable | Qt::ItemIsAutoTristate);
    top->setCheckState(0, Qt::Unchecked);
    const auto& categories = page.tree();
    for (std::size_t c = 0; c < categories.size(); ++c) {
        auto* node = new QTreeWidgetItem(top, {qs(RawRecoveryDialog::categoryText(categories[c]))});
        node->setIcon(0, icons_.folder());
        node->setData(0, kCategoryRole, static_cast<int>(c));
        node->setFlags(checkable | Qt::ItemIsAutoTristate);
        node->setCheckState(0, Qt::Unchecked);
        for (const std::size_t i : categories[c].files) addFile(node, page, i, page.fileChecked(i));
    }
    top->setExpanded(true);
}

QTreeWidgetItem* RawRecoveryPage::addFile(QTreeWidgetItem* category, app::RawRecoveryDialog& page, std::size_t index,
                                          bool checked) {
    const QString name = qs(page.fileName(index));
    auto* file = new QTreeWidgetItem(category, {name});
    file->setIcon(0, icons_.forFileName(name));
    file->setData(0, kFileRole, static_cast<qulonglong>(index));
    file->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemNeverHasChildren);
    file->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    return file;
}

void RawRecoveryPage::append(app::RawRecoveryDialog& page, std::size_t first) {
    QTreeWidgetItem* top = tree_->topLevelItem(0);
    if (!top) return;
    const QSignalBlocker block(tree_);
    std::vector<bool> touched(page.tree().size(), false);
    for (std::size_t i = first; i < page.shownFiles(); ++i) {
        const std::size_t c = page.fileCategory(i);
        QTreeWidgetItem* node = c < touched.size() ? top->child(static_cast<int>(c)) : nullptr;
        if (!node) continue;
        // A file found under a ticked category is ticked with it.
        const bool checked = node->checkState(0) == Qt::Checked;
        addFile(node, page, i, checked);
        if (checked) page.setFileChecked(i, true);
        touched[c] = true;
    }
    for (std::size_t c = 0; c < touched.size(); ++c)
        if (touched[c]) top->child(static_cast<int>(c))->setText(0, qs(RawRecoveryDialog::categoryText(page.tree()[c])));
}

}  // namespace tavrel::ui
