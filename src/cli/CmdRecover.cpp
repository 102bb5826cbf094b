// Placeholder until the command lands: registers nothing.
#include "cli/Commands.h"

namespace tavrel::cli {

void addRecoverCommand(CLI::App&, int&) {}

}  // namespace tavrel::cli
