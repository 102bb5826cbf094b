// A progress sink that keeps everything a job reported, for assertions.
#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "util/WorkControl.h"

namespace tavrel::test {

class RecordingSink : public ProgressSink {
public:
    void setStatus(const std::string& text) override {
        std::lock_guard lock(mutex_);
        statuses.push_back(text);
    }
    void setRange(std::int64_t lower, std::int64_t upper) override {
        std::lock_guard lock(mutex_);
        ranges.emplace_back(lower, upper);
    }
    void setPosition(std::int64_t position) override {
        std::lock_guard lock(mutex_);
        positions.push_back(position);
    }
    bool saw(const std::string& text) const {
        return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    }

    std::vector<std::string> statuses;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::vector<std::int64_t> positions;

private:
    std::mutex mutex_;
};

}  // namespace tavrel::test
