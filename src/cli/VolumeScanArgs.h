// The volume-scan options shared by the CLI commands that pick a volume
// (volumes, ls, recover): --gpt/--no-gpt, --advanced, --no-skip and, where the
// command has no other use for them, --start/--end of the advanced scan.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <CLI/CLI.hpp>

#include "image/readWriteInterface.h"
#include "util/WorkControl.h"
#include "volume/VolumeRecord.h"

namespace tavrel::cli {

struct VolumeScanArgs {
    std::optional<bool> gpt;      // --gpt / --no-gpt; unset: on when the disk carries a GPT header
    bool advanced = false;        // --advanced: boot-record scan instead of the partition table
    bool noSkip = false;          // --no-skip: test the sectors inside found volumes too
    std::int64_t start = -1;      // --start S: first sector of the advanced scan (-1: disk start)
    std::int64_t end = -1;        // --end E: last sector of the advanced scan (-1: disk end)
};

// Registers the options on cmd. withRange adds --start/--end (the advanced scan's
// range); commands where --start/--end mean a custom volume pass false.
void addVolumeScanOptions(CLI::App* cmd, VolumeScanArgs& args, bool withRange);

// The volume list as the volume list page shows it: records numbered 0, 1, 2 ...
// in list order (the index is what --volume N selects). Applies the GPT default.
std::vector<VolumeRecord> listVolumes(const readWriteInterface& reader, const VolumeScanArgs& args,
                                      WorkControl& work);

}  // namespace tavrel::cli
