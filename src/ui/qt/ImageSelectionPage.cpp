#include "ui/qt/ImageSelectionPage.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>

#include "app/Gui.h"
#include "app/VhdInputDialog.h"

namespace tavrel::ui {

ImageSelectionPage::ImageSelectionPage() : WizardPage(app::kImageSelectionPage, false) {
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(reg("dynamicDisk", new QRadioButton(tr("Dynamic Disk"), this)));
    kinds->addWidget(reg("fixedDisk", new QRadioButton(tr("Fixed Disk"), this)));
    kinds->addStretch(1);
    body()->addLayout(kinds);

    auto* pathGroup = new QGroupBox(tr("File Path:"), this);
    auto* pathRow = new QHBoxLayout(pathGroup);
    auto* path = reg("path", new QLineEdit(pathGroup));
    // A dropped file goes to the page (which takes it as the image), not into
    // the field as a URL text.
    path->setAcceptDrops(false);
    setAcceptDrops(true);
    pathRow->addWidget(path, 1);
    auto* browse = reg("browse", new QPushButton(tr("..."), pathGroup));
    browse->setFixedWidth(40);
    pathRow->addWidget(browse);
    body()->addWidget(pathGroup);

    auto* infoGroup = new QGroupBox(tr("File Information:"), this);
    auto* grid = new QGridLayout(infoGroup);
    const struct {
        const char* label;
        const char* labelId;
        const char* valueId;
    } rows[] = {{"File Format Version:", "versionLabel", "version"},
                {"Size of HDD:", "sizeLabel", "size"},
                {"Sector per track:", "sptLabel", "spt"},
                {"Head:", "headLabel", "head"},
                {"Cylinder:", "cylinderLabel", "cylinder"},
                {"Image details:", "detailsLabel", "details"}};
    int r = 0;
    for (const auto& row : rows) {
        grid->addWidget(reg(row.labelId, new QLabel(tr(row.label), infoGroup)), r, 0);
        auto* value = reg(row.valueId, new QLineEdit(infoGroup));
        value->setReadOnly(true);
        grid->addWidget(value, r, 1);
        ++r;
    }
    grid->setColumnStretch(1, 1);
    body()->addWidget(infoGroup);
    body()->addStretch(1);
}

void ImageSelectionPage::bind(app::PageController& controller) {
    bindCommon(controller);
    for (const char* id : {"dynamicDisk", "fixedDisk", "browse"}) bindCommand(controller, id);
    controller_ = dynamic_cast<app::VhdInputDialog*>(&controller);
    // Typing or pasting (not the page's own changes) refreshes the information box.
    if (auto* path = qobject_cast<QLineEdit*>(control("path")); path && controller_) {
        app::VhdInputDialog* c = controller_;
        connect(path, &QLineEdit::textEdited, this, [c](const QString& text) { c->pathEdited(text.toStdString()); });
    }
}

namespace {
// The first local file among the dragged URLs ("" when there is none).
QString droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}
}  // namespace

void ImageSelectionPage::dragEnterEvent(QDragEnterEvent* event) {
    if (controller_ && !droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void ImageSelectionPage::dropEvent(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (!controller_ || file.isEmpty()) return;
    event->acceptProposedAction();
    controller_->choosePath(file.toStdString());
}

}  // namespace tavrel::ui
