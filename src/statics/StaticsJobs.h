// The three statics jobs as runners shared by the window and the command line.
//
// A runner takes a plain request, reports its status texts through `status` (the wait text first,
// then the outcome) and returns the outcome. It opens and closes the store itself, in every case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mul/File.h"
#include "mul/Job.h"
#include "mul/Recorder.h"
#include "mul/World.h"

namespace vorlak {

// `world`: the size the user gave; none takes it from the files (a new pair: the default world).
// An X2 or Y2 left out reaches to the last cell of the world in use.

struct ClearRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    int32_t x1 = 0, y1 = 0;
    std::optional<int32_t> x2 = std::nullopt, y2 = std::nullopt;
    std::optional<world::Size> world = std::nullopt;
    JobRecorder* history = nullptr;  // none: the job records no step
};

struct FreezeRequest {
    std::string items = "items.wsc";
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    bool sphere = false;     // the item file is a Sphere world save
    int32_t itemType = 255;  // -1 takes every type
    std::optional<world::Size> world = std::nullopt;
    JobRecorder* history = nullptr;  // none: the job records no step
};

struct MeltRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    std::string items = "items.wsc";
    int32_t x1 = 0, y1 = 0;
    std::optional<int32_t> x2 = std::nullopt, y2 = std::nullopt;
    int32_t addX = 0, addY = 0, addZ = 0;
    uint8_t itemType = 255;
    int32_t countStart = 0;
    std::optional<world::Size> world = std::nullopt;
    JobRecorder* history = nullptr;  // none: the job records no step
};

// "Illegal cordinates." with a line for each corner that is wrong (world::CornerProblems), or
// nothing when the rectangle lies in the world of `size`.
std::optional<JobOutcome> RefuseCorners(int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                                        const world::Size& size, bool ordered);

JobOutcome RunClear(const ClearRequest& request, const StatusSink& status,
                    FileSystem& fs = DefaultFileSystem());
JobOutcome RunFreeze(const FreezeRequest& request, const StatusSink& status,
                     FileSystem& fs = DefaultFileSystem());
JobOutcome RunMelt(const MeltRequest& request, const StatusSink& status,
                   FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
