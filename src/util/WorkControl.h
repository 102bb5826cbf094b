// One WorkControl per long job: an atomic stop flag, a pause gate, and the
// progress/status sink the job reports to. Loops call checkpoint() between units
// of work; it blocks while paused and returns false once a stop was requested.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace tavrel {

// Receives a job's reports. Implementations must be thread-safe: workers call them.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setStatus(const std::string& text) = 0;
    virtual void setRange(std::int64_t lower, std::int64_t upper) = 0;
    virtual void setPosition(std::int64_t position) = 0;
};

// A sink that drops everything.
class NullSink final : public ProgressSink {
public:
    void setStatus(const std::string&) override {}
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
};

class WorkControl {
public:
    explicit WorkControl(ProgressSink* sink = nullptr) : sink_(sink) {}
    WorkControl(const WorkControl&) = delete;
    WorkControl& operator=(const WorkControl&) = delete;

    // Called by the owner (interface thread).
    void requestStop();
    void clearStop();
    void pause();
    void resume();
    bool paused() const { return paused_.load(); }

    // Called by the worker. Blocks while paused; false when the job should end.
    bool checkpoint();
    bool stopRequested() const { return stop_.load(); }

    void setSink(ProgressSink* sink) { sink_ = sink; }
    ProgressSink& sink() { return sink_ ? *sink_ : nullSink_; }
    void status(const std::string& text) { sink().setStatus(text); }
    void range(std::int64_t lower, std::int64_t upper) { sink().setRange(lower, upper); }
    void position(std::int64_t p) { sink().setPosition(p); }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::mutex mutex_;
    std::condition_variable resumed_;
    ProgressSink* sink_;
    NullSink nullSink_;
};

}  // namespace tavrel
