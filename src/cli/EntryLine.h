// One listed entry as `tavrel-cli ls` prints it, shared by the commands that
// list entries (ls, search). Text: "d|f *|- CONDITION SIZE PATH", names escaped as
// cli/TerminalText.h says so an entry stays on one line. JSON: one object per
// line, whose path is escaped the same way (a "/" inside a name reads "\x2F").
#pragma once

#include <string>
#include <vector>

#include <optional>

#include "fs/Condition.h"
#include "fs/Parser.h"

namespace tavrel::cli {

// A deleted file's condition is worked out here (see fs/Condition.h).
void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::vector<std::string>& names, bool json);
// With the condition already known (nullopt: a live entry or a folder).
void printEntry(const fs::Parser& parser, fs::EntryRef e, const std::vector<std::string>& names, bool json,
                const std::optional<fs::EntryCondition>& condition);

}  // namespace tavrel::cli
