// `vorlak history`, `vorlak undo` and `vorlak redo`, and the --no-history switch of the writing
// subcommands.
#include <array>

#include "cli/Command.h"

namespace vorlak::cli {

JobRecorder* Context::Recorder() {
    if (noHistory) return nullptr;
    recorder = std::make_unique<history::StepRecorder>(jobText);
    return recorder.get();
}

namespace {

CLI::App* Find(CLI::App& app, const std::string& name) {
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
        if (sub->get_name() == name) return sub;
    }
    return nullptr;
}

struct HistoryArgs {
    std::string dir = ".";
    bool force = false;
    bool clear = false;
    std::optional<int32_t> keepJobs;
    std::string keepBytes;
};

std::string Line(const history::StepInfo& step) {
    std::string files;
    for (const std::string& file : step.files) files += (files.empty() ? "" : ", ") + file;
    std::string line =
        std::to_string(step.number) + "  " + step.time + "  " + step.job + "  [" + files + "]";
    if (!step.summary.empty()) line += "  " + step.summary;
    if (!step.finished) line += "  (did not finish)";
    if (step.undone) line += "  (undone)";
    if (!step.damage.empty()) line += "  DAMAGED: " + step.damage;
    return line;
}

void ShowHistory(const HistoryArgs& args, Context& ctx) {
    history::History history(args.dir);
    if (args.clear) {
        ctx.Report(history.Clear());
        return;
    }
    if (args.keepJobs || !args.keepBytes.empty()) {
        history::Limits limits = history.limits();
        if (args.keepJobs) limits.jobs = *args.keepJobs;
        if (!args.keepBytes.empty()) limits.bytes = *history::ParseSize(args.keepBytes);
        JobOutcome outcome = history.SetLimits(limits);
        if (outcome.ok && !outcome.detail.empty()) outcome.status += "\n" + outcome.detail;
        ctx.Report(outcome);
        return;
    }
    std::vector<history::StepInfo> steps = history.List();
    if (steps.empty()) {
        ctx.out << "No jobs recorded.\n";
        return;
    }
    for (const history::StepInfo& step : steps) ctx.out << Line(step) << '\n';
}

CLI::App* AddDir(CLI::App& cmd, HistoryArgs& args) {
    cmd.add_option("--dir", args.dir, "folder of the files (default: the current folder)");
    return &cmd;
}

}  // namespace

void AddHistoryCommands(CLI::App& app, Context& ctx) {
    // Every subcommand that writes, added before this one.
    for (const char* name : {"clear", "freeze", "melt", "compact", "bmp2map", "heights"}) {
        if (CLI::App* cmd = Find(app, name)) {
            cmd->add_flag("--no-history", ctx.noHistory, "record no step for undo");
        }
    }
    if (CLI::App* art = Find(app, "art")) {
        if (CLI::App* imp = Find(*art, "import")) {
            imp->add_flag("--no-history", ctx.noHistory, "record no step for undo");
        }
    }

    auto args = std::make_shared<HistoryArgs>();  // lives as long as the callbacks
    auto* list = app.add_subcommand("history", "List the jobs recorded for undo, newest first");
    AddDir(*list, *args);
    list->add_flag("--clear", args->clear, "remove every recorded job");
    list->add_option("--keep-jobs", args->keepJobs,
                     "keep at most this many jobs in this folder (default 20)")
        ->check(CLI::Range(1, 100000));
    static const CLI::Validator size(
        [](std::string& text) -> std::string {
            if (history::ParseSize(text)) return {};
            return "'" + text + "' is not a size such as 2G, 500M or 1048576";
        },
        "SIZE");
    list->add_option("--keep-bytes", args->keepBytes,
                     "keep at most this much in this folder's history (default 2G)")
        ->check(size);
    list->callback([args, &ctx] { ShowHistory(*args, ctx); });

    auto* undo = app.add_subcommand("undo", "Put back the files of the newest job not yet undone");
    AddDir(*undo, *args);
    undo->add_flag("--force", args->force, "even over files changed since the job");
    undo->callback([args, &ctx] { ctx.Report(history::History(args->dir).Undo(args->force)); });

    auto* redo = app.add_subcommand("redo", "Put back what the last undo took away");
    AddDir(*redo, *args);
    redo->add_flag("--force", args->force, "even over files changed since the undo");
    redo->callback([args, &ctx] { ctx.Report(history::History(args->dir).Redo(args->force)); });
}

}  // namespace vorlak::cli
