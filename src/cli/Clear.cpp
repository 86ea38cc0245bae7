#include "cli/Command.h"

namespace vorlak::cli {

void AddClearCommand(CLI::App& app, Context& ctx) {
    auto request = std::make_shared<ClearRequest>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand("clear", "Remove every static inside a rectangle of the world");
    cmd->callback([request, &ctx] {
        request->history = ctx.Recorder();
        ctx.Report(RunClear(*request, ctx.Progress()));
    });
    AddStaticsFiles(*cmd, request->statics, request->staidx, request->world);
    AddWholeNumber(*cmd, "--x1", request->x1, "west edge, inclusive");
    AddWholeNumber(*cmd, "--y1", request->y1, "north edge, inclusive");
    AddWholeNumber(*cmd, "--x2", request->x2,
                   "east edge, inclusive (default: the last column of the world)");
    AddWholeNumber(*cmd, "--y2", request->y2,
                   "south edge, inclusive (default: the last row of the world)");
}

}  // namespace vorlak::cli
