#include <algorithm>
#include <cctype>
#include <optional>

#include "cli/Command.h"
#include "mapgen/MapGen.h"
#include "picture/PictureFiles.h"

namespace vorlak::cli {
namespace {

struct MapOptions {
    Bmp2MapRequest request;
    int32_t x = 0;
    int32_t y = 0;
    std::vector<std::string> heights;  // KIND=MIN:MAX, later ones win
    uint32_t seed = 0;
    bool seeded = false;
};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The kind that a --height names: 0..11 or the kind's name in any case.
std::optional<int32_t> KindNamed(const std::string& name) {
    for (int32_t k = 0; k < kTerrainKinds; ++k) {
        if (name == std::to_string(k) || Lower(name) == Lower(TerrainName(k))) return k;
    }
    return std::nullopt;
}

struct Height {
    int32_t kind;
    std::string min, max;
};

// A whole number, or one with digits after a decimal point ("20", "-3.5").
bool IsHeight(std::string_view text) {
    size_t point = text.find('.');
    if (point == std::string_view::npos) return IsWholeNumber(text);
    std::string_view fraction = text.substr(point + 1);
    return IsWholeNumber(text.substr(0, point)) && !fraction.empty() && fraction[0] != '+' &&
           fraction[0] != '-' && IsWholeNumber(fraction);
}

// KIND=MIN:MAX.
std::optional<Height> ParseHeight(const std::string& text) {
    size_t equals = text.find('=');
    if (equals == 0 || equals == std::string::npos) return std::nullopt;
    size_t colon = text.find(':', equals + 1);
    if (colon == std::string::npos) return std::nullopt;
    std::string min = text.substr(equals + 1, colon - equals - 1), max = text.substr(colon + 1);
    if (!IsHeight(min) || !IsHeight(max)) return std::nullopt;
    auto kind = KindNamed(text.substr(0, equals));
    if (!kind) return std::nullopt;
    return Height{*kind, min, max};
}

std::string KindList() {
    std::string list;
    for (int32_t k = 0; k < kTerrainKinds; ++k) {
        list += (k ? ", " : "") + std::to_string(k) + " " + Lower(TerrainName(k));
    }
    return list;
}

}  // namespace

void AddMapCommand(CLI::App& app, Context& ctx) {
    auto options = std::make_shared<MapOptions>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand("bmp2map",
                                   "Lay a picture into the terrain file, one pixel "
                                   "per cell, each colour of the palette one kind");
    cmd->alias("map");
    cmd->add_option("--bitmap", options->request.bitmap, "the picture (BMP or GIF)")->required();
    cmd->add_option("--map", options->request.map, "terrain file, created when missing")
        ->capture_default_str();
    AddWorld(*cmd, options->request.world);
    AddWholeNumber(*cmd, "--x", options->x, "map X of the picture's top-left pixel");
    AddWholeNumber(*cmd, "--y", options->y, "map Y of the picture's top-left pixel");
    cmd->add_option("--palette", options->request.palette,
                    "palette picture: column k of its top row is the colour of kind k")
        ->capture_default_str();
    static const CLI::Validator height(
        [](std::string& text) -> std::string {
            if (ParseHeight(text)) return {};
            return "'" + text + "' is not KIND=MIN:MAX with KIND one of " + KindList();
        },
        "KIND=MIN:MAX");
    cmd->add_option("--height", options->heights,
                    "lowest and highest height of one kind, e.g. montain=20:70 (repeatable)")
        ->check(height);
    cmd->add_option("--seed", options->seed, "seed of the random draws, for repeatable runs")
        ->each([options](const std::string&) { options->seeded = true; });

    cmd->callback([options, &ctx] {
        Bmp2MapRequest request = options->request;
        request.x = std::to_string(options->x);
        request.y = std::to_string(options->y);
        for (const std::string& text : options->heights) {
            Height h = *ParseHeight(text);
            request.altMin[h.kind] = h.min;
            request.altMax[h.kind] = h.max;
        }
        if (options->seeded) request.seed = options->seed;
        request.history = ctx.Recorder();

        // The picture is only decoded once the palette is there, as the job checks them.
        std::unique_ptr<Picture> palette =
            ReadPictureFile(request.palette, &request.paletteProblem);
        std::unique_ptr<Picture> picture;
        if (palette) picture = ReadPictureFile(request.bitmap, &request.bitmapProblem);

        Bmp2MapHooks hooks;
        hooks.status = ctx.Progress();
        Bmp2MapOutcome outcome = RunBmp2Map(request, palette.get(), picture.get(), hooks);
        ctx.Report(outcome);
    });
}

}  // namespace vorlak::cli
