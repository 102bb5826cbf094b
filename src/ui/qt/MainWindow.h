// The wizard's one top-level window: shows one page at a time, sized to the
// pages' 513 x 300 dialog units, titled "Tavrel v3.02". The close box asks the
// visible page (onClose) instead of closing.
#pragma once

#include <QStackedWidget>
#include <QWidget>

#include <functional>

namespace tavrel::ui {

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    QStackedWidget* stack() const { return stack_; }
    std::function<void()> onClose;
    std::function<void()> onExit;

    // Pixel size of the given dialog units at this window's font.
    QSize dialogUnits(int width, int height) const;

    // After an agreed exit the window closes without asking again (the
    // application's quit closes every window and gives up when one refuses).
    void allowClose() { closing_ = true; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QStackedWidget* stack_;
    bool closing_ = false;
};

}  // namespace tavrel::ui
