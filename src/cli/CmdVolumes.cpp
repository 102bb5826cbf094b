// tavrel-cli volumes IMAGE [--gpt|--no-gpt] [--advanced [--no-skip] [--start S] [--end E]] [--json]:
// the volume list as the volume list page shows it. JSON: one object per volume
// and line, {volume, fs, start, sectors, size (bytes), size_text (the list's text)},
// with name ("vg/lv") and note for LVM2 logical volumes. The table shows the
// name after the number, and the notes follow it on stderr.
#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "cli/TerminalText.h"
#include "cli/ImageOpen.h"
#include "cli/JsonFields.h"
#include "cli/TerminalProgress.h"
#include "cli/VolumeScanArgs.h"

namespace tavrel::cli {

namespace {

struct VolumesOptions {
    std::string image;
    VolumeScanArgs scan;
    bool json = false;
};

void printTable(const std::vector<VolumeRecord>& records) {
    const std::vector<std::string> heads = {"VOLUME", "FILE_SYSTEM", "VOLUME_SIZE", "START_SECTOR"};
    std::vector<std::vector<std::string>> rows;
    for (const auto& r : records)
        rows.push_back({r.name.empty() ? r.volumeName : r.volumeName + " " + r.name, r.fsName, r.sizeMiBText,
                        std::to_string(r.startSector)});
    std::vector<std::size_t> widths;
    for (const auto& h : heads) widths.push_back(h.size());
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    auto printRow = [&](const std::vector<std::string>& cells) {
        std::string line;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            line += cells[c];
            if (c + 1 < cells.size()) line += std::string(widths[c] - cells[c].size() + 2, ' ');
        }
        std::cout << terminalText(line) << "\n";
    };
    printRow(heads);
    for (const auto& row : rows) printRow(row);
    for (const auto& r : records)
        if (!r.note.empty()) std::cerr << "tavrel-cli: volume " << r.volumeName << ": " << r.note << "\n";
}

int runVolumes(const VolumesOptions& o) {
    auto reader = openImage(o.image);
    if (!reader) return 2;
    TerminalProgress progress;
    WorkControl work(o.scan.advanced ? static_cast<ProgressSink*>(&progress) : nullptr);
    const auto records = listVolumes(*reader, o.scan, work);
    progress.finish();
    if (o.json) {
        // A volume of unknown length runs to the end of the disk.
        const std::int64_t diskSectors = reader->diskSize() / kSectorSize;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const auto& r = records[i];
            const std::int64_t sectors =
                r.sectorCount >= 0 ? r.sectorCount : std::max<std::int64_t>(0, diskSectors - r.startSector);
            JsonObject row = {{"volume", i}, {"fs", r.fsName}, {"start", r.startSector}, {"sectors", sectors}};
            putSize(row, sectors * kSectorSize, r.sizeMiBText);
            if (!r.name.empty()) row["name"] = r.name;
            if (!r.note.empty()) row["note"] = r.note;
            printJsonLine(row);
        }
    } else {
        printTable(records);
    }
    return 0;
}

}  // namespace

void addVolumesCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<VolumesOptions>();
    auto* cmd = app.add_subcommand("volumes", "List the volumes of a disk image (partition table or boot-record scan)");
    addImageArgument(cmd, opts->image);
    addVolumeScanOptions(cmd, opts->scan, true);
    cmd->add_flag("--json", opts->json, "One JSON object per volume and line");
    cmd->callback([opts, &exitCode] { exitCode = runVolumes(*opts); });
}

}  // namespace tavrel::cli
