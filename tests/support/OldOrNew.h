// What a statics job that commits all or nothing may leave: every block's statics as before the
// job, or every block's statics as the whole job leaves them. Bytes no entry refers to are not
// looked at.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "support/StaticsPair.h"

namespace vorlak::test {

inline bool SameRun(const StaticsPair& a, const StaticsPair& b, int32_t block) {
    StaticsPair::Entry x = a.EntryOf(block), y = b.EntryOf(block);
    if (x.length <= 0 || y.length <= 0) return (x.length <= 0) == (y.length <= 0);
    return x.length == y.length && std::memcmp(a.data.data() + x.offset, b.data.data() + y.offset,
                                               static_cast<size_t>(x.length)) == 0;
}

// `now` must be a sound pair (see CheckStaticsFiles) before this is asked.
inline ::testing::AssertionResult HoldsOldOrNew(const StaticsPair& before, const StaticsPair& after,
                                                const StaticsPair& now) {
    if (now.index.size() != before.index.size() || now.index.size() != after.index.size()) {
        return ::testing::AssertionFailure()
               << "the index is " << now.index.size() << " bytes long";
    }
    auto blocks = static_cast<int32_t>(now.index.size() / StaticsPair::kEntryBytes);
    int32_t notOld = -1, notNew = -1;
    for (int32_t b = 0; b < blocks && (notOld < 0 || notNew < 0); ++b) {
        if (notOld < 0 && !SameRun(now, before, b)) notOld = b;
        if (notNew < 0 && !SameRun(now, after, b)) notNew = b;
    }
    if (notOld < 0 || notNew < 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "block " << notOld << " holds new statics, but block " << notNew << " does not";
}

}  // namespace vorlak::test
