#include "cli/Command.h"

namespace vorlak::cli {

void AddMeltCommand(CLI::App& app, Context& ctx) {
    struct Inputs {
        MeltRequest request;
        int32_t itemType = 255;
    };
    auto in = std::make_shared<Inputs>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand(
        "melt", "Write the statics inside a rectangle of the world as a Zedra3 item world file");
    cmd->callback([in, &ctx] {
        MeltRequest request = in->request;
        request.itemType = static_cast<uint8_t>(in->itemType);  // checked to lie in 0..255
        request.history = ctx.Recorder();
        ctx.Report(RunMelt(request, ctx.Progress()));
    });
    MeltRequest& r = in->request;
    AddStaticsFiles(*cmd, r.statics, r.staidx, r.world);
    cmd->add_option("--items", r.items, "item world file to write")->capture_default_str();
    AddWholeNumber(*cmd, "--x1", r.x1, "west edge, inclusive");
    AddWholeNumber(*cmd, "--y1", r.y1, "north edge, inclusive");
    AddWholeNumber(*cmd, "--x2", r.x2,
                   "east edge, inclusive (default: the last column of the world)");
    AddWholeNumber(*cmd, "--y2", r.y2,
                   "south edge, inclusive (default: the last row of the world)");
    AddWholeNumber(*cmd, "--add-x", r.addX, "added to the X of every item");
    AddWholeNumber(*cmd, "--add-y", r.addY, "added to the Y of every item");
    AddWholeNumber(*cmd, "--add-z", r.addZ,
                   "added to the Z of every item (then kept in -127..127)");
    AddWholeNumber(*cmd, "--type", in->itemType, "item type written for every item (0..255)")
        ->check(CLI::Range(0, 255));
    AddWholeNumber(*cmd, "--start", r.countStart, "number of the first item written");
}

}  // namespace vorlak::cli
