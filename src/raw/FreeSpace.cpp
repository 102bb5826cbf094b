#include "raw/FreeSpace.h"

#include "fs/factory/ParserFactory.h"

namespace tavrel::raw {

FreeSpace readFreeSpace(const VolumeView& volume, const std::string& fsName, WorkControl& work) {
    FreeSpace free;
    free.parser = fs::makeParser(fsName, volume, fs::ScanOptions{});
    if (!free.parser) return free;
    const fs::ScanOutcome outcome = free.parser->scan(work);
    if (outcome.result != fs::ScanResult::Done) return free;
    free.map = free.parser->allocationMap();
    return free;
}

}  // namespace tavrel::raw
