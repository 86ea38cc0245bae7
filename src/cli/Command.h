// The base of the `vorlak` subcommands: each subcommand file adds itself to the parser through
// one Add*Command function and reports through the shared context.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "history/History.h"
#include "mul/File.h"
#include "mul/Picture.h"
#include "mul/World.h"
#include "statics/StaticsJobs.h"

namespace vorlak::cli {

struct Context {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;  // wait and progress texts go to `err` only when true
    int columns = 80;            // the terminal's width; a progress text stays within one line
    int exitCode = 0;
    bool progressShown = false;             // a progress text stands on the terminal's last line
    FileSystem* fs = &DefaultFileSystem();  // where the jobs read and write their files

    std::string jobText = {};  // the command line as given, for the history's list
    bool noHistory = false;    // --no-history
    std::unique_ptr<history::StepRecorder> recorder = nullptr;

    // The recorder for this run's writing job; none with --no-history. Report prints its remark.
    JobRecorder* Recorder();
    // A StatusSink that shows wait and progress texts on a terminal, each once.
    StatusSink Progress();
    // Prints a job's outcome by the common rules and sets exitCode: 0 and the status on `out`
    // for success, its counts on the line before; 1 and the status (and its detail) on `err`
    // otherwise.
    void Report(const JobOutcome& outcome);
};

// True for a whole decimal number ("12", "-3", "+7"), of any length.
bool IsWholeNumber(std::string_view text);
// Accepts whole decimal numbers only ("12", "-3", "+7", "08"), of any length; leading zeros are
// dropped, so that "08" is eight and never read as an octal number.
const CLI::Validator& WholeNumber();

// Reads a picture file for a job (see ReadPictureFile); a stop asked for meanwhile ends the
// program at once, since decoding a large picture cannot look at it and holds nothing yet.
std::unique_ptr<WritablePicture> ReadJobPicture(const std::string& path,
                                                std::string* why = nullptr);

// Accepts the name of a picture that the picture jobs can write: one ending in .png or .bmp.
// Any other name is a usage error, with the same words for every job.
const CLI::Validator& PictureToWrite();

// Adds a signed 32-bit option that takes whole decimal numbers only ("12", "-3", "+7").
CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name, int32_t& value,
                            const std::string& description);

// The same, for an option that may be left out; `value` stays empty then.
CLI::Option* AddWholeNumber(CLI::App& command, const std::string& name,
                            std::optional<int32_t>& value, const std::string& description);

// --world WxH: the world size of the files, for every subcommand that works on the statics pair
// or the terrain file. A malformed size is a usage error. `world` stays empty when not given.
CLI::Option* AddWorld(CLI::App& command, std::optional<world::Size>& world);

// --statics, --staidx and --world, for a subcommand that works on the statics pair.
void AddStaticsFiles(CLI::App& command, std::string& statics, std::string& staidx,
                     std::optional<world::Size>& world);

void AddClearCommand(CLI::App& app, Context& ctx);
void AddFreezeCommand(CLI::App& app, Context& ctx);
void AddMeltCommand(CLI::App& app, Context& ctx);
void AddMapCommand(CLI::App& app, Context& ctx);
void AddArtCommand(CLI::App& app, Context& ctx);
void AddCheckCommand(CLI::App& app, Context& ctx);
void AddCompactCommand(CLI::App& app, Context& ctx);
// render, map2bmp, heights
void AddViewCommands(CLI::App& app, Context& ctx);
// history, undo, redo; and --no-history on every writing subcommand already added
void AddHistoryCommands(CLI::App& app, Context& ctx);

}  // namespace vorlak::cli
