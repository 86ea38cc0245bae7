#include "cli/Command.h"

namespace vorlak::cli {

void AddFreezeCommand(CLI::App&, Context&) {}

}  // namespace vorlak::cli
