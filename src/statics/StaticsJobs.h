// The three statics jobs as runners shared by the window and the command line.
//
// A runner takes a plain request, reports its status texts through `status` (the wait text first,
// then the outcome) and returns the outcome. It opens and closes the store itself, in every case.
#pragma once

#include <cstdint>
#include <string>

#include "mul/File.h"
#include "mul/Job.h"

namespace vorlak {

struct ClearRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    int32_t x1 = 0, y1 = 0, x2 = 6143, y2 = 4095;
};

struct FreezeRequest {
    std::string items = "items.wsc";
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    bool sphere = false;     // the item file is a Sphere world save
    int32_t itemType = 255;  // -1 takes every type
};

struct MeltRequest {
    std::string statics = "statics0.mul";
    std::string staidx = "staidx0.mul";
    std::string items = "items.wsc";
    int32_t x1 = 0, y1 = 0, x2 = 6143, y2 = 4095;
    int32_t addX = 0, addY = 0, addZ = 0;
    uint8_t itemType = 255;
    int32_t countStart = 0;
};

JobOutcome RunClear(const ClearRequest& request, const StatusSink& status,
                    FileSystem& fs = DefaultFileSystem());
JobOutcome RunFreeze(const FreezeRequest& request, const StatusSink& status,
                     FileSystem& fs = DefaultFileSystem());
JobOutcome RunMelt(const MeltRequest& request, const StatusSink& status,
                   FileSystem& fs = DefaultFileSystem());

}  // namespace vorlak
