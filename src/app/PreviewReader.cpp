#include "app/PreviewReader.h"

#include <exception>

namespace tavrel::app {

PreviewReader::PreviewReader(Gui& gui) : gui_(gui), thread_([this] { loop(); }) {}

PreviewReader::~PreviewReader() { shutdown(); }

void PreviewReader::request(Read read, Done done) {
    {
        std::lock_guard lock(mutex_);
        if (ending_) return;
        ++generation_;
        pending_ = std::move(read);
        pendingDone_ = std::move(done);
        work_.requestStop();  // a running read ends at its next checkpoint
    }
    wake_.notify_one();
}

void PreviewReader::cancel() {
    std::lock_guard lock(mutex_);
    ++generation_;
    pending_ = nullptr;
    pendingDone_ = nullptr;
    work_.requestStop();
}

void PreviewReader::halt() {
    cancel();
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !busy_; });
}

void PreviewReader::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) return;
        ending_ = true;
        ++generation_;
        pending_ = nullptr;
        pendingDone_ = nullptr;
        work_.requestStop();
        alive_.reset();
    }
    wake_.notify_one();
    thread_.join();
}

void PreviewReader::loop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return ending_ || pending_; });
        if (ending_) return;
        Read read = std::move(pending_);
        Done done = std::move(pendingDone_);
        pending_ = nullptr;
        pendingDone_ = nullptr;
        const std::uint64_t generation = generation_;
        std::weak_ptr<int> alive = alive_;
        work_.clearStop();
        busy_ = true;
        lock.unlock();
        browse::PreviewBytes result;
        try {
            result = read(work_);
        } catch (const std::exception&) {
            result = {};
            result.readFailed = true;
        }
        lock.lock();
        busy_ = false;
        idle_.notify_all();
        if (generation != generation_ || !done) continue;
        // Delivered only while the page lives and no newer request came.
        gui_.post([this, alive, generation, done = std::move(done), result = std::move(result)] {
            if (alive.expired()) return;
            {
                std::lock_guard check(mutex_);
                if (generation != generation_) return;
            }
            done(result);
        });
    }
}

}  // namespace tavrel::app
