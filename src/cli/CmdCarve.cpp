// tavrel-cli carve IMAGE (--volume N | --start S --end E) [--rules FILE]...
//                        [--no-default-rules] [--free-only] [--out DIR] [--json]
// Finds files in a volume by their signatures, with the default rule file
// (FileSetting.txt beside the executable) and any rule files given, and lists
// them (category, name, start, length, and "partial" for a file whose structure
// breaks off before its end; texts escaped as ls escapes them); with --out,
// writes them into DIR, one folder per category. Exit status 0 when everything found was written (or only
// listed), 1 when a file could not be written, 2 on bad arguments, an unreadable
// image or a refused rule file. --free-only carves only what the volume's file
// system counts free (read through its parser); when that cannot be read,
// nothing is carved and the exit status is 2.
// --json: one object per found file ({category, name, start, length, partial},
// plus {path, status} with --out), then one summary object ({found, partial,
// categories, truncated, stopped, warnings}, plus {written, failed}).
#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "cli/ImageOpen.h"
#include "cli/JsonFields.h"
#include "cli/TerminalProgress.h"
#include "cli/TerminalText.h"
#include "cli/VolumeScanArgs.h"
#include "cli/VolumeSelect.h"
#include "raw/ExtIndirect.h"
#include "raw/FreeSpace.h"
#include "raw/RawSave.h"
#include "raw/RuleFile.h"
#include "raw/RuleTexts.h"
#include "raw/myJpg.h"

