#include "app/FakeGui.h"

#include <chrono>

namespace tavrel::test {

using app::Answer;
using app::Buttons;
using app::Icon;

void FakeGui::queueAnswer(Answer answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void FakeGui::queueFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    files_.push_back(path);
}

void FakeGui::queueFolder(const std::string& path) {
    std::lock_guard lock(mutex_);
    folders_.push_back(path);
}

std::vector<FakeGui::Message> FakeGui::messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<std::string> FakeGui::messageTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& m : messages_) texts.push_back(m.text);
    return texts;
}

std::string FakeGui::lastMessage() const {
    std::lock_guard lock(mutex_);
    return messages_.empty() ? std::string() : messages_.back().text;
}

void FakeGui::clearMessages() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

FakeGui::Control FakeGui::control(int pageId, const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find({pageId, id});
    return it == controls_.end() ? Control{} : it->second;
}

std::vector<std::string> FakeGui::textHistory(int pageId, const std::string& id) const {
    std::lock_guard lock(mutex_);
    auto it = textHistory_.find({pageId, id});
    return it == textHistory_.end() ? std::vector<std::string>{} : it->second;
}

std::vector<std::string> FakeGui::fileFilters() const {
    std::lock_guard lock(mutex_);
    return filters_;
}

std::vector<std::string> FakeGui::openedUrls() const {
    std::lock_guard lock(mutex_);
    return urls_;
}

std::vector<std::string> FakeGui::manualPages() const {
    std::lock_guard lock(mutex_);
    return manualPages_;
}

int FakeGui::aboutShown() const {
    std::lock_guard lock(mutex_);
    return about_;
}

int FakeGui::quitCount() const {
    std::lock_guard lock(mutex_);
    return quit_;
}

std::vector<std::string> FakeGui::pageEvents() const {
    std::lock_guard lock(mutex_);
    return pageEvents_;
}

int FakeGui::visiblePage() const {
    std::lock_guard lock(mutex_);
    return visiblePage_;
}

std::string FakeGui::title(int pageId) const {
    std::lock_guard lock(mutex_);
    auto it = titles_.find(pageId);
    return it == titles_.end() ? std::string() : it->second;
}

int FakeGui::waitCursorDepth() const {
    std::lock_guard lock(mutex_);
    return waitCursor_;
}

void FakeGui::userSetText(int pageId, const std::string& id, const std::string& text) {
    std::lock_guard lock(mutex_);
    slot(pageId, id).text = text;
}

void FakeGui::userSetChecked(int pageId, const std::string& id, bool checked) {
    std::lock_guard lock(mutex_);
    slot(pageId, id).checked = checked;
}

void FakeGui::userSelectRow(int pageId, const std::string& id, int row) {
    std::lock_guard lock(mutex_);
    slot(pageId, id).selectedRow = row;
}

int FakeGui::runPosted() {
    int ran = 0;
    for (;;) {
        std::function<void()> fn;
        {
            std::lock_guard lock(mutex_);
            if (posts_.empty()) return ran;
            fn = std::move(posts_.front());
            posts_.pop_front();
        }
        fn();  // without the lock: closures call back into the Gui
        ++ran;
    }
}

bool FakeGui::runPostedUntil(const std::function<bool()>& done) {
    // A generous bound so a hung worker fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        {
            std::unique_lock lock(mutex_);
            if (posts_.empty() && !posted_.wait_until(lock, deadline, [this] { return !posts_.empty(); }))
                return done();
        }
        runPosted();
    }
    return true;
}

FakeGui::Control& FakeGui::slot(int pageId, const std::string& id) { return controls_[{pageId, id}]; }

