// tavrel-cli search IMAGE (--volume N | --start S --end E) [--treat-as NAME]
//                         [--mode standard|advanced|deep] PATTERN [--json]
// Lists the entries of the whole volume whose names hold a match of PATTERN (a
// regular expression, any letter case), in tree order and in the form of `ls`, so a
// search result is a subset of the full listing, line for line. A pattern the
// search does not accept ends with its message and exit code 2; no hit is not
// an error.
#include <iostream>
#include <memory>

#include "browse/NameSearch.h"
#include "cli/Commands.h"
#include "cli/EntryLine.h"
#include "cli/JsonFields.h"
#include "cli/VolumeRun.h"

namespace tavrel::cli {

namespace {

struct SearchOptions {
    std::string image;
    VolumeSelectArgs volume;
    std::string pattern;
    bool json = false;
};

int runSearch(const SearchOptions& o) {
    VolumeRun run;
    if (const int rc = run.open(o.image, o.volume); rc != 0) return rc;
    const fs::Parser& parser = *run.volume.parser;
    const browse::SearchResult result = browse::searchNames(parser, o.pattern, run.work);
    run.progress.finish();
    if (result.refused) {
        std::cerr << "tavrel-cli: " << browse::texts::kSearchRefused << '\n';
        return 2;
    }
    for (const browse::SearchHit& hit : result.hits) printEntry(parser, hit.entry, hit.names, o.json);
    if (reportWarnings(parser) && o.json) printJsonLine({{"warnings", warningsObject(parser.warnings())}});
    std::cout.flush();
    return std::cout ? 0 : 1;
}

}  // namespace

void addSearchCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<SearchOptions>();
    auto* cmd = app.add_subcommand("search", "List the files of a volume whose names hold a pattern");
    addVolumeArguments(cmd, opts->image, opts->volume);
    cmd->add_option("PATTERN", opts->pattern,
                    "Regular expression to find in names, any letter case; \"|\" separates alternatives, \".\" is "
                    "any character; no backreferences or lookaround")
        ->required();
    cmd->add_flag("--json", opts->json, "One JSON object per line");
    cmd->callback([opts, &exitCode] { exitCode = runSearch(*opts); });
}

}  // namespace tavrel::cli
