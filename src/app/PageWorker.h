// One worker thread owned by a page: runs a job with a WorkControl whose reports go
// to the page's status line and progress bar, then finishes on the interface thread.
// The destructor (and shutdown) stops and joins the thread, so nothing the job uses
// can die under it; a finish that arrives after shutdown is dropped.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "app/Gui.h"
#include "app/GuiProgressSink.h"
#include "util/WorkControl.h"

namespace tavrel::app {

class PageWorker {
public:
    PageWorker(Gui& gui, int pageId);
    ~PageWorker();
    PageWorker(const PageWorker&) = delete;
    PageWorker& operator=(const PageWorker&) = delete;

    // Starts job on a new thread (the previous run must have finished). When the
    // job returns, finished runs on the interface thread after the thread is joined.
    void start(std::function<void(WorkControl&)> job, std::function<void()> finished);

    bool running() const { return running_.load(); }
    WorkControl& control() { return work_; }
    void requestStop() { work_.requestStop(); }
    void pause() { work_.pause(); }
    void resume() { work_.resume(); }

    // The page's Pause and Resume buttons: nothing unless a job runs; otherwise
    // the job holds or goes on, and the page's status line shows statusText
    // (each page has its own words).
    void pauseButton(const char* statusText);
    void resumeButton(const char* statusText);
    // Shows or hides the page's progress bar and Stop, and with pauseResume its
    // Pause and Resume as well (hidden otherwise).
    void showControls(bool visible, bool pauseResume = true);

    // Stops and joins the thread; a pending finish is dropped. Safe to call twice.
    void shutdown();

private:
    Gui& gui_;
    int pageId_;
    GuiProgressSink sink_;
    WorkControl work_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::shared_ptr<int> alive_;
};

}  // namespace tavrel::app