Answer FakeGui::messageBox(const std::string& text, Buttons buttons, Icon icon) {
    std::lock_guard lock(mutex_);
    messages_.push_back({text, buttons, icon});
    if (buttons == Buttons::Ok) return Answer::Ok;
    if (answers_.empty()) return Answer::No;
    const Answer answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void FakeGui::createPage(int pageId) {
    std::lock_guard lock(mutex_);
    pageEvents_.push_back("create " + std::to_string(pageId));
    // A new page starts with fresh controls.
    for (auto it = controls_.begin(); it != controls_.end();) {
        it = it->first.first == pageId ? controls_.erase(it) : std::next(it);
    }
}

void FakeGui::showPage(int pageId) {
    std::lock_guard lock(mutex_);
    pageEvents_.push_back("show " + std::to_string(pageId));
    visiblePage_ = pageId;
}

void FakeGui::hidePage(int pageId) {
    std::lock_guard lock(mutex_);
    pageEvents_.push_back("hide " + std::to_string(pageId));
    if (visiblePage_ == pageId) visiblePage_ = 0;
}

void FakeGui::destroyPage(int pageId) {
    std::lock_guard lock(mutex_);
    pageEvents_.push_back("destroy " + std::to_string(pageId));
    if (visiblePage_ == pageId) visiblePage_ = 0;
}

void FakeGui::setWindowTitle(int pageId, const std::string& title) {
    std::lock_guard lock(mutex_);
    titles_[pageId] = title;
}

void FakeGui::setEnabled(int pageId, const std::string& control, bool enabled) {
    std::lock_guard lock(mutex_);
    slot(pageId, control).enabled = enabled;
}

void FakeGui::setVisible(int pageId, const std::string& control, bool visible) {
    std::lock_guard lock(mutex_);
    slot(pageId, control).visible = visible;
}

void FakeGui::setText(int pageId, const std::string& control, const std::string& text) {
    std::lock_guard lock(mutex_);
    slot(pageId, control).text = text;
    textHistory_[{pageId, control}].push_back(text);
}

std::string FakeGui::text(int pageId, const std::string& control) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find({pageId, control});
    return it == controls_.end() ? std::string() : it->second.text;
}

void FakeGui::setChecked(int pageId, const std::string& control, bool checked) {
    std::lock_guard lock(mutex_);
    slot(pageId, control).checked = checked;
}

bool FakeGui::isChecked(int pageId, const std::string& control) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find({pageId, control});
    return it != controls_.end() && it->second.checked;
}

void FakeGui::listClear(int pageId, const std::string& control) {
    std::lock_guard lock(mutex_);
    Control& c = slot(pageId, control);
    c.rows.clear();
    c.selectedRow = -1;
}

int FakeGui::listAddRow(int pageId, const std::string& control, const std::vector<std::string>& cells) {
    std::lock_guard lock(mutex_);
    Control& c = slot(pageId, control);
    c.rows.push_back(cells);
    return static_cast<int>(c.rows.size()) - 1;
}

int FakeGui::listSelectedRow(int pageId, const std::string& control) const {
    std::lock_guard lock(mutex_);
    auto it = controls_.find({pageId, control});
    if (it == controls_.end()) return -1;
    const int row = it->second.selectedRow;
    return row >= 0 && row < static_cast<int>(it->second.rows.size()) ? row : -1;
}

void FakeGui::listSelectRow(int pageId, const std::string& control, int row) {
    std::lock_guard lock(mutex_);
    slot(pageId, control).selectedRow = row;
}

void FakeGui::comboSetItems(int pageId, const std::string& control, const std::vector<std::string>& items) {
    std::lock_guard lock(mutex_);
    Control& c = slot(pageId, control);
    c.items = items;
    c.text.clear();
}

void FakeGui::setProgressRange(int pageId, std::int64_t lower, std::int64_t upper) {
    std::lock_guard lock(mutex_);
    Control& c = slot(pageId, "progress");
    c.lower = lower;
    c.upper = upper;
}

void FakeGui::setProgressPosition(int pageId, std::int64_t position) {
    std::lock_guard lock(mutex_);
    slot(pageId, "progress").position = position;
}

std::string FakeGui::openFileDialog(const std::string& filter) {
    std::lock_guard lock(mutex_);
    filters_.push_back(filter);
    if (files_.empty()) return {};
    std::string path = files_.front();
    files_.pop_front();
    return path;
}

std::string FakeGui::chooseFolderDialog(const std::string&) {
    std::lock_guard lock(mutex_);
    if (folders_.empty()) return {};
    std::string path = folders_.front();
    folders_.pop_front();
    return path;
}

void FakeGui::setWaitCursor(bool waiting) {
    std::lock_guard lock(mutex_);
    waitCursor_ += waiting ? 1 : -1;
}

bool FakeGui::openUrl(const std::string& url) {
    std::lock_guard lock(mutex_);
    urls_.push_back(url);
    return true;
}

void FakeGui::openManual(const std::string& page) {
    std::lock_guard lock(mutex_);
    manualPages_.push_back(page);
}

void FakeGui::showAbout() {
    std::lock_guard lock(mutex_);
    ++about_;
}

void FakeGui::quit() {
    std::lock_guard lock(mutex_);
    ++quit_;
}

void FakeGui::post(std::function<void()> fn) {
    {
        std::lock_guard lock(mutex_);
        posts_.push_back(std::move(fn));
    }
    posted_.notify_all();
}

}  // namespace tavrel::test
