#include "ui/qt/ScanPage.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <array>

#include "app/Gui.h"
#include "app/VolumeScanDlg.h"
#include "ui/qt/CheckHeader.h"
#include "ui/qt/EntryTreeModel.h"
#include "ui/qt/FileListModel.h"
#include "ui/qt/PreviewPane.h"

namespace tavrel::ui {

using app::VolumeScanDlg;
using Node = app::EntryTree::Node;

std::unique_ptr<PageWidget> makeScanPageWidget() { return std::make_unique<ScanPage>(); }

ScanPage::ScanPage() : WizardPage(app::kScanPage) {
    // This page ends the wizard: no Next.
    if (QWidget* next = control("next")) next->setVisible(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Volume Data:"), this));
    auto* volume = reg(VolumeScanDlg::kVolumeData, new QLineEdit(this));
    volume->setReadOnly(true);
    volume->setMaximumWidth(160);
    top->addWidget(volume);
    top->addStretch(1);
    auto* pattern = reg(VolumeScanDlg::kSearchText, new QLineEdit(this));
    top->addWidget(pattern, 1);
    top->addWidget(reg(VolumeScanDlg::kSearch, new QPushButton(tr("S&earch"), this)));
    preview_ = new PreviewPane(this);
    top->addWidget(preview_->toggle());
    body()->addLayout(top);
    // Alt+F puts the keyboard in the search field (the note's "find" underlined).
    auto* note = new QLabel(QString::fromUtf8(app::scantexts::kSearchNote).replace(QStringLiteral(" find "),
                                                                                 QStringLiteral(" &find ")),
                            this);
    note->setBuddy(pattern);
    note->setAlignment(Qt::AlignRight);
    body()->addWidget(note);

    auto* split = new QSplitter(Qt::Horizontal, this);
    tree_ = reg(VolumeScanDlg::kTree, new QTreeView(split));
    tree_->setHeaderHidden(true);
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->viewport()->installEventFilter(this);
    list_ = reg(VolumeScanDlg::kList, new QTableView(split));
    header_ = new CheckHeader(list_);
    list_->setHorizontalHeader(header_);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    // Columns are the user's to resize; what does not fit scrolls sideways.
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    header_->setStretchLastSection(false);
    split->addWidget(tree_);
    split->addWidget(list_);
    split->addWidget(preview_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    split->setStretchFactor(2, 1);
    body()->addWidget(split, 1);

    auto* work = new QHBoxLayout;
    auto* progress = reg(VolumeScanDlg::kProgress, new QProgressBar(this));
    work->addWidget(progress, 1);
    work->addWidget(reg(VolumeScanDlg::kPause, new QPushButton(tr("Pause"), this)));
    work->addWidget(reg(VolumeScanDlg::kResume, new QPushButton(tr("Resume"), this)));
    work->addWidget(reg(VolumeScanDlg::kStop, new QPushButton(tr("Stop"), this)));
    // Keeps Save at the right edge when the progress controls are hidden.
    work->addStretch(0);
    work->addSpacing(24);
    auto* save = reg(VolumeScanDlg::kSave, new QPushButton(tr("&Save"), this));
    save->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    work->addWidget(save);
    body()->addLayout(work);

    addStatusLine();
    auto* size = reg(VolumeScanDlg::kFileSize, new QLabel(this));
    size->setTextInteractionFlags(Qt::TextSelectableByMouse);
    body()->addWidget(size);
    auto* output = reg(VolumeScanDlg::kOutputFolder, new QLineEdit(this));
    output->setVisible(false);
}

void ScanPage::bind(app::PageController& controller) {
    bindCommon(controller);
    bindCommand(controller, VolumeScanDlg::kSave);
    bindCommand(controller, VolumeScanDlg::kSearch);
    auto* c = &controller;
    if (auto* b = qobject_cast<QAbstractButton*>(control(VolumeScanDlg::kPause)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->pause(); });
    if (auto* b = qobject_cast<QAbstractButton*>(control(VolumeScanDlg::kResume)))
        connect(b, &QAbstractButton::clicked, this, [c] { c->resume(); });

    auto* scan = dynamic_cast<VolumeScanDlg*>(&controller);
    if (!scan) return;

    scan->onTreeSearching = [this](bool searching) {
        if (!searching) {
            tree_->setPalette(ownPalette_);
            return;
        }
        ownPalette_ = tree_->palette();
        const QColor window = ownPalette_.color(QPalette::Active, QPalette::Base);
        const app::Rgb dark = app::searchBackground({window.red(), window.green(), window.blue()});
        QPalette look = ownPalette_;
        look.setColor(QPalette::Base, QColor(dark.red, dark.green, dark.blue));
        look.setColor(QPalette::Text, ownPalette_.color(QPalette::Disabled, QPalette::Text));
        tree_->setPalette(look);
    };
    treeModel_ = new EntryTreeModel(scan->tree(), this);
    treeModel_->onCheck = [this, scan](Node& n, bool checked) {
        checkClicked_ = &n;
        scan->treeCheckToggled(n, checked);
    };
    tree_->setModel(treeModel_);
    // The top item opens as soon as the scan has filled it, and becomes the
    // current one with the keyboard in the tree: Space ticks it, arrows walk.
    connect(treeModel_, &QAbstractItemModel::modelReset, this, [this] {
        const QModelIndex top = treeModel_->index(0, 0);
        if (!top.isValid()) return;
        tree_->expand(top);
        if (!tree_->currentIndex().isValid()) tree_->setCurrentIndex(top);
        tree_->setFocus();
    });
    connect(tree_, &QTreeView::expanded, this, [this, scan](const QModelIndex& i) {
        if (Node* n = treeModel_->node(i)) scan->treeExpanding(*n);
    });
    // A click on the label selects (filling the list); a click on the check box
    // only makes the item the selected one.
    connect(tree_, &QTreeView::clicked, this, [this, scan](const QModelIndex& i) {
        Node* n = treeModel_->node(i);
        if (!n) return;
        if (checkClicked_ == n) {
            checkClicked_ = nullptr;
            scan->tree().selected = n;
            return;
        }
        scan->treeSelected(*n);
    });
    // Keyboard moves select as well (mouse presses are handled on click).
    connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, scan](const QModelIndex& current) {
                if (pressing_) return;
                if (Node* n = treeModel_->node(current)) scan->treeSelected(*n);
            });
    connect(tree_, &QTreeView::doubleClicked, this, [this, scan](const QModelIndex& i) {
        if (Node* n = treeModel_->node(i)) scan->treeDoubleClicked(*n);
    });

    listModel_ = new FileListModel(scan->fileList(), this);
    listModel_->onCheck = [scan](int row, bool checked) { scan->listRowChecked(row, checked); };
    list_->setModel(listModel_);
    sizeColumns();
    // A fill resets the header's sections: size them again, and once per fill
    // let the name, size and attribute columns fit what they show.
    connect(listModel_, &QAbstractItemModel::modelReset, this, [this] {
        sizeColumns();
        if (listModel_->rowCount() > 0) fitColumnsToContents();
    });
    connect(header_, &CheckHeader::toggled, this, [scan] { scan->listHeaderClicked(); });

    // The preview follows the list's current row; a file selected in the tree
    // (listed alone) shows at once.
    scan->onPreview = [this](const browse::PreviewBytes& bytes) { preview_->showBytes(bytes); };
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, scan](const QModelIndex& current) { preview(*scan, current.isValid() ? current.row() : -1); });
    connect(listModel_, &QAbstractItemModel::modelReset, this, [this, scan] {
        const Node* picked = scan->tree().selected;
        preview(*scan, picked && !picked->folder && listModel_->rowCount() == 1 ? 0 : -1);
    });
    connect(preview_->toggle(), &QCheckBox::toggled, this, [this, scan] {
        const QModelIndex current = list_->currentIndex();
        preview(*scan, current.isValid() ? current.row() : -1);
    });
    connect(listModel_, &FileListModel::headerCheckChanged, header_, &CheckHeader::setChecked);
}

