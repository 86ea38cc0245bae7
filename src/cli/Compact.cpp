#include "cli/Command.h"
#include "statics/StaticsCheck.h"

namespace vorlak::cli {

void AddCompactCommand(CLI::App& app, Context& ctx) {
    auto request = std::make_shared<CompactRequest>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand(
        "compact", "Rewrite the statics files so that the data file holds only the statics in use");
    cmd->callback([request, &ctx] { ctx.Report(RunCompact(*request, ctx.Progress())); });
    AddStaticsFiles(*cmd, request->statics, request->staidx, request->world);
}

}  // namespace vorlak::cli
