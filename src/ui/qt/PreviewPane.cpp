#include "ui/qt/PreviewPane.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFontDatabase>
#include <QImageReader>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "app/ScanTexts.h"
#include "ui/qt/KeptSettings.h"

namespace tavrel::ui {

namespace {
QString qs(const std::string& text) { return QString::fromStdString(text); }
// A decoded picture larger than this on a side is scaled while it is read.
constexpr int kMaxSide = 2048;
}  // namespace

const std::vector<std::string>& PreviewPane::pictureFormats() {
    static const std::vector<std::string> formats = [] {
        std::vector<std::string> have;
        const QList<QByteArray> qt = QImageReader::supportedImageFormats();
        for (const char* f : {"jpeg", "png", "gif", "bmp", "webp"})
            if (qt.contains(QByteArray(f))) have.emplace_back(f);
        return have;
    }();
    return formats;
}

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent) {
    toggle_ = new QCheckBox(QString::fromUtf8(app::texts::kPreviewToggle), parent ? parent : this);
    toggle_->setChecked(kept::previewShown());
    setVisible(toggle_->isChecked());
    connect(toggle_, &QCheckBox::toggled, this, [this](bool on) {
        kept::rememberPreviewShown(on);
        setVisible(on);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption_ = new QLabel(this);
    caption_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long name wraps instead of widening the pane.
    caption_->setWordWrap(true);
    caption_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(caption_);
    stack_ = new QStackedWidget(this);
    message_ = new QLabel(stack_);
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    picture_ = new QLabel(stack_);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setMinimumSize(1, 1);
    picture_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    text_ = new QPlainTextEdit(stack_);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    stack_->addWidget(message_);
    stack_->addWidget(picture_);
    stack_->addWidget(text_);
    layout->addWidget(stack_, 1);
    setMinimumWidth(160);
    showHint();
}

bool PreviewPane::shown() const { return toggle_->isChecked(); }

void PreviewPane::showMessage(const QString& text) {
    image_ = {};
    message_->setText(text);
    stack_->setCurrentWidget(message_);
}

void PreviewPane::showHint() {
    caption_->clear();
    showMessage(QString::fromUtf8(app::texts::kPreviewHint));
}

void PreviewPane::showReading() {
    caption_->clear();
    showMessage(QString::fromUtf8(app::texts::kPreviewReading));
}

void PreviewPane::showBytes(const browse::PreviewBytes& b) {
    caption_->setText(qs(b.name));
    if (b.readFailed) {
        QString text = QString::fromUtf8(app::texts::kPreviewUnreadable);
        if (!b.message.empty()) text += QLatin1Char('\n') + qs(b.message);
        showMessage(text);
        return;
    }
    const ByteSpan bytes(b.bytes.data(), b.bytes.size());
    switch (browse::previewKind(b.name, bytes, pictureFormats())) {
    case browse::PreviewKind::Empty:
        showMessage(QString::fromUtf8(app::texts::kPreviewEmpty));
        return;
    case browse::PreviewKind::Picture: {
        QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(b.bytes.data()),
                                                  static_cast<qsizetype>(b.bytes.size()));
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize full = reader.size();
        if (full.isValid() && (full.width() > kMaxSide || full.height() > kMaxSide))
            reader.setScaledSize(full.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio));
        QImage image = reader.read();
        if (image.isNull()) {
            const bool cut = b.size > static_cast<std::int64_t>(b.bytes.size());
            showMessage(QString::fromUtf8(cut ? app::texts::kPreviewPictureTooLong : app::texts::kPreviewNoPicture));
            return;
        }
        const QSize size = full.isValid() ? full : image.size();
        caption_->setText(qs(b.name) + QStringLiteral(" \u2014 ") +
                          qs(app::texts::pictureCaption(size.width(), size.height())));
        image_ = std::move(image);
        stack_->setCurrentWidget(picture_);
        fitPicture();
        return;
    }
    case browse::PreviewKind::Text: {
        const browse::TextEncoding encoding = browse::textEncodingOf(bytes);
        const bool utf16 = encoding != browse::TextEncoding::Utf8;
        const bool cut = b.size > static_cast<std::int64_t>(browse::kTextLimit);
        caption_->setText(qs(b.name) + QStringLiteral(" \u2014 ") + qs(app::texts::textCaption(utf16, cut)));
        text_->setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
        text_->setPlainText(QString::fromUtf8(browse::previewText(bytes, encoding)));
        image_ = {};
        stack_->setCurrentWidget(text_);
        return;
    }
    case browse::PreviewKind::Hex: {
        const bool cut = b.size > static_cast<std::int64_t>(browse::kHexLimit);
        caption_->setText(qs(b.name) + QStringLiteral(" \u2014 ") +
                          QString::fromUtf8(cut ? app::texts::kPreviewHexCut : app::texts::kPreviewHex));
        text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        text_->setPlainText(QString::fromUtf8(browse::hexDump(bytes)));
        image_ = {};
        stack_->setCurrentWidget(text_);
        return;
    }
    }
}

void PreviewPane::fitPicture() {
    if (image_.isNull()) return;
    const QSize room = picture_->size();
    QImage shown = image_;
    // Scaled down to the pane; a small picture keeps its own size.
    if (image_.width() > room.width() || image_.height() > room.height())
        shown = image_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture_->setPixmap(QPixmap::fromImage(shown));
}

void PreviewPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitPicture();
}

QString PreviewPane::caption() const { return caption_->text(); }

QString PreviewPane::message() const { return stack_->currentWidget() == message_ ? message_->text() : QString(); }

QString PreviewPane::text() const { return stack_->currentWidget() == text_ ? text_->toPlainText() : QString(); }

bool PreviewPane::showsPicture() const { return stack_->currentWidget() == picture_ && !image_.isNull(); }

}  // namespace tavrel::ui
