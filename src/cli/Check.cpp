// `vorlak check` and `vorlak compact`: the whole statics pair, no other option.
#include "cli/Command.h"
#include "statics/StaticsCheck.h"

namespace vorlak::cli {
namespace {

template <typename Request, typename Runner>
void AddPairCommand(CLI::App& app, Context& ctx, const std::string& name,
                    const std::string& description, Runner run) {
    auto request = std::make_shared<Request>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand(name, description);
    cmd->callback([request, &ctx, run] {
        if constexpr (requires { request->history; }) request->history = ctx.Recorder();
        ctx.Report(run(*request, ctx.Progress()));
    });
    AddStaticsFiles(*cmd, request->statics, request->staidx, request->world);
}

}  // namespace

void AddCheckCommand(CLI::App& app, Context& ctx) {
    AddPairCommand<CheckRequest>(
        app, ctx, "check",
        "Verify the statics files without changing them; exit 1 when they have problems",
        [](const CheckRequest& r, const StatusSink& s) { return RunCheck(r, s); });
}

void AddCompactCommand(CLI::App& app, Context& ctx) {
    AddPairCommand<CompactRequest>(
        app, ctx, "compact",
        "Rewrite the statics files so that the data file holds only the statics in use",
        [](const CompactRequest& r, const StatusSink& s) { return RunCompact(r, s); });
}

}  // namespace vorlak::cli
