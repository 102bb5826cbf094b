#include "image/LaneWorkers.h"

#include <algorithm>
#include <atomic>

namespace tavrel {

LaneWorkers::LaneWorkers(std::size_t count) {
    threads_.reserve(count);
    for (std::size_t lane = 1; lane <= count; ++lane)
        threads_.emplace_back([this, lane](std::stop_token stop) { loop(std::move(stop), lane); });
}

void LaneWorkers::run(const std::function<void(std::size_t)>& job) {
    const std::lock_guard use(use_);
    {
        const std::lock_guard lock(mutex_);
        job_ = &job;
        busy_ = threads_.size();
        ++generation_;
    }
    wake_.notify_all();
    job(0);
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return busy_ == 0; });
    job_ = nullptr;
}

bool LaneWorkers::runPieces(std::size_t lanes, std::size_t total, std::size_t piece,
                            const std::function<bool(std::size_t, std::size_t, std::size_t)>& read) {
    const std::size_t pieces = (total + piece - 1) / piece;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> allRead{true};
    run([&](std::size_t lane) {
        if (lane >= lanes) return;
        for (std::size_t i = next++; i < pieces; i = next++) {
            const std::size_t from = i * piece;
            if (!read(lane, from, std::min(piece, total - from))) allRead = false;
        }
    });
    return allRead;
}

void LaneWorkers::loop(std::stop_token stop, std::size_t lane) {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    while (wake_.wait(lock, stop, [this, &seen] { return generation_ != seen; })) {
        seen = generation_;
        const auto* job = job_;
        lock.unlock();
        (*job)(lane);
        lock.lock();
        if (--busy_ == 0) wake_.notify_all();
    }
}

}  // namespace tavrel
