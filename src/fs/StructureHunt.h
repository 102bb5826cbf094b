// Advanced recovery mode: a parser that does not trust the volume's first
// sectors hunts the whole volume for copies of its own structures (for NTFS the
// $MFT record of each MFT found) and is then told which copy to parse from.
// The pages and the CLI use only this interface, so they never switch on the
// parser kind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::fs {

struct HuntCandidate {
    std::int64_t offset = 0;       // volume byte offset of the structure found
    std::int64_t clusterSize = 0;  // the cluster size the structure's own place proves (0: unknown)
    std::uint32_t unitSize = 0;    // size of the structure's unit (NTFS: the MFT record size)
    // A further offset the hunt learnt beside the structure (FAT: where cluster 2
    // lies; exFAT heap: the root directory holding the allocation-bitmap entry); -1: none.
    std::int64_t anchor = -1;
};

// What the user picks beside the candidate. Zero or negative values mean "as
// the candidate shows".
struct CandidateChoice {
    int sectorsPerCluster = 0;
    int heapIndex = -1;  // exFAT: the heap-offset candidate (below 0: the one at the candidate's position)
};

class StructureHunter {
public:
    virtual ~StructureHunter() = default;

    // Reads the whole volume once and keeps at most `maximum` candidates (below
    // 1 means 3), in volume order. A stop request ends the hunt early; what was
    // found so far is kept. Returns the number of candidates.
    virtual std::size_t huntCopies(WorkControl& work, int maximum) = 0;
    virtual const std::vector<HuntCandidate>& candidates() const = 0;
    // Candidates a hunt of the same volume found before (the page that hunted
    // hands them to the parser of the scan page).
    virtual void setCandidates(std::vector<HuntCandidate> found) = 0;

    // Makes the next scan() parse from candidate `index`; false when the index
    // is out of range or the candidate no longer decodes.
    virtual bool useCandidate(std::size_t index, const CandidateChoice& choice) = 0;

    // Texts of the advanced options page: the candidate combo's item pattern
    // ("%d" for the position), the sectors-per-cluster items in order, and the
    // message that reports the count ("%d").
    virtual const char* candidateItemPattern() const = 0;
    virtual std::vector<std::string> clusterItems() const = 0;
    // The cluster item the page selects: the size the hunt learnt for the first
    // candidate, when it learnt one; the first item otherwise.
    virtual std::string preselectedClusterItem() const { return {}; }
    virtual const char* foundMessagePattern() const = 0;
    // The status line once the hunt has ended.
    virtual const char* huntDoneStatus() const = 0;

    // The message that reports what the hunt found.
    virtual std::string foundMessage() const {
        char buf[256];
        std::snprintf(buf, sizeof buf, foundMessagePattern(), static_cast<int>(candidates().size()));
        return buf;
    }
    // The sectors per cluster a cluster item stands for (exFAT offers shifts).
    virtual int sectorsPerClusterOfItem(int item) const { return item; }

    // A second list some kinds hunt for (exFAT: cluster-heap offsets), with its
    // combo's item pattern; none by default.
    virtual const std::vector<HuntCandidate>& heapCandidates() const {
        static const std::vector<HuntCandidate> none;
        return none;
    }
    virtual void setHeapCandidates(std::vector<HuntCandidate>) {}
    virtual const char* heapItemPattern() const { return nullptr; }
    // The candidate combo's label when the kind names it ("TFS :" otherwise).
    virtual const char* candidateLabel() const { return nullptr; }
};

// The parser's hunter, or nullptr when its kind has no Advanced way.
inline StructureHunter* hunterOf(Parser& parser) { return dynamic_cast<StructureHunter*>(&parser); }

// Maximum counts below 1 mean the default of 3.
inline int huntMaximum(int maximum) { return maximum < 1 ? 3 : maximum; }

}  // namespace tavrel::fs
