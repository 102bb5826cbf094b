// The subcommands of tavrel-cli. Each registers itself on the app and sets
// exitCode when it runs: 0 success, 1 partial failure, 2 bad arguments or an
// unreadable image.
#pragma once

#include <CLI/CLI.hpp>

namespace tavrel::cli {

void addInfoCommand(CLI::App& app, int& exitCode);
void addVolumesCommand(CLI::App& app, int& exitCode);
void addExportCommand(CLI::App& app, int& exitCode);
void addLsCommand(CLI::App& app, int& exitCode);
void addRecoverCommand(CLI::App& app, int& exitCode);
void addCatCommand(CLI::App& app, int& exitCode);
void addCarveCommand(CLI::App& app, int& exitCode);
void addRulesCommand(CLI::App& app, int& exitCode);
void addHuntCommand(CLI::App& app, int& exitCode);
void addSearchCommand(CLI::App& app, int& exitCode);

}  // namespace tavrel::cli
