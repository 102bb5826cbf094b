#include "cli/VolumeSelect.h"

#include <algorithm>
#include <iostream>
#include <new>

#include "browse/EntryWalk.h"
#include "browse/RecycleBin.h"
#include "cli/ImageOpen.h"
#include "fs/StructureHunt.h"
#include "fs/factory/FsKinds.h"
#include "fs/factory/ParserFactory.h"
#include "volume/Partition.h"

namespace tavrel::cli {

namespace {

int fail(const std::string& text) {
    std::cerr << "tavrel-cli: " << text << "\n";
    return 2;
}

}  // namespace

std::string customVolumeKind(const readWriteInterface& reader, std::int64_t start, std::int64_t end) {
    Partition scanner(reader, fs::fsProbes());
    NullSink quiet;
    WorkControl probe(&quiet);
    const auto found = scanner.advancedScan(probe, true, start, std::min(end, start + 2));
    for (const auto& r : found)
        if (r.startSector == start) return r.fsName;
    if (const FsProbe* kind = probeByBackupRecord(fs::fsProbes(), VolumeView(reader, start, end - start + 1)))
        return kind->listName;
    return {};
}

namespace {

// Parser texts are shown on one line.
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

// The one-line refusal for a scan that found no tree: the parser's own text
// when it left one, else a text per result; the volume byte offset when known.
std::string scanFailureText(const fs::ScanOutcome& outcome, const fs::Parser& parser, const VolumeRecord& record) {
    std::string text = !outcome.text.empty() ? outcome.text : parser.message();
    if (text.empty()) {
        const std::string volume = "volume " + record.volumeName + " (" + record.fsName + ")";
        switch (outcome.result) {
            case fs::ScanResult::NotThisKind: text = volume + " does not hold this file system"; break;
            case fs::ScanResult::Unsupported: text = volume + " uses a variant Tavrel cannot read"; break;
            case fs::ScanResult::Damaged: text = volume + " is damaged"; break;
            case fs::ScanResult::ReadError: text = volume + " could not be read"; break;
            case fs::ScanResult::Done:
            case fs::ScanResult::Stopped: break;
        }
    }
    text = oneLine(text);
    if (outcome.offset >= 0) text += " (at volume byte offset " + std::to_string(outcome.offset) + ")";
    return text;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

fs::RecoveryMode modeOf(const std::string& mode) {
    if (mode == "deep") return fs::RecoveryMode::Deep;
    if (mode == "advanced") return fs::RecoveryMode::Advanced;
    return fs::RecoveryMode::Standard;
}

}  // namespace

void addVolumeSelectOptions(CLI::App* cmd, VolumeSelectArgs& args) {
    auto* volume = cmd->add_option("--volume", args.volume, "Volume index as `tavrel-cli volumes` lists it")
                       ->check(CLI::NonNegativeNumber);
    auto* start = cmd->add_option("--start", args.start, "Custom volume: first sector")->check(CLI::NonNegativeNumber);
    auto* end = cmd->add_option("--end", args.end, "Custom volume: last sector")->check(CLI::NonNegativeNumber);
    start->needs(end);
    end->needs(start);
    volume->excludes(start);
    volume->excludes(end);
    cmd->add_option("--treat-as", args.treatAs,
                    "Read the volume as this file system (" + joined(fs::treatAsEntries()) + ")");
    cmd->add_option("--mode", args.mode, "Recovery mode")
        ->check(CLI::IsMember({"standard", "advanced", "deep"}))
        ->capture_default_str();
    cmd->add_option("--candidate", args.candidate,
                    "Advanced mode: parse from this copy of the volume's structures (see tavrel-cli hunt)")
        ->check(CLI::NonNegativeNumber);
    cmd->add_option("--sectors-per-cluster", args.sectorsPerCluster, "Advanced mode: sectors per cluster")
        ->check(CLI::PositiveNumber);
    cmd->add_option("--heap", args.heap, "Advanced mode, exFAT: parse with this cluster-heap offset (see tavrel-cli hunt)")
        ->check(CLI::NonNegativeNumber);
    addVolumeScanOptions(cmd, args.scan, false);
}

std::string treatAsName(const std::string& value) {
    const fs::FsKindRow* row = fs::findKind(value);
    return row ? row->treatAsFsName : value;
}

int prepareVolume(const std::string& image, const VolumeSelectArgs& args, WorkControl& work, OpenedVolume& out) {
    if (args.volume < 0 && args.start < 0)
        return fail("choose a volume with --volume N, or a custom volume with --start S --end E");
    if (args.start >= 0 && args.end < args.start) return fail("--end must not lie before --start");
    if (!args.treatAs.empty()) {
        const fs::FsKindRow* row = fs::findKind(args.treatAs);
        if (row && row->kind == fs::FsKind::Raw)
            return fail("a volume treated as RAW has no files to list; use raw recovery instead");
        if (!row)
            return fail("not a valid drive. --treat-as \"" + args.treatAs +
                        "\" names no file system; the file systems read are " + fs::workingKindNames());
        if (!row->make)
            return fail("cannot treat a volume as " + std::string(row->treatAsName) +
                        " yet; the file systems read are " + fs::workingKindNames());
    }

    out.reader = openImage(image);
    if (!out.reader) return 2;
    const std::int64_t diskSectors = out.reader->diskSize() / kSectorSize;

    if (args.volume >= 0) {
        const auto records = listVolumes(*out.reader, args.scan, work);
        if (static_cast<std::size_t>(args.volume) >= records.size())
            return fail("no volume " + std::to_string(args.volume) + " on this disk (" +
                        std::to_string(records.size()) + " found; see tavrel-cli volumes)");
        out.record = records[static_cast<std::size_t>(args.volume)];
        if (isRefusedVolume(out.record)) return fail(out.record.note);
        if (!out.record.note.empty()) std::cerr << "tavrel-cli: note: " << out.record.note << "\n";
    } else {
        if (args.start >= diskSectors)
            return fail("sector " + std::to_string(args.start) + " lies beyond the end of the disk (" +
                        std::to_string(diskSectors) + " sectors)");
        out.record.fsName = "CUSTOM ";
        out.record.volumeName = "custom";
        out.record.startSector = args.start;
        out.record.sectorCount = args.end - args.start + 1;
        out.record.sizeMiBText = std::to_string(out.record.sectorCount / 2048);
        if (args.treatAs.empty()) {
            const std::string kind = customVolumeKind(*out.reader, args.start, args.end);
            if (kind.empty())
                return fail("not a valid drive. No boot record at sector " + std::to_string(args.start) +
                            "; name the file system with --treat-as");
            out.record.fsName = kind;
        }
    }
    if (!args.treatAs.empty()) out.record.fsName = treatAsName(args.treatAs);

    out.view = std::make_unique<VolumeView>(volumeViewOf(*out.reader, out.record));
    if (out.view->clipped())
        std::cerr << "tavrel-cli: warning: the volume reaches past the end of the disk; it is read up to the disk's "
                     "last sector\n";
    fs::ScanOptions options;
    options.mode = modeOf(args.mode);
    out.parser = fs::makeParser(out.record.fsName, *out.view, options);
    if (!out.parser)
        return fail("not a valid drive. Volume " + out.record.volumeName + " is \"" + out.record.fsName +
                    "\", which Tavrel cannot read; the file systems read are " + fs::workingKindNames());
    return 0;
}

// Advanced mode: the volume is hunted for copies of its structures and parsed
// from the chosen one. Kinds without a hunt scan as before unless a candidate
// was asked for.
static int useAdvancedCandidate(const VolumeSelectArgs& args, WorkControl& work, OpenedVolume& out) {
    fs::StructureHunter* hunter = fs::hunterOf(*out.parser);
    if (!hunter) {
        if (args.candidate < 0) return 0;
        return fail("volume " + out.record.volumeName + " (" + out.record.fsName + ") has no structure hunt");
    }
    const int index = std::max(args.candidate, 0);
    // At least the default count: a FAT copy's neighbours tell the FAT's size.
    const std::size_t found = hunter->huntCopies(work, std::max({index, args.heap, 2}) + 1);
    if (work.stopRequested()) return 0;
    if (found == 0) return fail("No File system Entry Found.Process cannot be continue...");
    if (static_cast<std::size_t>(index) >= found)
        return fail("no candidate " + std::to_string(index) + " (" + std::to_string(found) +
                    " found; see tavrel-cli hunt)");
    const std::size_t heaps = hunter->heapCandidates().size();
    if (hunter->heapItemPattern() && heaps == 0) return fail("no cluster-heap offset found (see tavrel-cli hunt)");
    if (args.heap >= 0 && static_cast<std::size_t>(args.heap) >= heaps)
        return fail("no heap offset " + std::to_string(args.heap) + " (" + std::to_string(heaps) +
                    " found; see tavrel-cli hunt)");
    if (!hunter->useCandidate(static_cast<std::size_t>(index), {args.sectorsPerCluster, args.heap}))
        return fail("candidate " + std::to_string(index) + " could not be read again");
    return 0;
}

int openVolume(const std::string& image, const VolumeSelectArgs& args, WorkControl& work, OpenedVolume& out) {
    if (const int rc = prepareVolume(image, args, work, out); rc != 0) return rc;
    if (args.mode == "advanced") {
        if (const int rc = useAdvancedCandidate(args, work, out); rc != 0) return rc;
    } else if (args.candidate >= 0 || args.heap >= 0) {
        return fail(std::string(args.candidate >= 0 ? "--candidate" : "--heap") + " needs --mode advanced");
    }
    // A stopped scan still has a tree: what was gathered is listed.
    // A volume whose claims outgrow memory ends as a damaged outcome, not an abort.
    fs::ScanOutcome outcome;
    try {
        outcome = out.parser->scan(work);
    } catch (const std::bad_alloc&) {
        outcome = fs::ScanOutcome::fail(fs::ScanResult::Damaged, -1,
                                        "the volume claims more than this computer can hold in memory; it may be "
                                        "damaged");
    }
    if (!outcome) return fail(scanFailureText(outcome, *out.parser, out.record));
    if (const std::string& warning = out.parser->scanWarning(); !warning.empty())
        std::cerr << "tavrel-cli: warning: " << oneLine(warning) << "\n";
    if (browse::damagedAndEmpty(*out.parser, outcome)) {
        reportWarnings(*out.parser);
        return fail(browse::kDamagedEmptyText);
    }
    // Files kept in a recycle bin are listed under their former names.
    browse::renameRecycled(*out.parser, work);
    return 0;
}

bool reportWarnings(const fs::Parser& parser) {
    const fs::Warnings& w = parser.warnings();
    if (w.total() == 0) return false;
    std::cerr << "tavrel-cli: " << fs::warningSummary(w);
    if (w.firstOffset() >= 0) std::cerr << " (the first at volume byte offset " << w.firstOffset() << ")";
    std::cerr << "\n";
    return true;
}

}  // namespace tavrel::cli
