// A recording Gui for controller tests: remembers every control's state, every
// message box and page step, answers dialogs from queues, and keeps posted
// closures until the test runs them. Thread-safe (workers call it).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/Gui.h"

namespace tavrel::test {

class FakeGui : public app::Gui {
public:
    struct Message {
        std::string text;
        app::Buttons buttons;
        app::Icon icon;
    };
    struct Control {
        bool enabled = true;
        bool visible = true;
        bool checked = false;
        std::string text;
        std::vector<std::string> items;             // combo entries
        std::vector<std::vector<std::string>> rows;  // list rows
        int selectedRow = -1;
        std::int64_t lower = 0, upper = 0, position = 0;  // progress bar
    };

    // Answers: the next message box answers, file and folder dialog results.
    // Without a queued answer a Yes/No box answers No, a file dialog is cancelled.
    void queueAnswer(app::Answer answer);
    void queueFile(const std::string& path);
    void queueFolder(const std::string& path);

    // Recorded state.
    std::vector<Message> messages() const;
    std::vector<std::string> messageTexts() const;
    std::string lastMessage() const;  // empty when none
    void clearMessages();
    Control control(int pageId, const std::string& id) const;
    bool enabled(int pageId, const std::string& id) const { return control(pageId, id).enabled; }
    bool visible(int pageId, const std::string& id) const { return control(pageId, id).visible; }
    bool checked(int pageId, const std::string& id) const { return control(pageId, id).checked; }
    std::string textOf(int pageId, const std::string& id) const { return control(pageId, id).text; }
    std::vector<std::vector<std::string>> rows(int pageId, const std::string& id) const {
        return control(pageId, id).rows;
    }
    // Texts a control showed, in order (status lines).
    std::vector<std::string> textHistory(int pageId, const std::string& id) const;
    std::vector<std::string> fileFilters() const;
    std::vector<std::string> openedUrls() const;
    // Manual pages opened, in order.
    std::vector<std::string> manualPages() const;
    int aboutShown() const;
    int quitCount() const;
    std::vector<std::string> pageEvents() const;  // "create 152", "show 152", "hide 142", "destroy 152"
    int visiblePage() const;                      // last page shown and not hidden/destroyed since
    std::string title(int pageId) const;
    int waitCursorDepth() const;

    // Test-side changes of controls (what a user does).
    void userSetText(int pageId, const std::string& id, const std::string& text);
    void userSetChecked(int pageId, const std::string& id, bool checked);
    void userSelectRow(int pageId, const std::string& id, int row);

    // Posted closures: run those queued so far; or wait until `done` holds, running
    // closures as they arrive (false after a generous wait without progress).
    int runPosted();
    bool runPostedUntil(const std::function<bool()>& done);

    // Gui.
    app::Answer messageBox(const std::string& text, app::Buttons buttons, app::Icon icon) override;
    void createPage(int pageId) override;
    void showPage(int pageId) override;
    void hidePage(int pageId) override;
    void destroyPage(int pageId) override;
    void setWindowTitle(int pageId, const std::string& title) override;
    void setEnabled(int pageId, const std::string& control, bool enabled) override;
    void setVisible(int pageId, const std::string& control, bool visible) override;
    void setText(int pageId, const std::string& control, const std::string& text) override;
    std::string text(int pageId, const std::string& control) const override;
    void setChecked(int pageId, const std::string& control, bool checked) override;
    bool isChecked(int pageId, const std::string& control) const override;
    void listClear(int pageId, const std::string& control) override;
    int listAddRow(int pageId, const std::string& control, const std::vector<std::string>& cells) override;
    int listSelectedRow(int pageId, const std::string& control) const override;
    void listSelectRow(int pageId, const std::string& control, int row) override;
    void comboSetItems(int pageId, const std::string& control, const std::vector<std::string>& items) override;
    void setProgressRange(int pageId, std::int64_t lower, std::int64_t upper) override;
    void setProgressPosition(int pageId, std::int64_t position) override;
    std::string openFileDialog(const std::string& filter) override;
    std::string chooseFolderDialog(const std::string& title) override;
    void setWaitCursor(bool waiting) override;
    bool openUrl(const std::string& url) override;
    void openManual(const std::string& page) override;
    void showAbout() override;
    void quit() override;
    void post(std::function<void()> fn) override;

private:
    using Key = std::pair<int, std::string>;
    Control& slot(int pageId, const std::string& id);

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::map<Key, Control> controls_;
    std::map<Key, std::vector<std::string>> textHistory_;
    std::map<int, std::string> titles_;
    std::vector<Message> messages_;
    std::deque<app::Answer> answers_;
    std::deque<std::string> files_, folders_;
    std::vector<std::string> filters_, urls_, pageEvents_;
    std::deque<std::function<void()>> posts_;
    int visiblePage_ = 0;
    std::vector<std::string> manualPages_;
    int about_ = 0, quit_ = 0, waitCursor_ = 0;
};

}  // namespace tavrel::test
