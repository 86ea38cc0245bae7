#include "cli/Cli.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "cli/Command.h"
#include "mul/Stop.h"
#include "picture/PictureFiles.h"

namespace vorlak::cli {

namespace {
// Back to the start of the terminal line, and the line cleared.
constexpr char kClearLine[] = "\r\033[K";

// `text` cut to fewer than `columns` characters, so that it never wraps: a wrapped line could not
// be cleared by going back to the start of the last row. Counts UTF-8 characters, not bytes.
std::string FitLine(const std::string& text, int columns) {
    const size_t room = static_cast<size_t>(std::max(columns - 1, 4));
    size_t characters = 0, cut = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters == room - 3) cut = i;
        ++characters;
    }
    if (characters <= room) return text;
    return text.substr(0, cut) + "...";
}

// Help that reads plainly: "--x N (default 0)", "--out FILE (required)", "--kind land|static",
// never the parser's own type and validator names.
class PlainHelp : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* opt) const override {
        std::string text;
        const bool flag = opt->get_type_name().empty() && opt->get_option_text().empty();
        if (opt->get_type_size() != 0 && !flag) {
            text += " " + Metavar(*opt);
            if (opt->get_expected_max() > 1) text += " ...";
            if (opt->get_required()) text += " (required)";
            if (!opt->get_default_str().empty()) {
                text += " (default " + opt->get_default_str() + ")";
            }
        }
        for (const CLI::Option* other : opt->get_excludes()) {
            text += " (not with " + other->get_name() + ")";
        }
        return text;
    }

  private:
    // The option's own text when it has one; else the choices of a list check ("png|bmp"), N for
    // a number and FILE for a text.
    static std::string Metavar(const CLI::Option& opt) {
        if (!opt.get_option_text().empty()) return opt.get_option_text();
        const std::string type = opt.get_type_name();
        const size_t open = type.find(":{");
        if (open != std::string::npos) {
            std::string choices = type.substr(open + 2, type.size() - open - 3);
            std::replace(choices.begin(), choices.end(), ',', '|');
            return choices;
        }
        return type.rfind("TEXT", 0) == 0 && type.find("INT") == std::string::npos ? "FILE" : "N";
    }
};

}  // namespace

StatusSink Context::Progress() {
    // Each text replaces the one before on the same terminal line; Report clears it, so the
    // outcome is printed once, where it belongs. A text like the one before (a map job reports
    // every pixel row, in whole percents) is not written again.
    return [this, last = std::string()](const std::string& text) mutable {
        if (!errIsTerminal || text == last) return;
        last = text;
        err << kClearLine << FitLine(text, columns) << std::flush;
        progressShown = true;
    };
}

void Context::Report(const JobOutcome& outcome) {
    if (progressShown) {
        err << kClearLine << std::flush;
        progressShown = false;
    }
    if (outcome.ok) {
        if (!outcome.counts.empty()) out << outcome.counts << '\n';
        out << outcome.status << '\n';
        if (recorder && !recorder->remark().empty()) err << recorder->remark() << '\n';
        exitCode = 0;
        return;
    }
    err << outcome.status << '\n';
    if (!outcome.detail.empty()) err << outcome.detail << '\n';
    if (recorder && !recorder->remark().empty()) err << recorder->remark() << '\n';
    exitCode = 1;
}

bool IsWholeNumber(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
    if (text.empty()) return false;
    // Digits only, however many: a number too big for the option is refused by its own check.
    uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    return stop == end && (error == std::errc() || error == std::errc::result_out_of_range);
}

const CLI::Validator& WholeNumber() {
    static const CLI::Validator whole(
        [](std::string& text) -> std::string {
            if (!IsWholeNumber(text)) return "'" + text + "' is not a whole number";
            const size_t digits = text[0] == '+' || text[0] == '-' ? 1 : 0;
            const size_t zeros = text.find_first_not_of('0', digits);
            text.erase(digits, std::min(zeros, text.size() - 1) - digits);
            return {};
        },
        "INT");
    return whole;
}

std::unique_ptr<WritablePicture> ReadJobPicture(const std::string& path, std::string* why) {
    ExitOnStop decoding;
    return ReadPictureFile(path, why);
}

const CLI::Validator& PictureToWrite() {
    static const CLI::Validator check(
        [](std::string& name) -> std::string {
            if (!PictureFormatOfName(name).empty()) return {};
            return "the picture name " + name + " must end in .png or .bmp";
        },
        "");
    return check;
}

CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name, int32_t& value,
                            const std::string& description) {
    return command.add_option(name, value, description)
        ->transform(WholeNumber())
        ->capture_default_str();
}

CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name,
                            std::optional<int32_t>& value, const std::string& description) {
    return command
        .add_option_function<int32_t>(
            name, [&value](const int32_t& given) { value = given; }, description)
        ->transform(WholeNumber());
}

CLI::Option* AddWorld(CLI::App& command, std::optional<world::Size>& world) {
    static const CLI::Validator size(
        [](std::string& text) -> std::string {
            if (world::ParseSize(text)) return {};
            return "'" + text + "' is not a world size WxH: two multiples of 8 from 8 to " +
                   std::to_string(world::kLongestSide);
        },
        "WxH");
    return command
        .add_option_function<std::string>(
            "--world", [&world](const std::string& text) { world = world::ParseSize(text); },
            "world size in cells, two multiples of 8 up to " + std::to_string(world::kLongestSide) +
                ", e.g. 7168x4096 (default: taken from the files; 6144x4096 for new files)")
        ->check(size)
        ->option_text("WxH");
}

void AddStaticsFiles(CLI::App& command, std::string& statics, std::string& staidx,
                     std::optional<world::Size>& world) {
    command.add_option("--statics", statics, "statics data file")->capture_default_str();
    command.add_option("--staidx", staidx, "statics index file")->capture_default_str();
    AddWorld(command, world);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal, int columns) {
    return Run(args, out, err, errIsTerminal, DefaultFileSystem(), columns);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal, FileSystem& fs, int columns) {
    CLI::App app{
        "Vorlak: edits the statics, terrain and art files of a world server."
        " Without a subcommand it opens the window.",
        "vorlak"};
    app.set_version_flag("--version", "Vorlak " VORLAK_VERSION);
    app.require_subcommand(0, 1);
    auto help = std::make_shared<PlainHelp>();
    help->column_width(40);
    app.formatter(help);
    Context ctx{out, err, errIsTerminal, columns};
    ctx.fs = &fs;
    AddClearCommand(app, ctx);
    AddFreezeCommand(app, ctx);
    AddMeltCommand(app, ctx);
    AddMapCommand(app, ctx);
    AddArtCommand(app, ctx);
    AddCheckCommand(app, ctx);
    AddCompactCommand(app, ctx);
    AddViewCommands(app, ctx);
    AddHistoryCommands(app, ctx);
    for (const std::string& arg : args) {
        if (arg == "--no-history") continue;
        bool plain = !arg.empty() && arg.find_first_of(" \t\n'\"") == std::string::npos;
        ctx.jobText += (ctx.jobText.empty() ? "" : " ") + (plain ? arg : "'" + arg + "'");
    }

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion&) {
        out << app.version() << '\n';
        return 0;
    } catch (const CLI::ParseError& e) {
        err << "vorlak: " << e.what() << "\nRun 'vorlak --help' for usage.\n";
        return 2;
    }
    if (app.get_subcommands().empty()) {
        out << app.help();
        return 0;
    }
    return ctx.exitCode;
}

}  // namespace vorlak::cli
