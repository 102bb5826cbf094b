// The start every command that reads one volume shares (ls, cat, search,
// recover, hunt): IMAGE and the volume-selection options on its command line,
// then a progress line on stderr, the job's work control and the volume opened
// with them.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "cli/TerminalProgress.h"
#include "cli/VolumeSelect.h"
#include "util/WorkControl.h"

namespace tavrel::cli {

// Registers IMAGE (see addImageArgument) and the volume-selection options.
void addVolumeArguments(CLI::App* cmd, std::string& image, VolumeSelectArgs& args);

struct VolumeRun {
    TerminalProgress progress;
    WorkControl work{&progress};
    OpenedVolume volume;

    // openVolume (scan) or prepareVolume (no scan) through this run's work
    // control. Returns 0, or the error code after the message was printed and
    // the progress line cleared.
    int open(const std::string& image, const VolumeSelectArgs& args, bool scan = true);
};

}  // namespace tavrel::cli
