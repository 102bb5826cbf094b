// tavrel-cli recover IMAGE (--volume N | --start S --end E) --out DIR [--path P]
//                          [--treat-as NAME] [--mode standard|advanced|deep] [--json]
// Writes the subtree at P (default: everything) into DIR, recreating folders;
// a folder's children land directly in DIR, a file lands in DIR. Exit status 0
// when every file was written, 1 when any failed, the save was stopped or the
// listing met unreadable ranges (entries may be missing), 2 on
// bad arguments, an unreadable image or an unusable output folder.
// --json: one object per file as it is done ({path, bytes, status, note}), then
// one summary object ({written, failed, skipped, folders, stopped,
// deleted_by_condition, warnings}). A deleted file's line names its condition.
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <thread>

#include "browse/EntryWalk.h"
#include "browse/SaveEngine.h"
#include "browse/SaveTexts.h"
#include "cli/Commands.h"
#include "cli/JsonFields.h"
#include "cli/ListingPath.h"
#include "cli/TerminalText.h"
#include "cli/VolumeRun.h"

namespace tavrel::cli {

namespace {

struct RecoverOptions {
    std::string image;
    VolumeSelectArgs volume;
    std::string out;
    std::string path;
    bool json = false;
};

std::atomic<int> gInterrupts{0};

extern "C" void onInterrupt(int) {
    // A second Ctrl-C ends the program at once.
    if (gInterrupts.fetch_add(1) >= 1) {
        ::signal(SIGINT, SIG_DFL);
        ::raise(SIGINT);
    }
}

// Ctrl-C during a recover asks the job to stop after the current file, so the
// report still tells what was written and what was not. The handler only
// counts; a watcher thread turns the count into a stop request and keeps it
// asserted until the job ends.
class InterruptStop {
public:
    explicit InterruptStop(WorkControl& work) {
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGINT, &sa, &old_);
        watcher_ = std::jthread([&work](std::stop_token st) {
            while (!st.stop_requested()) {
                if (gInterrupts.load() > 0 && !work.stopRequested()) work.requestStop();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
    ~InterruptStop() {
        watcher_.request_stop();
        watcher_.join();
        ::sigaction(SIGINT, &old_, nullptr);
    }
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    bool interrupted() const { return gInterrupts.load() > 0; }

private:
    struct sigaction old_ {};
    std::jthread watcher_;
};

const char* label(browse::FileOutcome::Result r) {
    switch (r) {
        case browse::FileOutcome::Result::Failed: return "failed";
        case browse::FileOutcome::Result::Skipped: return "skipped";
        case browse::FileOutcome::Result::Written: return "note";
    }
    return "note";
}

const char* statusName(browse::FileOutcome::Result r) {
    switch (r) {
        case browse::FileOutcome::Result::Failed: return "failed";
        case browse::FileOutcome::Result::Skipped: return "skipped";
        case browse::FileOutcome::Result::Written: return "written";
    }
    return "failed";
}

// Bytes of the host file as written (0 when none was created).
std::int64_t bytesOnHost(const std::string& hostPath) {
    struct stat st {};
    if (hostPath.empty() || ::lstat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return st.st_size;
}

void printFileLine(const browse::FileOutcome& o) {
    // The path as ls shows it, so a "/" inside a name is not a separator.
    const std::string path = o.imageNames.empty() ? o.imagePath : listingPath(o.imageNames);
    JsonObject j = {{"path", path}, {"bytes", bytesOnHost(o.hostPath)}, {"status", statusName(o.result)}};
    if (!o.note.empty()) j["note"] = o.note;
    if (o.condition) j["condition"] = fs::conditionWord(*o.condition);
    printJsonLine(j);
}

// Deleted files written, by condition: {"intact": N, "partly overwritten": N, ...}
JsonObject conditionCounts(const browse::SaveReport& report) {
    JsonObject j = JsonObject::object();
    for (std::size_t i = 0; i < report.deletedByCondition.size(); ++i)
        j[fs::conditionWord(static_cast<fs::Condition>(i))] = report.deletedByCondition[i];
    return j;
}

void printSummaryLine(const browse::SaveReport& report, const fs::Warnings& warnings) {
    printJsonLine({{"written", report.written},
                   {"failed", report.failed},
                   {"skipped", report.skipped},
                   {"folders", report.folders},
                   {"stopped", report.stopped},
                   {"deleted_by_condition", conditionCounts(report)},
                   {"warnings", warningsObject(warnings)}});
}

// A note on a folder (its path ends in "/"): these have no line of their own in
// the JSON output.
bool isFolderNote(const browse::FileOutcome& o) { return !o.imagePath.empty() && o.imagePath.back() == '/'; }

bool interrupted(const InterruptStop& interrupt, TerminalProgress& progress) {
    if (!interrupt.interrupted()) return false;
    progress.finish();
    std::cerr << "tavrel-cli: interrupted before anything was written\n";
    return true;
}

int runRecover(const RecoverOptions& o) {
    if (o.out.empty()) {
        std::cerr << "tavrel-cli: --out needs a folder\n";
        return 2;
    }
    VolumeRun run;
    auto& [progress, work, v] = run;
    InterruptStop interrupt(work);
    if (const int rc = run.open(o.image, o.volume); rc != 0) return rc;
    if (interrupted(interrupt, progress)) return 1;
    // Ranges the scan could not read may have held entries that are now missing
    // from the tree: the recover cannot be called complete.
    const std::int64_t unlisted = v.parser->warnings().unreadableRanges();

    browse::SaveEngine engine(*v.parser, work);
    if (o.json) engine.setObserver(printFileLine);
    browse::SaveReport report;
    const bool everything = o.path.empty() || o.path == "/";
    if (everything) {
        report = engine.saveFolder(std::nullopt, o.out);
    } else {
        // The plain path first; else the escaped form ls prints ("\x2F" for a "/" in a name).
        auto matches = browse::findByPath(*v.parser, o.path);
        if (matches.empty()) matches = listedEntries(*v.parser, o.path);
        if (matches.empty()) {
            progress.finish();
            std::cerr << "tavrel-cli: no entry at path " << o.path << " (see tavrel-cli ls)\n";
            return 2;
        }
        report = engine.saveEntries(matches, o.out);
    }
    progress.finish();
    if (interrupt.interrupted()) report.stopped = true;

    if (!report.error.empty()) {
        std::cerr << "tavrel-cli: " << report.error << "\n";
        return 2;
    }
    for (const auto& n : report.notes) {
        if (o.json && !isFolderNote(n)) continue;  // already on its file's line
        std::cerr << label(n.result) << ": " << terminalText(n.imagePath) << ": " << terminalText(n.note);
        if (!n.hostPath.empty() && n.result != browse::FileOutcome::Result::Written)
            std::cerr << " (" << terminalText(n.hostPath) << ")";
        std::cerr << "\n";
    }
    if (o.json) {
        printSummaryLine(report, v.parser->warnings());
    } else {
        std::cout << report.written << " files written, " << report.failed << " failed";
        if (report.skipped) std::cout << ", " << report.skipped << " skipped";
        std::cout << "\n";
        const std::string conditions = browse::texts::deletedConditionText(report.deletedByCondition);
        if (!conditions.empty()) std::cout << conditions << "\n";
    }
    reportWarnings(*v.parser);
    if (report.stopped) std::cerr << "tavrel-cli: stopped early; the files after the last one reported were not written\n";
    if (unlisted > 0)
        std::cerr << "tavrel-cli: parts of the volume could not be read while listing it; files stored there may be "
                     "missing\n";
    return report.failed == 0 && !report.stopped && unlisted == 0 ? 0 : 1;
}

}  // namespace

void addRecoverCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<RecoverOptions>();
    auto* cmd = app.add_subcommand("recover", "Write a volume's files (deleted ones included) into a folder");
    addVolumeArguments(cmd, opts->image, opts->volume);
    cmd->add_option("--out", opts->out, "Output folder (created when missing; nothing in it is overwritten)")
        ->required();
    cmd->add_option("--path", opts->path, "Folder or file to recover, as `tavrel-cli ls` shows it (default: all)");
    cmd->add_flag("--json", opts->json, "One JSON object per file, then a summary object");
    cmd->callback([opts, &exitCode] { exitCode = runRecover(*opts); });
}

}  // namespace tavrel::cli
