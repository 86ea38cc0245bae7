#include "cli/Command.h"

namespace vorlak::cli {

void AddMapCommand(CLI::App&, Context&) {}

}  // namespace vorlak::cli
