// The advanced way of the FAT-family parsers: the layout comes from the hunt
// and the user's cluster size instead of the boot sector. The tree is walked
// from the root directory that layout names, as in the standard way; directory
// clusters the walk does not reach are then found by scanning the cluster heap
// (as Deep mode does) and listed under "ORPHAN ENTRY".
#include "fs/fat/ClusterChainParser.h"

#include <algorithm>
#include <iterator>

#include "fs/fat/ExFatEntry.h"
#include "fs/fat/ExFatProbe.h"
#include "fs/fat/FatEntry.h"
#include "fs/fat/FatProbe.h"

namespace tavrel::fs::fat {

namespace {
constexpr const char* kSortingText = "Maintaining directory Structure in AdvanceScanning";

// The family's boot-record probes, and its backup boot records in the order
// the volume scans look for them (FAT32's first).
constexpr BootRecordProbe kFamilyProbes[] = {&exFatBootRecord, &fat32BootRecord, &fat16BootRecord};
struct FamilyBackup {
    BackupRecordFinder find;
    BootRecordProbe probe;
};
constexpr FamilyBackup kFamilyBackups[] = {{&findFat32Backup, &fat32BootRecord}, {&findExFatBackup, &exFatBootRecord}};
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
        // Every kind's probe when the factory gave them, else the family's.
        auto another = [&](BootRecordProbe probe) {
            return probe && probe != bootProbe() &&
                   probe(sector, BootTest::SectorScan).result == BootMatch::Result::Named;
        };
        if (options_.kindProbes.empty() ? std::any_of(std::begin(kFamilyProbes), std::end(kFamilyProbes), another)
                                        : std::any_of(options_.kindProbes.begin(), options_.kindProbes.end(),
                                                      [&](const FsProbe& p) { return another(p.bootRecord); }))
            return r;
    }
    // The first backup boot record the volume keeps, if it is this kind's.
    for (const FamilyBackup& b : kFamilyBackups) {
        const auto backup = b.find(volume_);
        if (!backup) continue;
        if (b.probe == bootProbe()) {
            r.geometry = acceptBootSector(backup->sector);
            r.fromBackup = r.geometry.has_value();
        }
        break;
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
