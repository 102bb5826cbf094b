// The HFS+ parser (HFSX volumes too): reads the catalog B-tree's leaf nodes,
// node by node through the catalog file's extents in the standard mode, or by
// testing every possible node start of the volume in the other modes (which also
// finds leaf nodes the tree no longer reaches), keeps one HfsEntry per folder or
// file record, links them into a folder tree and writes data forks, taking
// further extents from the extents-overflow file.
//
// Records in leaf nodes that the live leaf chain does not reach are shown as
// deleted; so are, in the other modes, plausible records left in the free
// space of any leaf node.
//
// A volume header that is not usable (no HFS+ signature or no valid block
// size) at byte 1024 is replaced by the alternate copy 1024 bytes before the
// volume's end, with a warning. Without either, the other modes still scan:
// the catalog's header node is found in the volume, and the block size is the
// one the file records' sizes and block counts agree on. Hard links are saved with the content of the iNode file they name;
// a symbolic link's data fork holds its target, which is what gets saved.
//
// Class HFSP is implemented in HfsScan.cpp (the scan), HfsCatalog.cpp (catalog
// records and the tree), HfsView.cpp (the entry view) and HfsSave.cpp (saving).
#pragma once

#include <cstdint>
#include <map>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "fs/EntryTable.h"
#include "fs/Parser.h"
#include "fs/hfsplus/HfsEntry.h"
#include "fs/hfsplus/HfsFork.h"
#include "fs/hfsplus/HfsFormat.h"

namespace tavrel::fs {

class HFSP final : public Parser {
public:
    static constexpr const char* kOrphanName = "ORPHAN_ENTRY";
    static constexpr const char* kBadBlockSizeText = "BlockSize not valid .Aborting..";
    static constexpr const char* kAbortedText = "Running process Aborted....";
    static constexpr const char* kBadNodeSizeText = "NodeSize not valid .Aborting..";
    static constexpr const char* kAlternateHeaderText = "volume header corrupt.Using alternate volume header...";
    static constexpr const char* kNoHeaderText = "volume header corrupt.Scanning for catalog nodes...";
    static constexpr std::int64_t kChunkSize = 52428800;  // the deep scan reads 50 MiB at a time

    HFSP(const VolumeView& volume, const ScanOptions& options);

    ScanOutcome scan(WorkControl& work) override;

    std::vector<EntryRef> rootLevel() const override { return rootLevel_; }
    std::vector<EntryRef> children(EntryRef e) const override;
    bool isFolder(EntryRef e) const override;
    bool hasChildren(EntryRef e) const override;
    bool isDeleted(EntryRef e) const override;
    std::string name(EntryRef e) const override;
    std::int64_t size(EntryRef e) const override;
    EntryTimes times(EntryRef e) const override;
    EntryDescription describeEntry(EntryRef e) const override;
    std::string sizeText(EntryRef e) const override;
    bool saveFile(EntryRef e, ByteSink& out, WorkControl& work) override;
    ContentPlace contentPlace(EntryRef e) const override;

    // Stages, in the order scan() runs them. The extents-overflow file is read
    // before the catalog, whose own further extents it may hold.
    bool attach();
    bool readVolumeHeader();
    bool loadExtentsOverflow(WorkControl& work);
    bool loadCatalogNodes(WorkControl& work);  // standard mode
    const char* scanForLeafNodes(WorkControl& work);  // the other modes; the failure's text
    void parseCatalogRecords(WorkControl& work);
    void linkChildren(WorkControl& work);
    void fillRootLevel(WorkControl& work);

    // State, readable by the tests.
    const std::vector<hfsplus::HfsEntry>& entries() const { return entries_; }
    const hfsplus::HfsEntry* entry(EntryRef cnid) const;
    std::uint32_t blockSize() const { return blockSize_; }
    bool deepScan() const { return deep_; }
    bool usedAlternateHeader() const { return alternateHeader_; }
    const hfsplus::VolumeHeader& volumeHeader() const { return header_; }

private:
    std::unique_ptr<AllocationMap> readAllocationMap() const override;
    // One node kept from a B-tree pass.
    struct NodeRecord {
        std::int64_t nodeNumber = -1;  // within the B-tree file; -1 for nodes the deep scan found
        std::int64_t volumeOffset = -1;
        std::vector<std::uint16_t> offsets;
        bool live = true;              // on the tree's leaf chain
        std::uint32_t next = 0;        // the node's fLink
    };
    struct BTree {
        hfsplus::ForkMap fork;
        hfsplus::BTreeHeader header;
        std::int64_t nodes = 0;        // totalNodes, bounded by the fork
    };
    using OverflowKey = std::tuple<std::uint32_t, std::uint8_t, std::uint32_t>;  // file ID, fork, start block

    std::optional<BTree> openBTree(const hfsplus::ForkData& fork, std::uint32_t fileId);
    std::optional<BTree> findCatalogHeader(WorkControl& work);
    template <typename Visit>
    void forEachChunk(WorkControl& work, std::int64_t overlap, std::int64_t step, Visit visit);
    std::uint32_t learnBlockSize() const;
    std::vector<NodeRecord> readLeafNodes(const BTree& tree, WorkControl& work, bool& stopped);
    std::vector<std::uint8_t> readNode(const NodeRecord& node, std::size_t nodeSize) const;
    std::vector<hfsplus::HfsExtent> forkExtents(std::uint32_t fileId, const hfsplus::ForkData& fork) const;
    std::vector<hfsplus::HfsExtent> allExtents(std::uint64_t cnid, std::vector<hfsplus::HfsExtent> extents,
                                               std::uint32_t totalBlocks) const;
    hfsplus::HfsEntry makeEntry(const hfsplus::CatalogRecord& record, const NodeRecord& node, std::size_t offset) const;
    void resolveHardLinks();
    void buildLookup();
    std::size_t indexOf(EntryRef cnid) const;  // entries_.size() when absent
    const hfsplus::HfsEntry& contentOf(const hfsplus::HfsEntry& e) const;
    ScanOutcome failed(std::int64_t offset, const char* text);

    VolumeView volume_;
    ScanOptions options_;
    bool deep_ = false;
    bool alternateHeader_ = false;  // the header came from the copy at the volume's end
    bool headerless_ = false;       // neither header was usable (not in the standard mode)
    std::int64_t catalogOffset_ = -1;  // volume offset of the catalog's header node
    hfsplus::VolumeHeader header_;
    std::uint32_t blockSize_ = 0;
    std::optional<BTree> catalog_;
    std::uint16_t catalogNodeSize_ = 0;
    std::vector<NodeRecord> catalogNodes_;
    std::map<OverflowKey, hfsplus::ExtentRecord> overflow_;
    std::vector<hfsplus::HfsEntry> entries_;  // ascending CNID
    std::vector<std::size_t> linkTargets_;    // per entry: the entry holding its content
    std::vector<std::uint32_t> lookup_;       // entry index by CNID, when the CNIDs are dense enough
    EntryTable tree_;
    std::size_t orphanIndex_ = 0;
    std::vector<std::size_t> rootTops_;      // entries whose parent is the root folder
    std::vector<EntryRef> rootLevel_;
    bool stopped_ = false;
};

}  // namespace tavrel::fs
