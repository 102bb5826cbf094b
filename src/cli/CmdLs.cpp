// tavrel-cli ls IMAGE (--volume N | --start S --end E) [--treat-as NAME]
//                     [--mode standard|advanced|deep] [--path P] [--deleted]
//                     [--condition WORD] [--json]
// Lists the entries below the volume's top item, depth first in tree order.
// --path P keeps P and everything below it; --deleted keeps deleted entries only
// (live folders are still walked, so deleted entries inside them are found);
// --condition keeps deleted files in that condition ("intact", "partly
// overwritten", "overwritten", "unknown").
// Paths are always the full paths below the top item, so a filtered listing is
// a subset of the full one, line for line.
// Text: "d|f *|- CONDITION SIZE PATH" per line (CONDITION: intact, partly,
// overwritten or unknown for a deleted file, "-" otherwise), names escaped as
// cli/TerminalText.h says ("/" inside a name shows as "\x2F"). Folders too deep
// to enter are named on stderr. JSON: one object per entry and line, its path
// escaped as the text form's, a deleted file's with "condition" and, where
// known, "reused_clusters" and "clusters"; when warnings were counted, a last
// line {"warnings": {...}}.
#include <cstdio>
#include <iostream>
#include <memory>

#include "browse/EntryWalk.h"
#include "cli/Commands.h"
#include "cli/EntryLine.h"
#include "cli/ListingPath.h"
#include "cli/JsonFields.h"
#include "cli/TerminalText.h"
#include "cli/VolumeRun.h"
#include "fs/Condition.h"

namespace tavrel::cli {

namespace {

struct LsOptions {
    std::string image;
    VolumeSelectArgs volume;
    std::string path;
    bool deleted = false;
    std::string condition;
    bool json = false;
};

}  // namespace

void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::vector<std::string>& names, bool json) {
    printEntry(parser, e, names, json, fs::deletedFileCondition(parser, e));
}

void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::vector<std::string>& names, bool json,
                const std::optional<fs::EntryCondition>& condition) {
    const bool folder = parser.isFolder(e);
    const std::int64_t size = parser.size(e);
    if (json) {
        // Written field by field: a listing prints one such line per entry.
        const fs::EntryTimes t = parser.times(e);
        JsonLine j;
        // The path as the text form shows it, so a "/" inside a name is not a separator.
        j.text("path", listingPath(names)).number("entry", e).text("type", folder ? "dir" : "file");
        j.flag("deleted", parser.isDeleted(e)).number("size", size).text("size_text", parser.sizeText(e));
        j.time("created", t.created).time("modified", t.modified).time("accessed", t.accessed);
        j.text("attributes", parser.describeEntry(e).attributes);
        if (condition) {
            j.text("condition", fs::conditionWord(condition->condition));
            if (condition->counted) j.number("reused_clusters", condition->reused).number("clusters", condition->clusters);
        }
        j.print();
    } else {
        std::cout << (folder ? 'd' : 'f') << ' ' << (parser.isDeleted(e) ? '*' : '-') << ' '
                  << (condition ? fs::conditionShortWord(condition->condition) : "-") << ' ' << size << ' '
                  << listingPath(names) << '\n';
    }
}

namespace {

int runLs(const LsOptions& o) {
    VolumeRun run;
    if (const int rc = run.open(o.image, o.volume); rc != 0) return rc;
    run.progress.finish();
    const fs::Parser& parser = *run.volume.parser;
    std::optional<fs::Condition> wanted;
    if (!o.condition.empty()) wanted = fs::conditionOfWord(o.condition);

    const std::string top = trimmedPath(o.path);
    bool topFound = top.empty();
    std::vector<std::string> unlisted;
    browse::walkTree(
        parser, std::nullopt,
        [&](fs::EntryRef e, const std::vector<std::string>& names) {
            if (!within(names, top)) return true;
            topFound = true;
            if (o.deleted && !parser.isDeleted(e)) return true;
            const auto condition = fs::deletedFileCondition(parser, e);
            if (wanted && (!condition || condition->condition != *wanted)) return true;
            printEntry(parser, e, names, o.json, condition);
            return true;
        },
        [&](fs::EntryRef, const std::vector<std::string>& names) {
            if (within(names, top)) unlisted.push_back(listingPath(names));
        });
    for (const auto& path : unlisted)
        std::cerr << "tavrel-cli: folder nesting too deep; not listed: what lies below " << path << "\n";
    if (!topFound) {
        std::cerr << "tavrel-cli: no entry at path " << o.path << " (see tavrel-cli ls)\n";
        return 2;
    }
    if (reportWarnings(parser) && o.json) printJsonLine({{"warnings", warningsObject(parser.warnings())}});
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

void addLsCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<LsOptions>();
    auto* cmd = app.add_subcommand("ls", "List every folder and file of a volume, deleted ones included");
    addVolumeArguments(cmd, opts->image, opts->volume);
    cmd->add_option("--path", opts->path, "List only this folder or file and what lies below it");
    cmd->add_flag("--deleted", opts->deleted, "List only deleted entries (with their full paths)");
    cmd->add_option("--condition", opts->condition,
                    "List only deleted files in this condition: intact, \"partly overwritten\", overwritten, "
                    "unknown")
        ->check([](const std::string& word) {
            return fs::conditionOfWord(word) ? std::string()
                                             : "--condition takes intact, \"partly overwritten\", overwritten or unknown";
        });
    cmd->add_flag("--json", opts->json, "One JSON object per line");
    cmd->callback([opts, &exitCode] { exitCode = runLs(*opts); });
}

}  // namespace tavrel::cli
