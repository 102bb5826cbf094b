// Placeholder until the command lands: registers nothing.
#include "cli/Commands.h"

namespace tavrel::cli {

void addLsCommand(CLI::App&, int&) {}

}  // namespace tavrel::cli
