// A progress bar on stderr for long CLI jobs, drawn only when stderr is a
// terminal (so pipes, logs and tests see nothing). Thread-safe; redraws at most
// ten times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "util/WorkControl.h"

namespace tavrel::cli {

class TerminalProgress final : public ProgressSink {
public:
    TerminalProgress();
    ~TerminalProgress() override;

    void setStatus(const std::string& text) override;
    void setRange(std::int64_t lower, std::int64_t upper) override;
    void setPosition(std::int64_t position) override;

    // Clears the bar's line (also done by the destructor).
    void finish();

private:
    void draw(bool force);

    bool enabled_;
    std::mutex mutex_;
    std::string status_;
    std::int64_t lower_ = 0;
    std::int64_t upper_ = 0;
    std::int64_t position_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace tavrel::cli
