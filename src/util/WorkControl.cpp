#include "util/WorkControl.h"

namespace tavrel {

void WorkControl::requestStop() {
    {
        std::lock_guard lock(mutex_);
        stop_.store(true);
    }
    resumed_.notify_all();
}

void WorkControl::clearStop() { stop_.store(false); }

void WorkControl::pause() { paused_.store(true); }

void WorkControl::resume() {
    {
        std::lock_guard lock(mutex_);
        paused_.store(false);
    }
    resumed_.notify_all();
}

bool WorkControl::checkpoint() {
    if (paused_.load()) {
        std::unique_lock lock(mutex_);
        // A stop while paused ends the wait too, so Exit never hangs on a paused job.
        resumed_.wait(lock, [this] { return !paused_.load() || stop_.load(); });
    }
    return !stop_.load();
}

}  // namespace tavrel
