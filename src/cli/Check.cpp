#include "cli/Command.h"
#include "statics/StaticsCheck.h"

namespace vorlak::cli {

void AddCheckCommand(CLI::App& app, Context& ctx) {
    auto request = std::make_shared<CheckRequest>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand(
        "check", "Verify the statics files without changing them; exit 1 when they have problems");
    cmd->callback([request, &ctx] { ctx.Report(RunCheck(*request, ctx.Progress())); });
    AddStaticsFiles(*cmd, request->statics, request->staidx, request->world);
}

}  // namespace vorlak::cli
