#include "cli/Cli.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "cli/Command.h"

namespace vorlak::cli {

namespace {
// Back to the start of the terminal line, and the line cleared.
constexpr char kClearLine[] = "\r\033[K";
}  // namespace

StatusSink Context::Progress() {
    // Each text replaces the one before on the same terminal line; Report clears it, so the
    // outcome is printed once, where it belongs. A text like the one before (a map job reports
    // every pixel row, in whole percents) is not written again.
    return [this, last = std::string()](const std::string& text) mutable {
        if (!errIsTerminal || text == last) return;
        last = text;
        err << kClearLine << text << std::flush;
        progressShown = true;
    };
}

void Context::Report(const JobOutcome& outcome) {
    if (progressShown) {
        err << kClearLine << std::flush;
        progressShown = false;
    }
    if (outcome.ok) {
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
            return {};
        },
        "INT");
    return whole;
}

CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name, int32_t& value,
                            const std::string& description) {
    return command.add_option(name, value, description)
        ->check(WholeNumber())
        ->capture_default_str();
}

CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name,
                            std::optional<int32_t>& value, const std::string& description) {
    return command
        .add_option_function<int32_t>(
            name, [&value](const int32_t& given) { value = given; }, description)
        ->check(WholeNumber());
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
            "world size in cells, e.g. 7168x4096 (default: taken from the files; 6144x4096 for "
            "new files)")
        ->check(size);
}

void AddStaticsFiles(CLI::App& command, std::string& statics, std::string& staidx,
                     std::optional<world::Size>& world) {
    command.add_option("--statics", statics, "statics data file")->capture_default_str();
    command.add_option("--staidx", staidx, "statics index file")->capture_default_str();
    AddWorld(command, world);
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        bool errIsTerminal) {
    CLI::App app{
        "Vorlak: edits the statics, terrain and art files of a world server."
        " Without a subcommand it opens the window.",
        "vorlak"};
    app.set_version_flag("--version", "Vorlak " VORLAK_VERSION);
    app.require_subcommand(0, 1);
    Context ctx{out, err, errIsTerminal};
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
