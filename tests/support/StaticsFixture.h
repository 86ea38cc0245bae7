// What the statics tests share: a temporary pair and a Zedra3 item's text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/StaticsPair.h"
#include "support/TestFiles.h"

namespace vorlak::test {

// One item section of a Zedra3 world file, on the ground; `more` holds extra lines such as
// "COLOR -1\r\n".
inline std::string Zedra3Item(const std::string& id, const std::string& x, const std::string& y,
                              const std::string& z = "0", const std::string& more = "",
                              const std::string& type = "255") {
    return "SECTION WORLDITEM 1\r\n{\r\nID " + id + "\r\nX " + x + "\r\nY " + y + "\r\nZ " + z +
           "\r\nTYPE " + type + "\r\nCONT -1\r\n" + more + "}\r\n\r\n";
}

// A test in a fresh folder with the paths of a statics pair in it (files not yet made).
class PairTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string idx = dir.path("staidx0.mul");
    std::string mul = dir.path("statics0.mul");
};

}  // namespace vorlak::test
