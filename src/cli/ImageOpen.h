// Opening an image for the CLI: one-line errors on stderr, never a crash.
#pragma once

#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "image/readWriteInterface.h"

namespace tavrel::cli {

// The reader for the image at path (chosen by its content, see
// image/ImageOpener.h), or nullptr after printing "tavrel-cli: <path>: <reason>"
// on stderr.
std::unique_ptr<readWriteInterface> openImage(const std::string& path);

// Registers the required IMAGE argument of a command, its help naming the
// formats this build reads (from the image opener's table, as --version does).
void addImageArgument(CLI::App* cmd, std::string& image);

}  // namespace tavrel::cli
