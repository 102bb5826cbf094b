// A horizontal header whose first section carries a check box: a click on that
// section emits toggled(); setChecked() shows the state the list reports.
#pragma once

#include <QHeaderView>

namespace tavrel::ui {

class CheckHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit CheckHeader(QWidget* parent = nullptr);

    bool isChecked() const { return checked_; }

public slots:
    void setChecked(bool checked);

signals:
    void toggled();

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;

private:
    QIcon indicator(bool checked) const;

    bool checked_ = false;
};

}  // namespace tavrel::ui
