#include "app/PageWorker.h"

namespace tavrel::app {

PageWorker::PageWorker(Gui& gui, int pageId)
    : gui_(gui), pageId_(pageId), sink_(gui, pageId), work_(&sink_), alive_(std::make_shared<int>(0)) {}

PageWorker::~PageWorker() { shutdown(); }

void PageWorker::start(std::function<void(WorkControl&)> job, std::function<void()> finished) {
    if (thread_.joinable()) thread_.join();
    if (!alive_) alive_ = std::make_shared<int>(0);
    work_.clearStop();
    work_.resume();
    running_.store(true);
    std::weak_ptr<int> alive = alive_;
    thread_ = std::thread([this, alive, job = std::move(job), finished = std::move(finished)]() mutable {
        job(work_);
        // The finish runs on the interface thread, and only while this worker (and
        // so its page) still exists: shutdown() resets alive_ on that thread first.
        gui_.post([this, alive, finished = std::move(finished)] {
            if (alive.expired()) return;
            if (thread_.joinable()) thread_.join();
            running_.store(false);
            if (finished) finished();
        });
    });
}

void PageWorker::pauseButton(const char* statusText) {
    if (!running()) return;
    work_.pause();
    gui_.setText(pageId_, texts::kStatus, statusText);
}

void PageWorker::resumeButton(const char* statusText) {
    if (!running()) return;
    work_.resume();
    gui_.setText(pageId_, texts::kStatus, statusText);
}

void PageWorker::showControls(bool visible, bool pauseResume) {
    gui_.setVisible(pageId_, texts::kProgress, visible);
    gui_.setVisible(pageId_, texts::kPause, visible && pauseResume);
    gui_.setVisible(pageId_, texts::kResume, visible && pauseResume);
    gui_.setVisible(pageId_, texts::kStop, visible);
}

void PageWorker::shutdown() {
    alive_.reset();
    work_.requestStop();
    if (thread_.joinable()) thread_.join();
    running_.store(false);
}

}  // namespace tavrel::app