void ScanPage::preview(app::VolumeScanDlg& scan, int row) {
    if (preview_->shown() && scan.previewRow(row)) {
        preview_->showReading();
    } else {
        scan.previewRow(-1);
        preview_->showHint();
    }
}

void ScanPage::sizeColumns() {
    const QFontMetrics fm = list_->fontMetrics();
    const int pad = 16;
    const int timeWidth = fm.horizontalAdvance(QStringLiteral("00/00/0000  00:00 AM")) + pad;
    const std::array<int, app::FileList::kColumnCount> wanted = {
        fm.horizontalAdvance(QLatin1Char('x')) * 24,  // name: a typical file name
        timeWidth,
        timeWidth,
        timeWidth,
        fm.horizontalAdvance(QStringLiteral("999.99 MB")) + pad,
        fm.horizontalAdvance(QStringLiteral("Archive")) + pad,
        fm.horizontalAdvance(QStringLiteral("partly overwritten")) + pad,
    };
    // Never narrower than the header's own text (and the name's check box).
    for (int i = 0; i < app::FileList::kColumnCount; ++i)
        header_->resizeSection(i, std::max(wanted[static_cast<std::size_t>(i)], header_->sectionSizeHint(i)));
}

void ScanPage::fitColumnsToContents() {
    // The name column takes what its longest name needs, but at most half the
    // list so the other columns stay in reach.
    const int nameCap = std::max(header_->sectionSizeHint(app::FileList::kName), list_->viewport()->width() / 2);
    for (int i : {app::FileList::kName, app::FileList::kSize, app::FileList::kAttributes}) {
        const int before = header_->sectionSize(i);
        list_->resizeColumnToContents(i);
        int width = std::max(header_->sectionSize(i), header_->sectionSizeHint(i));
        if (i == app::FileList::kName) width = std::min(std::max(width, before), nameCap);
        header_->resizeSection(i, width);
    }
}

void ScanPage::showEvent(QShowEvent* event) {
    WizardPage::showEvent(event);
    // After the page stack has placed the focus it carries over from the last page.
    QTimer::singleShot(0, tree_, [tree = tree_] { tree->setFocus(); });
}

bool ScanPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tree_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            pressing_ = true;
            checkClicked_ = nullptr;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            pressing_ = false;
        }
    }
    return WizardPage::eventFilter(watched, event);
}

}  // namespace tavrel::ui
