// A reader that wraps another and reads some sectors as zeros (a partition table
// wiped out); support/FaultyReader.h has readers that fail or spoil a range.
#pragma once

#include <algorithm>
#include <cstring>
#include <set>

#include "image/readWriteInterface.h"

namespace tavrel::test {

class ZeroedSectors : public readWriteInterface {
public:
    ZeroedSectors(const readWriteInterface& inner, std::set<std::int64_t> sectors)
        : inner_(inner), sectors_(std::move(sectors)) {}
    bool open(std::string) override { return true; }
    std::int64_t diskSize() const override { return inner_.diskSize(); }
    bool readAt(std::int64_t offset, MutableByteSpan out) const override {
        const bool ok = inner_.readAt(offset, out);
        const std::int64_t end = offset + static_cast<std::int64_t>(out.size());
        for (auto it = sectors_.lower_bound(offset / 512); it != sectors_.end() && *it * 512 < end; ++it) {
            const std::int64_t from = std::max(*it * 512, offset);
            const std::int64_t to = std::min((*it + 1) * 512, end);
            std::memset(out.data() + (from - offset), 0, static_cast<std::size_t>(to - from));
        }
        return ok;
    }

private:
    const readWriteInterface& inner_;
    std::set<std::int64_t> sectors_;
};

}  // namespace tavrel::test
