// tavrel-cli export IMAGE OUTPUT_DIR: the whole virtual disk as one flat ".img"
// file in OUTPUT_DIR (name.vhd.img, or 1name.vhd.img ... when taken); prints its path.
#include <sys/stat.h>

#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "cli/ImageOpen.h"
#include "cli/TerminalProgress.h"
#include "volume/DiskExport.h"

namespace tavrel::cli {

namespace {

struct ExportOptions {
    std::string image;
    std::string outputDir;
};

int runExport(const ExportOptions& o) {
    struct stat st {};
    if (::stat(o.outputDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::cerr << "tavrel-cli: " << o.outputDir << ": not a folder\n";
        return 2;
    }
    auto reader = openImage(o.image);
    if (!reader) return 2;
    const std::string output = DiskExport::outputPathFor(o.image, o.outputDir);
    TerminalProgress progress;
    WorkControl work(&progress);
    const ExportOutcome outcome = DiskExport().run(*reader, output, work);
    progress.finish();
    switch (outcome.kind) {
        case ExportOutcome::Kind::Saved:
            std::cout << output << "\n";
            return 0;
        case ExportOutcome::Kind::ReadError:
            std::cerr << "tavrel-cli: " << o.image << ": read error after " << outcome.bytesWritten
                      << " bytes; partial image left at " << output << "\n";
            return 1;
        case ExportOutcome::Kind::NoSpace:
        case ExportOutcome::Kind::CannotCreate:
        case ExportOutcome::Kind::WriteError:
        case ExportOutcome::Kind::Stopped:
            std::cerr << "tavrel-cli: " << output << ": "
                      << (outcome.message.empty() ? std::string("stopped") : outcome.message) << "\n";
            return 1;
    }
    return 1;
}

}  // namespace

void addExportCommand(CLI::App& app, int& exitCode) {
    auto opts = std::make_shared<ExportOptions>();
    auto* cmd = app.add_subcommand("export", "Write the whole virtual disk as a flat .img file");
    addImageArgument(cmd, opts->image);
    cmd->add_option("OUTPUT_DIR", opts->outputDir, "Folder for the .img file")->required();
    cmd->callback([opts, &exitCode] { exitCode = runExport(*opts); });
}

}  // namespace tavrel::cli
