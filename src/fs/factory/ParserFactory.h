// Makes the parser for a volume by its file-system name, through the kind table
// (FsKinds.h). Names of no kind, and kinds without a parser, give nullptr, and
// the caller shows "not a valid drive.".
#pragma once

#include <memory>
#include <string>

#include "fs/Parser.h"

namespace tavrel::fs {

std::unique_ptr<Parser> makeParser(const std::string& fsName, const VolumeView& volume, const ScanOptions& options);

}  // namespace tavrel::fs
