// Advanced options page (153, "ADVANCE OPTIONS"): hunts the volume for copies of
// its structures on the page's worker (Pause, Resume, Stop), offers what it found
// in the "TFS :" combo with the sectors per cluster beside it (and, for exFAT,
// the cluster-heap offsets in the "Heap Offset :" combo), and goes on to the
// scan page, which parses the volume from the chosen copy.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/PageController.h"
#include "app/PageWorker.h"
#include "fs/Parser.h"
#include "fs/StructureHunt.h"
#include "image/VolumeView.h"
#include "volume/VolumeRecord.h"

namespace tavrel::app {

namespace advancedtexts {
inline constexpr const char* kTitle = "ADVANCE OPTIONS";
inline constexpr const char* kNoReader = "Please Restart the program to re begin necessary initialization...";
inline constexpr const char* kNoEntry = "No File system Entry Found.Process cannot be continue...";
inline constexpr const char* kPausePressed = "Pause button pressed";
inline constexpr const char* kResumePressed = "Resume button pressed";
inline constexpr const char* kStopPressed = "stop button pressed";
inline constexpr const char* kAllStopped = "All thread Stopped";
// The recovery mode page's refusal of Advanced for a volume of no known kind.
inline constexpr const char* kNotAdvanced =
    "Advanced mode reads NTFS, FAT12/16, FAT32 and exFAT volumes only. Please choose another mode, or go Back and "
    "choose the volume's file system.";
}  // namespace advancedtexts

class advanceOptions : public PageController {
public:
    // Control ids.
    static constexpr const char* kGroup = "advancedInput";        // "Advanced Input:"
    static constexpr const char* kCandidateLabel = "tfsLabel";    // "TFS :"
    static constexpr const char* kCandidates = "tfs";
    static constexpr const char* kClusterLabel = "spcLabel";      // "Sector Per Cluster :"
    static constexpr const char* kClusters = "spc";
    static constexpr const char* kHeapLabel = "heapLabel";        // "Heap Offset :"
    static constexpr const char* kHeap = "heap";
    static constexpr const char* kPause = "pause";
    static constexpr const char* kResume = "resume";

    advanceOptions(CKeswinApp& app, const VolumeRecord& record, int maxFileSystems, bool driveFormatted);
    ~advanceOptions() override;

    void open() override;
    void next() override;
    void command(const std::string& controlId) override;  // kPause, kResume
    void pause() override;
    void resume() override;
    void stop() override;
    void exitApp() override;
    void shutdown() override;

    bool hunting() const { return worker_.running(); }
    const VolumeRecord& volume() const { return volume_; }

private:
    void startHunt();
    void endHunt();
    std::string selected(const char* combo) const;

    VolumeRecord volume_;
    int maxFileSystems_;
    bool driveFormatted_;
    std::unique_ptr<VolumeView> view_;
    std::unique_ptr<fs::Parser> parser_;
    fs::StructureHunter* hunter_ = nullptr;
    std::vector<std::string> candidateItems_;
    std::vector<std::string> clusterItems_;
    std::vector<std::string> heapItems_;
    PageWorker worker_;  // last: joined before the parser dies
};

}  // namespace tavrel::app
