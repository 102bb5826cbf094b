#include "raw/myJpg.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "raw/ExactEnd.h"
#include "raw/FormatWalk.h"

namespace tavrel::raw {

namespace {

// Bytes read past a chunk's end, so an end signature that begins in the chunk's
// last sector and runs into the next one is still seen whole.
constexpr std::size_t kLookahead = 16;
// Sectors between stop and pause checks inside a chunk.
constexpr std::size_t kSectorsPerCheck = 256;

bool matches(const std::uint8_t* at, const std::vector<std::uint8_t>& signature) {
    for (std::size_t i = 0; i < signature.size(); ++i)
        if (signature[i] != kWildcard && signature[i] != at[i]) return false;
    return true;
}

// a + b for a, b >= 0, held at the largest offset instead of overflowing (skip
// sizes come from rule files).
std::int64_t past(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? INT64_MAX : sum;
}

std::int64_t alignUp(std::int64_t value) { return (value + myJpg::kStep - 1) / myJpg::kStep * myJpg::kStep; }
std::int64_t alignDown(std::int64_t value) { return value / myJpg::kStep * myJpg::kStep; }

}  // namespace

bool myJpg::buildPatterns() {
    if (rules_.empty()) return false;
    categories_.clear();
    ruleCategory_.clear();
    endRules_.clear();
    std::map<std::string, std::size_t> byName;
    for (std::size_t r = 0; r < rules_.size(); ++r) {
        rules_[r].index = r;
        // A rule without a category is listed under its extension.
        const std::string name = rules_[r].category.empty() ? rules_[r].extension : rules_[r].category;
        auto [it, added] = byName.emplace(name, categories_.size());
        if (added) categories_.push_back({name, 0});
        ruleCategory_.push_back(it->second);
        if (!rules_[r].end.empty()) endRules_.push_back(r);
    }
    return true;
}

std::string myJpg::nameOf(const FoundFile& file) const {
    const std::string ext = file.rule < rules_.size() ? rules_[file.rule].extension : std::string();
    return std::to_string(file.start) + " ." + ext;
}

// The files an ext2/ext3 volume may hold with indirect blocks among their data
// start on a block boundary.
std::optional<IndirectSkipper> myJpg::skipperAt(std::int64_t start) const {
    if (!ext_ || start % ext_->blockSize != 0) return std::nullopt;
    return std::optional<IndirectSkipper>(std::in_place, *volume_, *ext_, start);
}

// The file bytes of a range of `volumeLength` volume bytes from `start`.
std::int64_t myJpg::fileLengthOf(std::int64_t start, std::int64_t volumeLength) const {
    auto skipper = skipperAt(start);
    if (!skipper || volumeLength <= 0) return volumeLength;
    skipper->volumeOffset(volumeLength - 1);
    std::int64_t inside = 0;
    for (const std::int64_t s : skipper->skipped())
        if (s - start + ext_->blockSize <= volumeLength) ++inside;
    return volumeLength - inside * ext_->blockSize;
}

std::int64_t myJpg::volumeEndOf(const FoundFile& file) const {
    // Lengths may come from a rule file's approximate size: held at the largest offset.
    return past(past(file.start, file.length), static_cast<std::int64_t>(file.skipped.size()) * skipBlock());
}

// Cuts a found file where its range reaches volume offset `at` (at a skipped
// block's start when `at` falls inside one).
void myJpg::cutAt(FoundFile& file, std::int64_t at) const {
    std::size_t before = 0;
    while (before < file.skipped.size() && file.skipped[before] < at) {
        if (file.skipped[before] + skipBlock() > at) at = file.skipped[before];
        else ++before;
    }
    file.skipped.resize(before);
    const std::int64_t length = at - file.start - static_cast<std::int64_t>(before) * skipBlock();
    file.length = std::clamp<std::int64_t>(length, 0, file.length);
}

std::vector<fs::Extent> myJpg::extentsOf(const FoundFile& file) const {
    std::vector<fs::Extent> extents;
    std::int64_t at = file.start;
    std::int64_t left = file.length;
    for (const std::int64_t s : file.skipped) {
        if (left <= 0) break;
        if (s > at) {
            const std::int64_t take = std::min(s - at, left);
            extents.push_back({at, take});
            left -= take;
        }
        at = s + skipBlock();
    }
    if (left > 0) extents.push_back({at, left});
    return extents;
}

std::int64_t myJpg::record(std::int64_t start, std::int64_t length, std::size_t rule, std::int64_t proven,
                           bool partial, IndirectSkipper* walked) {
    if (length <= 0 || start >= volumeSize_) return start;
    length = std::min(length, volumeSize_ - start);
    FoundFile file{start, length, rule, partial, 0, {}};
    std::optional<IndirectSkipper> own = walked || length <= skipBlock() ? std::nullopt : skipperAt(start);
    if (IndirectSkipper* skipper = walked ? walked : own ? &*own : nullptr) {
        // Every place an indirect block may stand inside the file is looked at,
        // then only the blocks inside its range are kept.
        skipper->volumeOffset(length - 1);
        std::int64_t end = past(start, length);
        for (const std::int64_t s : skipper->skipped()) {
            if (s >= end) break;
            file.skipped.push_back(s);
            end += skipBlock();
        }
    }
    // Not past the volume, nor (free space only) past the free run the file starts in.
    const std::int64_t bound = std::min(volumeSize_, freeUntil(start));
    if (volumeEndOf(file) > bound) {
        cutAt(file, bound);
        if (free_ && file.length < proven) file.partial = true;
    }
    // What follows the last block the image stores only reads as zeros.
    if (file.length > 0) {
        const std::int64_t span = volumeEndOf(file) - start;
        const std::int64_t stored = volume_->storedPrefix(start, span, kStep);
        if (stored < span) cutAt(file, start + stored);
    }
    if (file.length <= 0) return start;
    if (found_.size() >= kMaxFound) {
        truncated_ = true;
        return start;
    }
    file.proven = std::clamp<std::int64_t>(proven, 0, file.length);
    found_.push_back(std::move(file));
    ++categories_[ruleCategory_[rule]].count;
    return volumeEndOf(found_.back());
}

std::size_t myJpg::partialCount() const {
    return static_cast<std::size_t>(
        std::count_if(found_.begin(), found_.end(), [](const FoundFile& f) { return f.partial; }));
}

void myJpg::cutApproximate() {
    std::vector<std::int64_t> starts;
    starts.reserve(found_.size());
    for (const FoundFile& f : found_) starts.push_back(f.start);
    std::sort(starts.begin(), starts.end());
    for (FoundFile& f : found_) {
        if (f.length <= f.proven) continue;
        const auto next = std::lower_bound(starts.begin(), starts.end(), f.start + std::max<std::int64_t>(f.proven, 1));
        if (next != starts.end() && *next < volumeEndOf(f)) cutAt(f, *next);
    }
}

CarveResult myJpg::carve(const VolumeView& volume, WorkControl& work, const fs::AllocationMap* freeOnly) {
    if (!buildPatterns()) return CarveResult::NotInitialized;
    found_.clear();
    truncated_ = false;
    warnings_.clear();
    pending_.assign(rules_.size(), {});
    volume_ = &volume;
    volumeSize_ = volume.size();
    startsFrom_ = 0;
    walkReach_ = {};
    ext_ = indirectGeometryOf(volume);
    free_ = freeOnly;
    buffer_.assign(static_cast<std::size_t>(kChunk) + kLookahead, 0);

    const std::int64_t chunks = (volumeSize_ + kChunk - 1) / kChunk;
    work.range(0, chunks);
    bool stopped = false;
    for (std::int64_t c = 0; c < chunks && !stopped; ++c) {
        work.position(c);
        if (!work.checkpoint()) {
            stopped = true;
            break;
        }
        chunkBase_ = c * kChunk;
        const std::int64_t length = std::min(kChunk, volumeSize_ - chunkBase_);
        // Unstored ranges read as zeros: nothing starts or ends there, so the
        // walk goes on at the next chunk that holds stored bytes.
        if (const std::int64_t next = volume.storedChunkFrom(chunkBase_, kChunk); next != chunkBase_) {
            c = next / kChunk - 1;
            continue;
        }
        // Free space only: chunks without a free sector are not read.
        std::int64_t freeAt = 0, freeEnd = length;
        if (free_) {
            const std::int64_t next = free_->freeFrom(chunkBase_);
            if (next < 0) break;
            if (next >= chunkBase_ + length) {
                c = next / kChunk - 1;
                continue;
            }
            freeAt = alignDown(next - chunkBase_);
            freeEnd = freeAt;
        }
        bufferLength_ = static_cast<std::size_t>(std::min<std::int64_t>(length + kLookahead, volumeSize_ - chunkBase_));
        const MutableByteSpan view(buffer_.data(), bufferLength_);
        if (!volume.readAt(chunkBase_, view)) warnings_.unreadable(chunkBase_);
        std::size_t sectors = 0;
        for (std::int64_t o = freeAt; o < length; o += kStep) {
            if (free_ && o >= freeEnd) {
                // On to the next run of free units.
                const std::int64_t next = free_->freeFrom(chunkBase_ + o);
                if (next < 0 || next >= chunkBase_ + length) break;
                o = alignDown(next - chunkBase_);
                freeEnd = free_->freeUntil(chunkBase_ + o) - chunkBase_;
                if (freeEnd <= o) freeEnd = o + kStep;
            }
            if (++sectors % kSectorsPerCheck == 0 && !work.checkpoint()) {
                stopped = true;
                break;
            }
            scanSector(chunkBase_ + o, static_cast<std::size_t>(o),
                       static_cast<std::size_t>(std::min(kStep, length - o)));
        }
    }
    work.position(chunks);
    flush();
    cutApproximate();
    volume_ = nullptr;
    free_ = nullptr;
    buffer_ = {};
    return stopped ? CarveResult::Stopped : CarveResult::Done;
}

void myJpg::scanSector(std::int64_t sector, std::size_t at, std::size_t sectorLength) {
    const std::uint8_t* data = buffer_.data();
    // The first start signature that matches decides the sector's start.
    std::size_t startRule = rules_.size();
    if (sector >= startsFrom_) {
        for (std::size_t r = 0; r < rules_.size(); ++r) {
            const SignatureRule& rule = rules_[r];
            const auto off = static_cast<std::size_t>(rule.startOffset);
            if (off + rule.start.size() <= sectorLength && matches(data + at + off, rule.start)) {
                startRule = r;
                break;
            }
        }
    }
    // A kind with a structure check ends where its structure ends.
    if (startRule < rules_.size() && hasStructureWalk(rules_[startRule].extension)) {
        walkStart(startRule, sector);
        startRule = rules_.size();
    }
    if (startRule < rules_.size() && !rules_[startRule].end.empty() && pending_[startRule].size() < kMaxPending)
        pending_[startRule].push_back(sector);

    // End signatures anywhere in the sector, for rules that wait for one; a start
    // in this sector hides none of them.
    ends_.clear();
    for (const std::size_t r : endRules_) {
        if (pending_[r].empty()) continue;
        const std::vector<std::uint8_t>& sig = rules_[r].end;
        const std::size_t last = std::min(at + sectorLength, bufferLength_ >= sig.size() ? bufferLength_ - sig.size() + 1 : 0);
        std::size_t p = at;
        while (p < last) {
            if (sig[0] != kWildcard) {
                const void* hit = std::memchr(data + p, sig[0], last - p);
                if (!hit) break;
                p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - data);
            }
            if (matches(data + p, sig)) ends_.emplace_back(chunkBase_ + static_cast<std::int64_t>(p), r);
            ++p;
        }
    }
    std::sort(ends_.begin(), ends_.end());
    for (const auto& hit : ends_) {
        const std::int64_t position = hit.first;
        const std::size_t r = hit.second;
        const SignatureRule& rule = rules_[r];
        auto& stack = pending_[r];
        // The end must lie after the start signature of the start it closes; only
        // the newest start (pushed for this very sector) can fail that.
        const auto opensBefore = [&](std::int64_t start) {
            return start + rule.startOffset + static_cast<std::int64_t>(rule.start.size()) <= position;
        };
        auto it = stack.end();
        if (!stack.empty() && opensBefore(stack.back())) it = stack.end() - 1;
        else if (stack.size() >= 2 && opensBefore(stack[stack.size() - 2])) it = stack.end() - 2;
        // A ZIP end record names its archive's start; the starts after it are
        // the archive's own entries and close with it.
        if (isZipFamily(rule.extension)) {
            const std::int64_t archive = zipArchiveStart(*volume_, position);
            const auto own = std::find(stack.begin(), stack.end(), archive);
            if (own != stack.end() && opensBefore(archive)) {
                stack.erase(std::remove_if(own + 1, stack.end(), [&](std::int64_t s) { return s < position; }),
                            stack.end());
                it = own;
            }
        }
        if (it == stack.end()) continue;
        const std::int64_t start = *it;
        stack.erase(it);
        const std::int64_t endsAt = position + static_cast<std::int64_t>(rule.end.size());
        std::int64_t length = fileLengthOf(start, endsAt + bytesAfterEnd(rule.extension, *volume_, endsAt) - start);
        if (rule.approxSize > 0) length = std::min(length, rule.approxSize);
        record(start, length, r, length);
        if (rule.skipSize > kStep)
            startsFrom_ = std::max(startsFrom_, past(alignDown(position) + kStep, alignDown(rule.skipSize)));
    }

