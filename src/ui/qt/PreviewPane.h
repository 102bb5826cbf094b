// The preview pane beside a page's file list: the selected file's first bytes
// as a picture (through Qt's image readers, scaled to the pane), as text, or as
// a hex dump; a picture that does not decode says so. Its toggle (a check box
// the page places) hides and shows it, and is kept in the settings.
#pragma once

#include <QImage>
#include <QWidget>

#include "browse/Preview.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace tavrel::ui {

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget* parent = nullptr);

    // The check box that shows or hides the pane; the page places it.
    QCheckBox* toggle() const { return toggle_; }
    bool shown() const;

    void showHint();
    void showReading();
    void showBytes(const browse::PreviewBytes& bytes);

    // What the pane shows now (tests, screenshots).
    QString caption() const;
    QString message() const;
    QString text() const;
    bool showsPicture() const;

    // The picture formats this Qt build reads, in the words of browse::previewKind.
    static const std::vector<std::string>& pictureFormats();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showMessage(const QString& text);
    void fitPicture();

    QCheckBox* toggle_;
    QLabel* caption_;
    QStackedWidget* stack_;
    QLabel* message_;
    QLabel* picture_;
    QPlainTextEdit* text_;
    QImage image_;
};

}  // namespace tavrel::ui
