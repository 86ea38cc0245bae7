#include "statics/StaticsJobs.h"
#include "statics/cStatics.h"

namespace vorlak {

// Placeholder until the world-file reader lands.
std::string cStatics::cFreeze(const std::string&, bool, int32_t) { return "Statics not open."; }

JobOutcome RunFreeze(const FreezeRequest&, const StatusSink& status, FileSystem&) {
    status("Freezing statics. Please wait.");
    status("Statics not open.");
    return {false, "Statics not open.", {}};
}

}  // namespace vorlak