    if (startRule < rules_.size() && rules_[startRule].end.empty()) startWithoutEnd(startRule, sector, at);
}

void myJpg::walkStart(std::size_t r, std::int64_t sector) {
    const SignatureRule& rule = rules_[r];
    // Inside the ranges of kWalksPerByte earlier walks: not walked again.
    if (walkReach_.size() >= kWalksPerByte && walkReach_.top() > sector) {
        record(sector, rule.approxSize, r, 0, true);
        return;
    }
    std::int64_t reach = sector;
    const HeldBytes held{chunkBase_, ByteSpan(buffer_.data(), bufferLength_)};
    std::optional<IndirectSkipper> skipper = skipperAt(sector);
    IndirectSkipper* skips = skipper ? &*skipper : nullptr;
    const Walked walked = walkStructure(rule.extension, *volume_, sector, rule.approxSize, held, &reach, skips,
                                        free_ ? freeUntil(sector) : -1)
                              .value_or(Walked{});
    walkReach_.push(reach);
    if (walkReach_.size() > kWalksPerByte) walkReach_.pop();
    switch (walked.end) {
        case WalkEnd::Complete:
            record(sector, walked.length, r, walked.length, false, skips);
            if (startsInsideWalked(rule.extension))
                startsFrom_ = std::max(startsFrom_, alignUp(past(sector, walked.length)));
            break;
        case WalkEnd::Truncated:
            record(sector, walked.length > 0 ? walked.length : rule.approxSize, r, walked.length, true, skips);
            break;
        case WalkEnd::Damaged:
            record(sector, rule.approxSize > 0 ? rule.approxSize : walked.length, r, walked.length, true, skips);
            break;
    }
}

