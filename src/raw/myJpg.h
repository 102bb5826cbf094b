// The carving engine: finds files in a volume by the signatures of its rules.
//
// The volume is read in 1 MiB chunks from its first byte to its last (a last
// partial chunk included); ranges the image does not store are skipped unread.
// At every sector start the start signatures are tested in rule order and the
// first match is a start. End signatures are searched at every byte after a
// pending start of their rule; an end closes the most recent pending start of its
// rule and the found file ends exactly after it, or after the few bytes a known
// format keeps behind it (ExactEnd.h); capped by the rule's approximate size
// when that is positive. Rules without an end signature take
// the size their header states (a 1, 2, 4 or 8-byte little-endian field), or
// else their approximate size. Kinds with a structure check (FormatWalk.h) end
// where their structure ends; a hit whose structure breaks off is kept, marked
// partial, and ends at its last valid point when only zeros follow (else it
// takes the approximate size). Starts still pending when the volume ends are
// given their rule's approximate size.
//
// Bounds: a length that is only approximate (beyond what the format's own
// fields prove) is cut at the start of the next found file; no found range runs
// past the volume or past the last block the image stores; a byte is looked at
// by at most kWalksPerByte structure walks (a start inside the ranges of that
// many earlier walks is not walked and takes the approximate size), so the work
// grows with the volume, not with the number of starts in it.
//
// On an ext2/ext3 volume (an ext superblock without extents at byte 1024) a file
// that starts on a block boundary is read without the indirect blocks among its
// data (ExtIndirect.h); every sector is still looked at for starts and ends.
//
// Free space only: given the volume's allocation map, only sectors of free
// units are read and looked at, and a found file ends where its run of free
// units ends (marked partial when its structure goes on past there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <queue>
#include <string>
#include <vector>

#include "fs/AllocationMap.h"
#include "fs/ExtentCopy.h"
#include "fs/ScanOutcome.h"
#include "image/VolumeView.h"
#include "raw/ExtIndirect.h"
#include "raw/SignatureRule.h"
#include "util/WorkControl.h"

namespace tavrel::raw {

struct FoundFile {
    std::int64_t start = 0;   // byte offset in the volume
    std::int64_t length = 0;
    std::size_t rule = 0;
    bool partial = false;     // its structure breaks off before its end
    // Bytes from the start that the format's own fields (or a found end) prove
    // belong to the file; the rest of the length is approximate.
    std::int64_t proven = 0;
    // Volume offsets of the ext indirect blocks inside the file's range that are
    // not its bytes (each myJpg::skipBlock() long), ascending; the range then
    // reaches that many blocks past start + length.
    std::vector<std::int64_t> skipped;
};

struct Category {
    std::string name;
    std::int64_t count = 0;
};

enum class CarveResult { Done, Stopped, NotInitialized };

class myJpg {
public:
    static constexpr std::int64_t kChunk = 1048576;
    static constexpr std::int64_t kStep = 512;
    // Bounds on what one carve keeps: found files, and pending starts per rule.
    static constexpr std::size_t kMaxFound = 2'000'000;
    static constexpr std::size_t kMaxPending = 100'000;
    // Structure walks that may look at one byte: a file, its preview, a preview's
    // preview, and one more.
    static constexpr std::size_t kWalksPerByte = 4;

    std::vector<SignatureRule>& rules() { return rules_; }
    const std::vector<SignatureRule>& rules() const { return rules_; }

    // Checks the rules and groups them by category; false when there is no rule.
    bool buildPatterns();

    // Runs the whole scan on the caller's thread. Each run starts a fresh
    // found-file list and fresh category counts. With freeOnly, only what that
    // map of the volume counts free is carved.
    CarveResult carve(const VolumeView& volume, WorkControl& work, const fs::AllocationMap* freeOnly = nullptr);

    const std::vector<FoundFile>& found() const { return found_; }
    const std::vector<Category>& categories() const { return categories_; }
    std::size_t categoryOf(std::size_t rule) const { return ruleCategory_.at(rule); }
    // "<start> .<extension>", e.g. "1048576 .jpg".
    std::string nameOf(const FoundFile& file) const;
    bool truncated() const { return truncated_; }  // kMaxFound was reached
    std::size_t partialCount() const;
    // The ext block size whose indirect blocks the last carve left out (0: none).
    std::int64_t skipBlock() const { return ext_ ? ext_->blockSize : 0; }
    // Where a found file's bytes lie in the volume, in file order.
    std::vector<fs::Extent> extentsOf(const FoundFile& file) const;
    const fs::Warnings& warnings() const { return warnings_; }

private:
    void scanSector(std::int64_t sector, std::size_t at, std::size_t sectorLength);
    // Records a found file of `length` file bytes; returns the volume offset just
    // past its range (start when nothing was recorded).
    std::int64_t record(std::int64_t start, std::int64_t length, std::size_t rule, std::int64_t proven = 0,
                        bool partial = false, IndirectSkipper* walked = nullptr);
    std::optional<IndirectSkipper> skipperAt(std::int64_t start) const;
    std::int64_t fileLengthOf(std::int64_t start, std::int64_t volumeLength) const;
    std::int64_t volumeEndOf(const FoundFile& file) const;
    void cutAt(FoundFile& file, std::int64_t volumeOffset) const;
    std::int64_t freeUntil(std::int64_t offset) const { return free_ ? free_->freeUntil(offset) : volumeSize_; }
    void walkStart(std::size_t rule, std::int64_t sector);
    void startWithoutEnd(std::size_t rule, std::int64_t sector, std::size_t at);
    void flush();
    void cutApproximate();

    std::vector<SignatureRule> rules_;
    std::vector<std::size_t> ruleCategory_;
    std::vector<std::size_t> endRules_;  // rules with an end signature
    std::vector<Category> categories_;
    std::vector<FoundFile> found_;
    std::vector<std::vector<std::int64_t>> pending_;
    std::vector<std::pair<std::int64_t, std::size_t>> ends_;  // scratch: end hits of one sector
    std::vector<std::uint8_t> buffer_;
    const VolumeView* volume_ = nullptr;
    std::int64_t volumeSize_ = 0;
    std::int64_t chunkBase_ = 0;
    std::size_t bufferLength_ = 0;
    std::int64_t startsFrom_ = 0;  // no start is taken before this offset (skips)
    // The furthest reaches of the kWalksPerByte walks that reached furthest.
    std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> walkReach_;
    bool truncated_ = false;
    fs::Warnings warnings_;
    std::optional<ExtGeometry> ext_;
    const fs::AllocationMap* free_ = nullptr;
};

}  // namespace tavrel::raw
