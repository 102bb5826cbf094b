// Opening an image for the CLI: one-line errors on stderr, never a crash.
#pragma once

#include <memory>
#include <string>

#include "image/readWriteInterface.h"

namespace tavrel::cli {

// The reader for the image at path (chosen by its content, see
// image/ImageOpener.h), or nullptr after printing "tavrel-cli: <path>: <reason>"
// on stderr.
std::unique_ptr<readWriteInterface> openImage(const std::string& path);

}  // namespace tavrel::cli
