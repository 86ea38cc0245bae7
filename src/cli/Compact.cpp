#include "cli/Command.h"
#include "statics/StaticsCheck.h"

namespace vorlak::cli {

void AddCompactCommand(CLI::App& app, Context& ctx) {
    auto request = std::make_shared<CompactRequest>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand(
        "compact", "Rewrite the statics files so that the data file holds only the statics in use");
    cmd->callback([request, &ctx] { ctx.Report(RunCompact(*request, ctx.Progress())); });
    cmd->add_option("--statics", request->statics, "statics data file")->capture_default_str();
    cmd->add_option("--staidx", request->staidx, "statics index file")->capture_default_str();
}

}  // namespace vorlak::cli
