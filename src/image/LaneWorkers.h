// Threads that stay for a reader's life and help with its long reads: each
// run() hands one job to every worker and runs it on the calling thread too,
// and returns once all have finished it. Threads started per read made the
// scheduler move them between processors, which cost compressed images a
// third of their read speed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace tavrel {

class LaneWorkers {
public:
    // Starts `count` workers; they are lanes 1..count of every job.
    explicit LaneWorkers(std::size_t count);
    ~LaneWorkers() = default;  // the workers are stopped and joined
    LaneWorkers(const LaneWorkers&) = delete;
    LaneWorkers& operator=(const LaneWorkers&) = delete;

    // Runs job(lane) on every worker and job(0) on this thread. One run at a
    // time: a second caller waits for the first to end.
    void run(const std::function<void(std::size_t)>& job);
    // Splits [0, total) into pieces of `piece` bytes that lanes 0..lanes-1 take
    // in turn until none is left, so that a lane whose pieces go fast does not
    // wait for a slower one; read(lane, from, length) reads one piece. False
    // when any read was.
    bool runPieces(std::size_t lanes, std::size_t total, std::size_t piece,
                   const std::function<bool(std::size_t, std::size_t, std::size_t)>& read);

private:
    void loop(std::stop_token stop, std::size_t lane);

    std::mutex use_;  // held for a whole run
    std::mutex mutex_;
    std::condition_variable_any wake_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::uint64_t generation_ = 0;
    std::size_t busy_ = 0;
    std::vector<std::jthread> threads_;  // last: stopped and joined first
};

}  // namespace tavrel
