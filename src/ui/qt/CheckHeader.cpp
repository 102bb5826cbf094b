#include "ui/qt/CheckHeader.h"

#include <QPainter>
#include <QPixmap>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>

namespace tavrel::ui {

CheckHeader::CheckHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setHighlightSections(false);
    connect(this, &QHeaderView::sectionClicked, this, [this](int logicalIndex) {
        if (logicalIndex == 0) emit toggled();
    });
}

void CheckHeader::setChecked(bool checked) {
    if (checked_ == checked) return;
    checked_ = checked;
    viewport()->update();
}

QIcon CheckHeader::indicator(bool checked) const {
    QStyleOptionButton box;
    box.state = QStyle::State_Enabled | (checked ? QStyle::State_On : QStyle::State_Off);
    const int w = style()->pixelMetric(QStyle::PM_IndicatorWidth, &box, this);
    const int h = style()->pixelMetric(QStyle::PM_IndicatorHeight, &box, this);
    box.rect = QRect(0, 0, w, h);
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, this);
    return QIcon(pixmap);
}

void CheckHeader::initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (logicalIndex == 0) option->icon = indicator(checked_);
}

}  // namespace tavrel::ui
