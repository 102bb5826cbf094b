// tavrel-cli hunt IMAGE (--volume N | --start S --end E) [--treat-as NAME]
//                       [--max K] [--json]
// Advanced mode's structure hunt: reads the whole volume and lists the copies
// of its structures found (for NTFS, one per MFT), in the order the advanced
// options page offers them; `ls`/`recover --mode advanced --candidate I` parse
// from one. Text: "ITEM OFFSET CLUSTER_SIZE" per line, ITEM as the page's combo
// names it (0 for a cluster size the hunt did not learn). JSON: {candidate,
// item, offset, cluster_size} per line. exFAT volumes then list their
// cluster-heap offsets the same way ({heap, item, offset, cluster_size}).
#include <cstdio>
#include <iostream>
#include <vector>
#include <memory>

#include "cli/Commands.h"
#include "cli/JsonFields.h"
#include "cli/VolumeRun.h"
#include "fs/StructureHunt.h"

namespace tavrel::cli {

namespace {

struct HuntOptions {
    std::string image;
    VolumeSelectArgs volume;
    int maximum = 3;
    bool json = false;
};

std::string itemText(const char* pattern, std::size_t index) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, static_cast<int>(index));
    return buf;
}

int runHunt(HuntOptions o) {
    o.volume.mode = "advanced";
    VolumeRun run;
    if (const int rc = run.open(o.image, o.volume, false); rc != 0) return rc;
    const OpenedVolume& v = run.volume;
    fs::StructureHunter* hunter = fs::hunterOf(*v.parser);
    if (hunter) hunter->huntCopies(run.work, o.maximum);
    run.progress.finish();
    if (!hunter) {
        std::cerr << "tavrel-cli: volume " << v.record.volumeName << " (" << v.record.fsName
                  << ") has no structure hunt\n";
        return 2;
    }
    const auto list = [&o](const std::vector<fs::HuntCandidate>& found, const char* pattern, const char* key) {
        for (std::size_t i = 0; i < found.size(); ++i) {
            const std::string item = itemText(pattern, i);
            if (o.json)
                printJsonLine({{key, i}, {"item", item}, {"offset", found[i].offset},
                               {"cluster_size", found[i].clusterSize}});
            else
                std::cout << item << ' ' << found[i].offset << ' ' << found[i].clusterSize << '\n';
        }
    };
    const auto& found = hunter->candidates();
    list(found, hunter->candidateItemPattern(), "candidate");
    if (const char* pattern = hunter->heapItemPattern()) list(hunter->heapCandidates(), pattern, "heap");
    if (found.empty()) std::cerr << "tavrel-cli: No File system Entry Found.\n";
    reportWarnings(*v.parser);
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

void addHuntCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<HuntOptions>();
    auto* cmd = app.add_subcommand("hunt", "Hunt a volume for copies of its structures (Advanced mode)");
    addVolumeArguments(cmd, opts->image, opts->volume);
    cmd->add_option("--max", opts->maximum, "Stop after this many candidates (below 1: 3)")->capture_default_str();
    cmd->add_flag("--json", opts->json, "One JSON object per candidate and line");
    cmd->callback([opts, &exitCode] { exitCode = runHunt(*opts); });
}

}  // namespace tavrel::cli
