// `vorlak render`, `vorlak map2bmp` and `vorlak heights`: the world as pictures and heights back.
#include <memory>
#include <optional>

#include "cli/Command.h"
#include "mapgen/MapViews.h"
#include "picture/PictureFiles.h"

namespace vorlak::cli {
namespace {

// The rectangle options, both corners included; the far corner defaults to the world's.
struct Rectangle {
    int32_t x1 = 0, y1 = 0;
    std::optional<int32_t> x2, y2;
    std::optional<world::Size> world;  // --world; none: the terrain file's length decides
};

void AddRectangle(CLI::App& cmd, Rectangle& r) {
    AddWholeNumber(cmd, "--x1", r.x1, "left column of the rectangle, 0 or more");
    AddWholeNumber(cmd, "--y1", r.y1, "top row of the rectangle, 0 or more");
    cmd.add_option("--x2", r.x2, "right column, included (default: the world's last)")
        ->transform(WholeNumber());
    cmd.add_option("--y2", r.y2, "bottom row, included (default: the world's last)")
        ->transform(WholeNumber());
}

void ApplyRectangle(const Rectangle& r, MapViewRequest& request) {
    request.world = r.world;
    request.x1 = r.x1;
    request.y1 = r.y1;
    request.x2 = r.x2;
    request.y2 = r.y2;
}

// Draws the view; the job writes the picture itself.
void RunView(MapViewRequest request, const Rectangle& rectangle, Context& ctx) {
    ApplyRectangle(rectangle, request);
    std::unique_ptr<Picture> palette;
    if (request.view == MapView::kKinds) {
        palette = ReadJobPicture(request.palette, &request.paletteProblem);
    }
    StatusSink progress = ctx.Progress();
    MapViewOutcome outcome = RunMapView(
        request, palette.get(), [&](const std::string& text) { progress(text); }, *ctx.fs);
    ctx.Report({outcome.ok, outcome.status, outcome.detail});
}

}  // namespace

void AddViewCommands(CLI::App& app, Context& ctx) {
    auto render = std::make_shared<std::pair<MapViewRequest, Rectangle>>();
    auto* cmd = app.add_subcommand(
        "render",
        "Draw the terrain and statics as a picture: the radar colour of the highest "
        "static on each cell, else of its terrain tile");
    cmd->add_option("--out", render->first.out, "picture to write: a name ending in .png or .bmp")
        ->required()
        ->check(PictureToWrite());
    cmd->add_option("--map", render->first.map, "terrain file")->capture_default_str();
    AddStaticsFiles(*cmd, render->first.statics, render->first.staidx, render->second.world);
    cmd->add_option("--radarcol", render->first.radarcol, "radar colour file")
        ->capture_default_str();
    AddRectangle(*cmd, render->second);
    cmd->add_option("--scale", render->first.scale, "each N x N cells one pixel")
        ->transform(WholeNumber())
        ->check(CLI::IsMember({1, 2, 4, 8, 16, 32, 64}))
        ->capture_default_str();
    cmd->add_flag(
        "--no-statics", [render](int64_t) { render->first.withStatics = false; },
        "draw the terrain only");
    cmd->callback([render, &ctx] { RunView(render->first, render->second, ctx); });

    auto map2bmp = std::make_shared<std::pair<MapViewRequest, Rectangle>>();
    auto* m2b = app.add_subcommand(
        "map2bmp", "Draw the terrain as a picture of its kinds (for bmp2map) or of its heights");
    auto which = std::make_shared<std::pair<bool, bool>>(false, false);
    CLI::Option* kinds =
        m2b->add_flag("--kinds", which->first, "each cell the palette colour of its tile's kind");
    m2b->add_flag("--heights", which->second, "each cell grey, height + 128")->excludes(kinds);
    m2b->add_option("--out", map2bmp->first.out, "picture to write: a name ending in .png or .bmp")
        ->required()
        ->check(PictureToWrite());
    m2b->add_option("--map", map2bmp->first.map, "terrain file")->capture_default_str();
    AddWorld(*m2b, map2bmp->second.world);
    m2b->add_option("--palette", map2bmp->first.palette,
                    "palette picture (PNG, BMP or GIF): column k of its top row is the colour of "
                    "kind k")
        ->capture_default_str();
    AddRectangle(*m2b, map2bmp->second);
    m2b->callback([map2bmp, which, &ctx] {
        if (!which->first && !which->second) throw CLI::RequiredError("--kinds or --heights");
        map2bmp->first.view = which->first ? MapView::kKinds : MapView::kHeights;
        RunView(map2bmp->first, map2bmp->second, ctx);
    });

    auto set = std::make_shared<SetHeightsRequest>();
    auto* hts = app.add_subcommand(
        "heights", "Set the heights of the cells under a grey picture to grey - 128");
    hts->add_option("--bitmap", set->bitmap, "8-bit grey picture: PNG, BMP or GIF")->required();
    hts->add_option("--map", set->map, "terrain file")->capture_default_str();
    auto given = std::make_shared<std::optional<world::Size>>();
    AddWorld(*hts, *given);
    auto coordinates = std::make_shared<std::pair<int32_t, int32_t>>(0, 0);
    AddWholeNumber(*hts, "--x", coordinates->first,
                   "map X of the picture's top-left pixel, 0 or more");
    AddWholeNumber(*hts, "--y", coordinates->second,
                   "map Y of the picture's top-left pixel, 0 or more");
    hts->callback([set, given, coordinates, &ctx] {
        SetHeightsRequest request = *set;
        request.world = *given;
        request.x = std::to_string(coordinates->first);
        request.y = std::to_string(coordinates->second);
        request.history = ctx.Recorder();
        std::unique_ptr<Picture> picture = ReadJobPicture(request.bitmap, &request.bitmapProblem);
        Bmp2MapHooks hooks;
        hooks.status = ctx.Progress();
        ctx.Report(RunSetHeights(request, picture.get(), hooks, *ctx.fs));
    });
}

}  // namespace vorlak::cli
