#include "cli/Command.h"

namespace vorlak::cli {

void AddFreezeCommand(CLI::App& app, Context& ctx) {
    struct Inputs {
        FreezeRequest request;
        std::string format = "zedra3";
        bool all = false;
    };
    auto in = std::make_shared<Inputs>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand("freeze", "Add the items of a world file to the statics files");
    cmd->callback([in, cmd, &ctx] {
        FreezeRequest request = in->request;
        request.sphere = in->format == "sphere";
        // Each format has its own default world file.
        if (request.sphere && cmd->get_option("--items")->count() == 0) {
            request.items = "SPHEREWorld.scp";
        }
        if (in->all) request.itemType = -1;
        request.history = ctx.Recorder();
        ctx.Report(RunFreeze(request, ctx.Progress()));
    });
    cmd->add_option("--items", in->request.items,
                    "world file to read (default: items.wsc, or SPHEREWorld.scp with --format "
                    "sphere)");
    AddStaticsFiles(*cmd, in->request.statics, in->request.staidx, in->request.world);
    cmd->add_option("--format", in->format,
                    "world file format: zedra3 (items on the ground) or sphere")
        ->check(CLI::IsMember({"zedra3", "sphere"}))
        ->capture_default_str();
    auto* type = AddWholeNumber(*cmd, "--type", in->request.itemType, "item type to take");
    auto* all = cmd->add_flag("--all", in->all, "take items of every type");
    type->excludes(all);
}

}  // namespace vorlak::cli