namespace tavrel::cli {

namespace {

struct CarveOptions {
    std::string image;
    VolumeScanArgs scan;
    int volume = -1;
    std::int64_t start = -1;
    std::int64_t end = -1;
    std::vector<std::string> rules;
    bool noDefaultRules = false;
    bool freeOnly = false;
    std::string out;
    bool json = false;
};

int fail(const std::string& text) {
    std::cerr << "tavrel-cli: " << text << "\n";
    return 2;
}

// The rules: the default file unless refused, then each --rules file in order.
int loadRules(const CarveOptions& o, raw::myJpg& engine) {
    if (!o.noDefaultRules) {
        const std::string path = raw::defaultRulePath();
        const auto result = raw::loadRuleFile(path, true, engine.rules());
        if (!result.ok && o.rules.empty()) return fail(path + ": " + result.message + " (give rules with --rules)");
        if (!result.message.empty() && result.ok) std::cerr << "tavrel-cli: " << result.message << "\n";
    }
    for (const std::string& path : o.rules) {
        const auto result = raw::loadRuleFile(path, false, engine.rules());
        if (!result.ok) return fail(path + ": " + result.message);
        if (!result.message.empty()) std::cerr << "tavrel-cli: " << result.message << "\n";
    }
    if (engine.rules().empty()) return fail("no carving rules were loaded");
    return 0;
}

int runCarve(const CarveOptions& o) {
    if (o.volume < 0 && o.start < 0)
        return fail("choose a volume with --volume N, or a custom volume with --start S --end E");
    if (o.start >= 0 && o.end < o.start) return fail("--end must not lie before --start");
    raw::myJpg engine;
    if (const int rc = loadRules(o, engine); rc != 0) return rc;
    const auto reader = openImage(o.image);
    if (!reader) return 2;

    TerminalProgress progress;
    WorkControl work(&progress);
    VolumeRecord chosen;
    chosen.startSector = o.start;
    chosen.sectorCount = o.start >= 0 ? o.end - o.start + 1 : -1;
    if (o.volume >= 0) {
        const auto records = listVolumes(*reader, o.scan, work);
        if (static_cast<std::size_t>(o.volume) >= records.size()) {
            progress.finish();
            return fail("no volume " + std::to_string(o.volume) + " on this disk (" + std::to_string(records.size()) +
                        " found; see tavrel-cli volumes)");
        }
        chosen = records[static_cast<std::size_t>(o.volume)];
        if (isRefusedVolume(chosen)) {
            progress.finish();
            return fail(chosen.note);
        }
    } else if (o.start >= reader->diskSize() / kSectorSize) {
        return fail("sector " + std::to_string(o.start) + " lies beyond the end of the disk");
    }
    const VolumeView view = volumeViewOf(*reader, chosen);
    if (view.clipped())
        std::cerr << "tavrel-cli: warning: the volume reaches past the end of the disk; it is read up to the disk's "
                     "last sector\n";

    raw::FreeSpace free;
    if (o.freeOnly) {
        // A custom volume: its boot record, else an ext superblock at its start.
        std::string kind = o.volume >= 0 ? chosen.fsName : customVolumeKind(*reader, o.start, o.end);
        if (kind.empty() && raw::hasExtSuperblock(view)) kind = treatAsName("EXTX");
        free = raw::readFreeSpace(view, kind, work);
        if (!free.map) {
            progress.finish();
            return fail(std::string(raw::texts::kNoFreeSpaceMap) + " Carve without --free-only to search the whole volume.");
        }
    }
    const raw::CarveResult carved = engine.carve(view, work, free.map);
    progress.finish();
    const auto& found = engine.found();
    auto categoryOf = [&](const raw::FoundFile& f) { return engine.categories()[engine.categoryOf(f.rule)].name; };

    browse::SaveReport report;
    std::vector<browse::FileOutcome> outcomes;
    if (!o.out.empty()) {
        std::vector<std::size_t> all(found.size());
        for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
        WorkControl saving(&progress);
        progress.setRange(0, static_cast<std::int64_t>(all.size()));
        report = raw::saveFoundFiles(view, engine, all, o.out, saving, nullptr,
                                     [&](const browse::FileOutcome& f) { outcomes.push_back(f); });
        progress.finish();
        if (!report.error.empty()) return fail(report.error);
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
        const raw::FoundFile& f = found[i];
        const browse::FileOutcome* saved = i < outcomes.size() ? &outcomes[i] : nullptr;
        if (o.json) {
            JsonObject j = {{"category", categoryOf(f)}, {"name", engine.nameOf(f)}, {"start", f.start},
                            {"length", f.length}, {"partial", f.partial}};
            if (saved) {
                j["path"] = saved->hostPath;
                j["status"] = saved->result == browse::FileOutcome::Result::Written ? "written" : "failed";
                if (!saved->note.empty()) j["note"] = saved->note;
            }
            printJsonLine(j);
        } else {
            std::cout << terminalText(categoryOf(f)) << "\t" << terminalText(engine.nameOf(f)) << "\t" << f.start
                      << "\t" << f.length << (f.partial ? "\tpartial" : "") << "\n";
            if (saved && saved->result != browse::FileOutcome::Result::Written)
                std::cerr << "failed: " << terminalText(engine.nameOf(f)) << ": " << terminalText(saved->note) << "\n";
        }
    }
    const bool stopped = carved == raw::CarveResult::Stopped || report.stopped;
    if (o.json) {
        JsonObject categories = JsonObject::object();
        for (const auto& c : engine.categories()) categories[c.name] = c.count;
        JsonObject summary = {{"found", found.size()},           {"partial", engine.partialCount()},
                              {"categories", categories},        {"truncated", engine.truncated()},
                              {"stopped", stopped}, {"warnings", warningsObject(engine.warnings())}};
        if (!o.out.empty()) {
            summary["written"] = report.written;
            summary["failed"] = report.failed;
        }
        printJsonLine(summary);
    } else {
        std::cout << found.size() << " files found";
        if (const std::size_t partial = engine.partialCount(); partial > 0) std::cout << " (" << partial << " partial)";
        if (!o.out.empty()) std::cout << ", " << report.written << " written, " << report.failed << " failed";
        std::cout << "\n";
    }
    if (engine.warnings().total() > 0) std::cerr << "tavrel-cli: " << fs::warningSummary(engine.warnings()) << "\n";
    if (engine.truncated())
        std::cerr << "tavrel-cli: the list stopped at " << raw::myJpg::kMaxFound << " found files\n";
    return report.failed == 0 && !stopped ? 0 : 1;
}

}  // namespace

void addCarveCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<CarveOptions>();
    auto* cmd = app.add_subcommand("carve", "Find files in a volume by their signatures (raw recovery)");
    addImageArgument(cmd, opts->image);
    auto* volume = cmd->add_option("--volume", opts->volume, "Volume index as `tavrel-cli volumes` lists it")
                       ->check(CLI::NonNegativeNumber);
    auto* start = cmd->add_option("--start", opts->start, "Custom volume: first sector")->check(CLI::NonNegativeNumber);
    auto* end = cmd->add_option("--end", opts->end, "Custom volume: last sector")->check(CLI::NonNegativeNumber);
    start->needs(end);
    end->needs(start);
    volume->excludes(start);
    volume->excludes(end);
    addVolumeScanOptions(cmd, opts->scan, false);
    cmd->add_option("--rules", opts->rules, "Rule file to use (repeatable), after the default rules");
    cmd->add_flag("--no-default-rules", opts->noDefaultRules, "Do not load FileSetting.txt beside the executable");
    cmd->add_flag("--free-only", opts->freeOnly,
                  "Carve only the space the volume's file system marks unallocated (where deleted files lie)");
    cmd->add_option("--out", opts->out, "Write the found files into this folder (nothing in it is overwritten)");
    cmd->add_flag("--json", opts->json, "One JSON object per found file, then a summary object");
    cmd->callback([opts, &exitCode] { exitCode = runCarve(*opts); });
}

}  // namespace tavrel::cli
