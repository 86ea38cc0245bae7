#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "art/ArtExport.h"
#include "art/ArtJobs.h"
#include "cli/Command.h"
#include "picture/PictureFiles.h"

namespace vorlak::cli {
namespace {

// The art number takes any whole decimal number, however long, so that a number out of range is
// refused by the job with its message instead of by the parser.
CLI::Option* AddArtNumber(CLI::App& command, std::string& text) {
    return command.add_option("--number", text, "art number, 0 or more")
        ->required()
        ->check(WholeNumber());
}

// Digits beyond what a double holds read as an infinity, which every job refuses.
double ArtNumber(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Pictures go through the picture module and the checked output path.
SaveArtPicture SavePicture() {
    return
        [](const Picture& picture, const std::string& path, FileSystem& fs,
           AtomicFile::Links links) { return WritePictureFile(picture, path, fs, false, links); };
}

struct ExportArgs {
    LoadArtRequest request;
    std::string kind = "land";
    std::string number;
    std::string out;
    bool all = false;
    std::string dir;
    std::string format = "png";
};

struct ImportArgs {
    FreezePictureRequest request;
    std::string number;
    std::string bitmap;
};

// Every record of the kind into a folder, one picture per record.
void ExportAll(const ExportArgs& args, Context& ctx) {
    ExportAllArtRequest request;
    request.artidx = args.request.artidx;
    request.artmul = args.request.artmul;
    request.kind = args.kind == "static" ? ArtKind::kStatic : ArtKind::kLandscape;
    request.dir = args.dir;
    request.format = args.format;
    StatusSink progress = ctx.Progress();
    ctx.Report(RunExportAllArt(request, SavePicture(), progress, *ctx.fs));
}

void Export(ExportArgs& args, Context& ctx) {
    if (args.all) {
        if (args.dir.empty() || !args.number.empty() || !args.out.empty() || args.kind == "test") {
            throw CLI::ValidationError("--all",
                                       "takes --dir and --kind land|static, not --number or --out");
        }
        ExportAll(args, ctx);
        return;
    }
    if (args.number.empty() || args.out.empty()) {
        throw CLI::RequiredError("--number and --out (or --all with --dir)");
    }
    args.request.number = ArtNumber(args.number);
    args.request.kind = args.kind == "static" ? ArtKind::kStatic
                        : args.kind == "test" ? ArtKind::kTest
                                              : ArtKind::kLandscape;
    ctx.Report(RunExportArt(args.request, args.out, SavePicture(), *ctx.fs));
}

void Import(ImportArgs& args, Context& ctx) {
    args.request.number = ArtNumber(args.number);
    std::string why;
    std::unique_ptr<WritablePicture> picture = ReadJobPicture(args.bitmap, &why);
    if (!picture) {
        ctx.Report({false, "Unable to read the picture " + args.bitmap + ".", why});
        return;
    }
    args.request.history = ctx.Recorder();
    ctx.Report(RunFreezePicture(args.request, *picture));
}

}  // namespace

void AddArtCommand(CLI::App& app, Context& ctx) {
    auto* art = app.add_subcommand("art", "Show art records as pictures and write pictures back");
    art->require_subcommand(1, 1);

    auto exportArgs = std::make_shared<ExportArgs>();  // lives as long as the callback
    auto* exp = art->add_subcommand(
        "export", "Decode one art record and write its pixels as a BMP or PNG picture");
    exp->callback([exportArgs, &ctx] { Export(*exportArgs, ctx); });
    AddArtNumber(*exp, exportArgs->number)->required(false);
    exp->add_option("--kind", exportArgs->kind,
                    "land: landscape tiles (record = number), static: static tiles (number + "
                    "16384), test: the third range (number + 32768)")
        ->check(CLI::IsMember({"land", "static", "test"}))
        ->capture_default_str();
    exp->add_option("--idx", exportArgs->request.artidx, "art index file")->capture_default_str();
    exp->add_option("--mul", exportArgs->request.artmul, "art data file")->capture_default_str();
    // Only pictures that keep every pixel exact.
    exp->add_option("--out", exportArgs->out, "picture to write: a name ending in .png or .bmp")
        ->check(PictureToWrite());
    exp->add_flag("--all", exportArgs->all,
                  "every record of the kind (land or static) into --dir, one picture each, "
                  "named by its number (00000.png ...); missing records are skipped and counted");
    exp->add_option("--dir", exportArgs->dir, "folder for --all, made when missing")
        ->option_text("FOLDER");
    exp->add_option("--format", exportArgs->format, "picture format for --all")
        ->check(CLI::IsMember({"png", "bmp"}))
        ->capture_default_str();

    auto importArgs = std::make_shared<ImportArgs>();
    auto* imp = art->add_subcommand(
        "import", "Save the 44 x 44 diamond at a picture's top-left corner as a landscape tile");
    imp->callback([importArgs, &ctx] { Import(*importArgs, ctx); });
    imp->add_option("--bitmap", importArgs->bitmap, "picture to read: PNG, BMP or GIF")->required();
    AddArtNumber(*imp, importArgs->number);
    imp->add_option("--idx", importArgs->request.artidx, "art index file")->capture_default_str();
    imp->add_option("--mul", importArgs->request.artmul, "art data file")->capture_default_str();
}

}  // namespace vorlak::cli
