#include "raw/RawSave.h"

#include <map>
#include <memory>

#include "browse/HostOutput.h"
#include "fs/ExtentCopy.h"

namespace tavrel::raw {

browse::SaveReport saveFoundFiles(const VolumeView& volume, const myJpg& engine,
                                  const std::vector<std::size_t>& indexes, const std::string& outputFolder,
                                  WorkControl& work, fs::Warnings* warnings,
                                  const std::function<void(const browse::FileOutcome&)>& onFile) {
    browse::SaveReport report;
    auto root = browse::HostFolder::openRoot(outputFolder, report.error);
    if (!root) return report;
    std::map<std::size_t, std::unique_ptr<browse::HostFolder>> folders;
    std::int64_t done = 0;
    for (const std::size_t i : indexes) {
        if (i >= engine.found().size()) continue;
        if (!work.checkpoint()) {
            report.stopped = true;
            break;
        }
        const FoundFile& found = engine.found()[i];
        const std::size_t category = engine.categoryOf(found.rule);
        const std::string& categoryName = engine.categories()[category].name;
        browse::FileOutcome outcome;
        outcome.imagePath = categoryName + "/" + engine.nameOf(found);
        browse::Placement placement;
        auto& folder = folders[category];
        if (!folder) {
            folder = root->makeFolder(categoryName, placement);
            if (folder) ++report.folders;
        }
        std::optional<browse::HostFile> file;
        if (folder) file = folder->createFile(engine.nameOf(found), placement);
        if (!file) {
            outcome.result = browse::FileOutcome::Result::Failed;
            outcome.note = placement.error;
        } else {
            outcome.hostPath = file->path();
            if (placement.renamed || placement.unsafe) outcome.note = "saved as " + file->name();
            const auto result = fs::copyExtents(volume, engine.extentsOf(found), found.length, *file, work,
                                                warnings);
            const bool closed = file->finish();
            if (result == fs::CopyResult::Stopped) report.stopped = true;
            if (result == fs::CopyResult::Complete && closed) {
                ++report.written;
                if (found.partial) ++report.partial;
                report.lastWritten = file->path();
            } else {
                outcome.result = browse::FileOutcome::Result::Failed;
                outcome.note = !file->error().empty() ? file->error() : "some bytes could not be read";
            }
        }
        if (outcome.result == browse::FileOutcome::Result::Failed) ++report.failed;
        if (onFile) onFile(outcome);
        if (!outcome.note.empty()) report.notes.push_back(outcome);
        work.position(++done);
        if (report.stopped) break;
    }
    return report;
}

}  // namespace tavrel::raw
