#include "cli/Command.h"

namespace vorlak::cli {

void AddMeltCommand(CLI::App&, Context&) {}

}  // namespace vorlak::cli
