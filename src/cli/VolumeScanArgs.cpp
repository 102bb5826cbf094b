#include "cli/VolumeScanArgs.h"

#include "fs/factory/FsKinds.h"
#include "volume/Partition.h"

namespace tavrel::cli {

void addVolumeScanOptions(CLI::App* cmd, VolumeScanArgs& args, bool withRange) {
    auto* gpt = cmd->add_flag_callback("--gpt", [&args] { args.gpt = true; },
                                       "Read the GPT (default when sector 1 carries a GPT header)");
    auto* noGpt = cmd->add_flag_callback("--no-gpt", [&args] { args.gpt = false; },
                                         "Read the MBR even when the disk carries a GPT header");
    gpt->excludes(noGpt);
    auto* advanced = cmd->add_flag("--advanced", args.advanced,
                                   "Find volumes by testing every sector for a boot record");
    cmd->add_flag("--no-skip", args.noSkip, "With --advanced: test the sectors inside found volumes too")
        ->needs(advanced);
    if (withRange) {
        cmd->add_option("--start", args.start, "With --advanced: first sector to test")
            ->check(CLI::NonNegativeNumber)
            ->needs(advanced);
        cmd->add_option("--end", args.end, "With --advanced: last sector to test")
            ->check(CLI::NonNegativeNumber)
            ->needs(advanced);
    }
}

std::vector<VolumeRecord> listVolumes(const readWriteInterface& reader, const VolumeScanArgs& args,
                                      WorkControl& work) {
    Partition scanner(reader, fs::fsProbes());
    std::vector<VolumeRecord> records =
        args.advanced ? scanner.advancedScan(work, args.noSkip, args.start, args.end)
                      : scanner.standardScan(args.gpt.value_or(hasGptHeader(reader)), work);
    for (std::size_t i = 0; i < records.size(); ++i) records[i].volumeName = std::to_string(i);
    return records;
}

}  // namespace tavrel::cli
