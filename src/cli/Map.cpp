#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "cli/Command.h"
#include "mapgen/MapGen.h"
#include "mul/PngFile.h"
#include "mul/Stop.h"
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

// The plain English names of the kinds whose palette name is spelled otherwise.
constexpr std::pair<std::string_view, int32_t> kEnglishNames[] = {{"mountain", 2},
                                                                  {"cobblestones", 9}};

// The kind that a --height names: 0..11, the kind's name or its English name, in any case.
std::optional<int32_t> KindNamed(const std::string& name) {
    const std::string lower = Lower(name);
    for (int32_t k = 0; k < kTerrainKinds; ++k) {
        if (name == std::to_string(k) || lower == Lower(TerrainName(k))) return k;
    }
    for (const auto& [english, kind] : kEnglishNames) {
        if (lower == english) return kind;
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

// KIND=LOW:HIGH.
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
        for (const auto& [english, kind] : kEnglishNames) {
            if (kind == k) list += " (" + std::string(english) + ")";
        }
    }
    return list;
}

// Why a --height text cannot be taken, or nothing.
std::string HeightProblem(const std::string& text) {
    std::optional<Height> height = ParseHeight(text);
    if (!height) return "'" + text + "' is not KIND=LOW:HIGH with KIND one of " + KindList();
    // Digits beyond a double read as an infinity, never as an exception; the job then refuses the
    // height as out of range.
    if (std::strtod(height->min.c_str(), nullptr) > std::strtod(height->max.c_str(), nullptr)) {
        return "'" + text + "': the lowest height " + height->min + " lies above the highest " +
               height->max;
    }
    return {};
}

}  // namespace

void AddMapCommand(CLI::App& app, Context& ctx) {
    auto options = std::make_shared<MapOptions>();  // lives as long as the command's callback
    auto* cmd = app.add_subcommand("bmp2map",
                                   "Lay a picture into the terrain file, one pixel "
                                   "per cell, each colour of the palette one kind");
    cmd->alias("map");
    cmd->add_option("--bitmap", options->request.bitmap, "the picture: PNG, BMP or GIF")
        ->required();
    cmd->add_option("--map", options->request.map, "terrain file, created when missing")
        ->capture_default_str();
    AddWorld(*cmd, options->request.world);
    AddWholeNumber(*cmd, "--x", options->x, "map X of the picture's top-left pixel, 0 or more");
    AddWholeNumber(*cmd, "--y", options->y, "map Y of the picture's top-left pixel, 0 or more");
    cmd->add_option("--palette", options->request.palette,
                    "palette picture (PNG, BMP or GIF): column k of its top row is the colour of "
                    "kind k")
        ->capture_default_str();
    static const CLI::Validator height(HeightProblem, "");
    cmd->add_option("--height", options->heights,
                    "lowest and highest height of one kind, LOW not above HIGH, e.g. "
                    "mountain=20:70 (repeatable); kinds: " +
                        KindList())
        ->check(height)
        ->option_text("KIND=LOW:HIGH");
    cmd->add_option("--seed", options->seed,
                    "seed of the random draws, 0..4294967295, for repeatable runs")
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
        std::unique_ptr<Picture> palette = ReadJobPicture(request.palette, &request.paletteProblem);
        std::unique_ptr<Picture> picture;
        if (palette) {
            // A PNG that the views could have written is read row by row as the job goes, and
            // never sits in memory whole; any other picture is read whole.
            {
                ExitOnStop checking;  // the whole file is checked before the first row
                picture = PngRows::Open(DefaultFileSystem(), request.bitmap);
            }
            if (!picture) picture = ReadJobPicture(request.bitmap, &request.bitmapProblem);
        }

        Bmp2MapHooks hooks;
        hooks.status = ctx.Progress();
        Bmp2MapOutcome outcome = RunBmp2Map(request, palette.get(), picture.get(), hooks);
        ctx.Report(outcome);
    });
}

}  // namespace vorlak::cli