void myJpg::startWithoutEnd(std::size_t r, std::int64_t sector, std::size_t at) {
    const SignatureRule& rule = rules_[r];
    if (const std::int64_t stated = statedLength(rule.extension, *volume_, sector); stated > 0) {
        startsFrom_ = std::max(startsFrom_, alignUp(std::max(record(sector, stated, r, stated), sector + stated)));
        return;
    }
    if (!rule.hasSizeField()) {
        record(sector, rule.approxSize, r);
        startsFrom_ = past(sector, rule.skipSize > kStep ? alignDown(rule.skipSize) : kStep);
        return;
    }
    // The size field, little-endian, from the chunk when it lies there, else read.
    const auto width = static_cast<std::size_t>(rule.sizeFieldBytes);
    const auto fieldAt = at + static_cast<std::size_t>(rule.sizeFieldOffset);
    std::uint8_t field[8] = {};
    if (fieldAt + width <= bufferLength_) {
        std::memcpy(field, buffer_.data() + fieldAt, width);
    } else if (!volume_->readAt(sector + rule.sizeFieldOffset, MutableByteSpan(field, width))) {
        return;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(field[i]) << (8 * i);
    const std::uint64_t header = rule.sizeIncludesHeader ? 0 : static_cast<std::uint64_t>(rule.headerSize);
    if (value == 0 || value > static_cast<std::uint64_t>(volumeSize_)) return;
    const auto length = static_cast<std::int64_t>(value + header);
    // A header stating more than the rule's approximate size is no file of this kind.
    if (rule.approxSize > 0 && length > rule.approxSize) return;
    startsFrom_ = std::max(startsFrom_, alignUp(std::max(record(sector, length, r, length), sector + length)));
}

void myJpg::flush() {
    for (std::size_t r = 0; r < rules_.size(); ++r) {
        for (const std::int64_t start : pending_[r]) record(start, rules_[r].approxSize, r);
        pending_[r].clear();
    }
}

}  // namespace tavrel::raw
