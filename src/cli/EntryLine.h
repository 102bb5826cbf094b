// One listed entry as `tavrel-cli ls` prints it, shared by the commands that
// list entries (ls, search). Text: "d|f *|- SIZE PATH", control bytes of the path
// shown as "\xNN" so an entry stays on one line. JSON: one object per line.
#pragma once

#include <string>

#include "fs/Parser.h"

namespace tavrel::cli {

std::string printable(const std::string& path);

void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::string& path, bool json);

}  // namespace tavrel::cli
