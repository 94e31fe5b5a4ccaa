// The combining marks (Unicode general category M) and the canonical
// compositions of a character with a combining mark that follows it,
// generated from ICU by scripts/generate-combining-marks-table and committed
// (combining_marks_table.cpp), so that every platform joins a base and its
// marks alike with no ICU at run time. Internal to common/.
#pragma once

#include <cstddef>

namespace teebasket::combining_marks {

// Inclusive ranges of code points, ascending, neither overlapping nor
// touching.
struct Range {
    char32_t first;
    char32_t last;
};
extern const Range kMarkRanges[];
extern const std::size_t kMarkRangeCount;

// `base` followed by `mark` composes to `composed`. Ascending by mark, then
// by base; each pair once.
struct Composition {
    char32_t base;
    char32_t mark;
    char32_t composed;
};
extern const Composition kCompositions[];
extern const std::size_t kCompositionCount;

}  // namespace teebasket::combining_marks
