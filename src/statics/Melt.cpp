#include "statics/StaticsJobs.h"
#include "statics/cStatics.h"

namespace vorlak {

// Placeholder until the item writer lands.
std::string cStatics::cMelt(const std::string&, int32_t, int32_t, int32_t, int32_t, int32_t,
                            int32_t, int32_t, uint8_t, int32_t) {
    return "Statics not open.";
}

JobOutcome RunMelt(const MeltRequest&, const StatusSink& status, FileSystem&) {
    status("Melting statics. Please wait.");
    status("Statics not open.");
    return {false, "Statics not open.", {}};
}

}  // namespace vorlak
