// What the statics tests share: a temporary pair, a Zedra3 item's text, a quiet status sink and
// the check that a job cut short left every block with its old or its new statics.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak::test {

// A status sink that drops every text.
inline void Quiet(const std::string&) {}

// One item section of a Zedra3 world file, on the ground; `more` holds extra lines such as
// "COLOR -1\r\n".
inline std::string Zedra3Item(const std::string& id, const std::string& x, const std::string& y,
                              const std::string& z = "0", const std::string& more = "",
                              const std::string& type = "255") {
    return "SECTION WORLDITEM 1\r\n{\r\nID " + id + "\r\nX " + x + "\r\nY " + y + "\r\nZ " + z +
           "\r\nTYPE " + type + "\r\nCONT -1\r\n" + more + "}\r\n\r\n";
}

// Fails the test at the first block of `now` that holds neither its statics of `before` nor
// those of `after` (the pair a job that ran to the end leaves).
inline void ExpectOldOrNew(const StaticsPair& before, const StaticsPair& after,
                           const StaticsPair& now) {
    for (int32_t b = 0; b < StaticsPair::kBlocks; ++b) {
        if (before.EntryOf(b).length <= 0 && after.EntryOf(b).length <= 0 &&
            now.EntryOf(b).length <= 0) {
            continue;
        }
        StaticsPair::Bytes run = now.RunOf(b);
        if (run != before.RunOf(b) && run != after.RunOf(b)) {
            ADD_FAILURE() << "block " << b << " holds neither its old nor its new statics";
            return;
        }
    }
}

// A test in a fresh folder with the paths of a statics pair in it (files not yet made).
class PairTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
};

}  // namespace vorlak::test
