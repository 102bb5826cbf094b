// The advanced way of the FAT-family parsers: the layout comes from the hunt
// and the user's cluster size instead of the boot sector. The tree is walked
// from the root directory that layout names, as in the standard way; directory
// clusters the walk does not reach are then found by scanning the cluster heap
// (as Deep mode does) and listed under "ORPHAN ENTRY".
#include "fs/fat/ClusterChainParser.h"

#include "fs/fat/ExFatEntry.h"
#include "fs/fat/FatEntry.h"
#include "volume/BackupBoot.h"

namespace tavrel::fs::fat {

namespace {
constexpr const char* kSortingText = "Maintaining directory Structure in AdvanceScanning";
}  // namespace

template <typename Entry>
void ClusterChainParser<Entry>::setAdvancedLayout(const ChainGeometry& geometry, const RootDirectory& root) {
    advanced_ = true;
    advancedGeometry_ = geometry;
    advancedRoot_ = root;
}

template <typename Entry>
typename ClusterChainParser<Entry>::BootRead ClusterChainParser<Entry>::readBootSector() {
    BootRead r;
    std::vector<std::uint8_t> sector(512);
    r.primaryRead = volume_.readAt(0, sector);
    if (r.primaryRead) {
        r.geometry = acceptBootSector(sector);
        if (r.geometry) return r;
        // Another kind's boot record is no damage: the volume is of that kind.
        const BootKind kind = testBootSector(sector, BootTest::SectorScan).kind;
        if (kind != BootKind::None && kind != BootKind::FatUnknown && kind != bootKind()) return r;
    }
    const auto backup = findBackupBootRecord(volume_);
    if (backup && backup->kind == bootKind()) {
        r.geometry = acceptBootSector(backup->sector);
        r.fromBackup = r.geometry.has_value();
    }
    return r;
}

template <typename Entry>
ScanOutcome ClusterChainParser<Entry>::advancedScan(WorkControl& work) {
    const ChainGeometry& g = advancedGeometry_;
    heap_ = g.heap;
    fat_ = FatTable(volume_, g.fatOffset, g.fatBytes, g.width, heap_.clusterCount, &warnings_);
    root_ = advancedRoot_;
    ready_ = true;
    if (heap_.clusterCount == 0 || heap_.heapOffset >= volume_.size())
        return ScanOutcome::fail(ScanResult::Damaged, heap_.heapOffset, kDamagedText);
    work.status(kSortingText);
    parseFoundSlots(work);
    work.status(texts().advancedLinking);
    linkChildren(work);
    fillRootLevel(work);
    return work.stopRequested() ? ScanOutcome::stopped() : ScanOutcome::done();
}

template <typename Entry>
void ClusterChainParser<Entry>::parseFoundSlots(WorkControl& work) {
    startTable();
    const bool rootKnown = root_.regionOffset >= 0 ? root_.regionOffset < volume_.size()
                                                   : heap_.validCluster(root_.firstCluster);
    if (rootKnown) walkRoot(work);
    // Every cluster of the heap the walk did not read is tested for directory
    // slots; what they name goes under "ORPHAN ENTRY". Without a root directory
    // that is the whole tree.
    findUnreachedDirectories(work);
}

#define TAVREL_ADVANCED_MEMBERS(Entry)                                                                   \
    template void ClusterChainParser<Entry>::setAdvancedLayout(const ChainGeometry&, const RootDirectory&); \
    template ClusterChainParser<Entry>::BootRead ClusterChainParser<Entry>::readBootSector();             \
    template ScanOutcome ClusterChainParser<Entry>::advancedScan(WorkControl&);                          \
    template void ClusterChainParser<Entry>::parseFoundSlots(WorkControl&);
TAVREL_ADVANCED_MEMBERS(FatEntry)
TAVREL_ADVANCED_MEMBERS(ExFatEntry)
#undef TAVREL_ADVANCED_MEMBERS

}  // namespace tavrel::fs::fat
