// One listed entry as `tavrel-cli ls` prints it, shared by the commands that
// list entries (ls, search). Text: "d|f *|- SIZE PATH", names escaped as
// cli/TerminalText.h says so an entry stays on one line. JSON: one object per
// line, whose path is escaped the same way (a "/" inside a name reads "\x2F").
#pragma once

#include <string>
#include <vector>

#include "fs/Parser.h"

namespace tavrel::cli {

void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::vector<std::string>& names, bool json);

}  // namespace tavrel::cli
