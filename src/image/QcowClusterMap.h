// Where a qcow2 image keeps each cluster of its disk, read from the image's own
// L1 and L2 tables. libqcow reads every cluster through its cache (a fresh
// buffer, a read, a copy); with this map the qcow reader copies plain clusters
// straight from the file in long runs, and knows which clusters hold nothing,
// so whole-disk walks skip them. Clusters the tables place outside the file or
// off the cluster grid (a cut or damaged image) read as zeros and fail the read,
// without reaching libqcow, which reads past its buffers on a cut image.
// Clusters compressed with DEFLATE are inflated here, straight into the
// caller's buffer; other compression types and entries with reserved bits set
// stay libqcow's.
// The map is built only for the layouts it reads fully: qcow2 version 2 or 3,
// unencrypted, no external data file and standard 64-bit L2 entries.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "image/HostFile.h"

namespace tavrel {

class QcowClusterMap {
public:
    enum class Kind {
        Data,         // stored in the file at hostOffset, runs contiguous in the file
        Zero,         // recorded as all zeros
        Unallocated,  // not in this image: zeros, or the backing file's content
        Damaged,      // placed outside the file or off the cluster grid
        Compressed,   // one DEFLATE-compressed cluster at hostOffset, packedBytes long
        Library,      // another compression type, or reserved bits set: read through libqcow
    };
    struct Run {
        Kind kind = Kind::Library;
        // File offset of the run's first byte: a Data run's, or a Damaged run's
        // single cluster that the file's end cuts; -1 when none.
        std::int64_t hostOffset = -1;
        std::int64_t length = 0;  // bytes from the queried offset, > 0
        std::int64_t packedBytes = 0;  // Compressed: the bytes the file holds for it
    };

    // Reads the header and the L1 table of the image at path; false (and no map)
    // for a layout the map does not read or a header that does not hold together.
    bool open(const std::string& path);

    std::int64_t diskSize() const { return diskSize_; }
    bool hasParent() const { return hasParent_; }

    // The run of clusters of one kind from diskOffset (inside the disk), at most
    // maxLength bytes long. An L2 table that cannot be read gives a Damaged run.
    Run runAt(std::int64_t diskOffset, std::int64_t maxLength) const;

    // Reads a run's bytes from the file; what lies past the file's end reads as
    // zeros. False on a short or failed read.
    bool readData(std::int64_t hostOffset, MutableByteSpan out) const;

    // Inflates a Compressed run's cluster and gives its bytes from diskOffset
    // (inside the run). False (out zeroed) when it cannot be read or inflated.
    bool readCompressed(const Run& run, std::int64_t diskOffset, MutableByteSpan out) const;

    // The first offset at or after diskOffset whose cluster may hold data (Data,
    // Damaged or Library); diskSize() when none does. Unallocated counts as empty only
    // when there is no backing file.
    std::int64_t nextStored(std::int64_t diskOffset) const;

private:
    using Table = std::vector<std::uint64_t>;
    // The L2 table at a file offset, from the cache or the file; null when it
    // cannot be read.
    std::shared_ptr<const Table> l2Table(std::uint64_t fileOffset) const;
    Kind kindOf(std::uint64_t l2Entry, std::int64_t* hostOffset, std::int64_t* packedBytes) const;

    HostFile file_;
    std::int64_t fileLength_ = 0;
    std::int64_t diskSize_ = 0;
    unsigned clusterBits_ = 0;
    unsigned l2Bits_ = 0;  // log2 of the entries per L2 table
    unsigned version_ = 0;
    bool hasParent_ = false;
    bool deflateClusters_ = true;  // compressed clusters use DEFLATE
    std::uint64_t id_ = 0;         // tells maps apart in each thread's inflated cluster
    std::vector<std::uint64_t> l1_;

    // Recently read L2 tables, at most kCachedBytes of them; the oldest goes first.
    static constexpr std::size_t kCachedBytes = 32u << 20;
    mutable std::mutex cacheLock_;
    mutable std::map<std::uint64_t, std::shared_ptr<const Table>> cache_;
    mutable std::deque<std::uint64_t> cacheOrder_;
};

}  // namespace tavrel
