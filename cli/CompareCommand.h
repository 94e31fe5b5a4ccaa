// CompareCommand: `teebasket-cli compare OLD NEW [-o REPORT]`: reads two
// output files of any format, prints what changed between them and writes
// the full report to REPORT in the format of its extension.
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace teebasket::cli {

struct CompareRequest {
    std::filesystem::path oldPath;
    std::filesystem::path newPath;
    std::optional<std::filesystem::path> reportPath;
    bool reportToStandardOutput =
        false;  // "-o -": the full report, as text, in place of the summary
};

// Exit codes: 0 compared (whatever the differences), 64 bad usage, a file
// that cannot be read as an output (an empty or blank one, one over 64 MiB
// or beyond the other bounds of OutputReader.h) or a report path that is
// one of the inputs (nothing is then written), 73 the report cannot be
// written.
inline constexpr int kCompareDone = 0;
inline constexpr int kCompareBadInput = 64;
inline constexpr int kCompareCannotWrite = 73;

// Compares the two files: the summary goes to `out`, a failure's reason (one
// line, Japanese and English) to `err`. Returns the exit code.
int RunCompare(const CompareRequest& request, std::FILE* out, std::FILE* err);

}  // namespace teebasket::cli
