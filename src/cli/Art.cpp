#include "cli/Command.h"

namespace vorlak::cli {

void AddArtCommand(CLI::App&, Context&) {}

}  // namespace vorlak::cli
