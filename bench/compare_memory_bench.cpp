// Peak resident memory of `teebasket-cli compare FILE FILE` on hostile
// inputs, as the kernel accounts it for the finished process:
//
//   shared-string workbook  a 51 KB workbook whose one shared string of
//                           50 MB is referenced by 200 cells
//   one-character rows      a 16 MiB UTF-8 CSV: a header, then rows of one
//                           character and no detail URL
//   url-only lines          a 16 MiB JSON Lines file: a distinct detail URL
//                           and nothing else on each line
//   oversized input         a JSON Lines file just over 64 MiB
//
// Each file is compared with itself, so that it is read twice. The figure
// should stay far below 200 MiB for every one, and no run may end by a
// signal.
//
//   build/bench/compare_memory_bench [FOLDER]   (FOLDER keeps the inputs)
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "child_run.h"

namespace {

using namespace teebasket;
using bench::ChildRun;
using bench::RunMeasured;
namespace fs = std::filesystem;

void PutLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::string Deflated(const std::string& bytes) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// A zip file of deflated members.
std::string ZipOf(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string zip;
    std::string directory;
    for (const auto& [name, bytes] : members) {
        const std::string data = Deflated(bytes);
        const auto crc = static_cast<std::uint32_t>(crc32(
            0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        const auto offset = static_cast<std::uint32_t>(zip.size());
        PutLe(zip, 0x04034b50, 4);
        PutLe(zip, 20, 2);
        PutLe(zip, 0, 2);
        PutLe(zip, 8, 2);
        PutLe(zip, 0, 4);
        PutLe(zip, crc, 4);
        PutLe(zip, static_cast<std::uint32_t>(data.size()), 4);
        PutLe(zip, static_cast<std::uint32_t>(bytes.size()), 4);
        PutLe(zip, static_cast<std::uint32_t>(name.size()), 2);
        PutLe(zip, 0, 2);
        zip += name + data;
        PutLe(directory, 0x02014b50, 4);
        PutLe(directory, 20, 2);
        PutLe(directory, 20, 2);
        PutLe(directory, 0, 2);
        PutLe(directory, 8, 2);
        PutLe(directory, 0, 4);
        PutLe(directory, crc, 4);
        PutLe(directory, static_cast<std::uint32_t>(data.size()), 4);
        PutLe(directory, static_cast<std::uint32_t>(bytes.size()), 4);
        PutLe(directory, static_cast<std::uint32_t>(name.size()), 2);
        PutLe(directory, 0, 2 + 2 + 2 + 2);
        PutLe(directory, 0, 4);
        PutLe(directory, offset, 4);
        directory += name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(zip.size());
    zip += directory;
    PutLe(zip, 0x06054b50, 4);
    PutLe(zip, 0, 4);
    PutLe(zip, static_cast<std::uint32_t>(members.size()), 2);
    PutLe(zip, static_cast<std::uint32_t>(members.size()), 2);
    PutLe(zip, static_cast<std::uint32_t>(directory.size()), 4);
    PutLe(zip, directoryOffset, 4);
    PutLe(zip, 0, 2);
    return zip;
}

std::string SharedStringWorkbook() {
    const std::string shared = "<sst><si><t>" + std::string(50'000'000, 'x') + "</t></si></sst>";
    std::string sheet =
        "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>名称</t></is></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><t>詳細ページURL</t></is></c></row>";
    for (int row = 2; row <= 201; ++row) {
        const std::string r = std::to_string(row);
        sheet += "<row r=\"" + r + "\"><c r=\"A" + r + "\" t=\"s\"><v>0</v></c><c r=\"B" + r +
                 "\" t=\"inlineStr\"><is><t>https://x/" + r + "</t></is></c></row>";
    }
    sheet += "</sheetData></worksheet>";
    return ZipOf({{"xl/worksheets/sheet1.xml", sheet}, {"xl/sharedStrings.xml", shared}});
}

std::string OneCharacterRows(std::size_t size) {
    std::string csv = "\xEF\xBB\xBF\"名称\",\"詳細ページURL\"\r\n";
    while (csv.size() + 2 <= size) {
        csv += "x\n";
    }
    return csv;
}

std::string UrlOnlyLines(std::size_t size) {
    std::string jsonl;
    for (std::size_t n = 0; jsonl.size() < size; ++n) {
        jsonl += "{\"detail_url\":\"u" + std::to_string(n) + "\"}\n";
    }
    return jsonl;
}

void Measure(const char* what, const fs::path& file) {
    const ChildRun run =
        RunMeasured({TEEBASKET_CLI_EXECUTABLE, "compare", file.string(), file.string()});
    std::printf("%-26s %10.1f %12s %14.1f\n", what,
                static_cast<double>(fs::file_size(file)) / (1024.0 * 1024.0), run.ending.c_str(),
                run.peakMiB);
    std::fflush(stdout);
}

// Writes the inputs in a child process: a child started by posix_spawn
// inherits its parent's peak as its own, so the parent stays small.
void WriteInputs(const fs::path& folder) {
    const pid_t child = fork();
    if (child == 0) {
        test::WriteFileBytes(folder / "shared.xlsx", SharedStringWorkbook());
        test::WriteFileBytes(folder / "rows.csv", OneCharacterRows(16u << 20));
        test::WriteFileBytes(folder / "urls.jsonl", UrlOnlyLines(16u << 20));
        test::WriteFileBytes(folder / "over.jsonl", UrlOnlyLines((64u << 20) + 1));
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const test::TempDir temporary;
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : temporary.path();
    WriteInputs(folder);
    std::printf("%-26s %10s %12s %14s\n", "input", "MiB", "ending", "peak RSS MiB");
    Measure("shared-string workbook", folder / "shared.xlsx");
    Measure("one-character rows", folder / "rows.csv");
    Measure("url-only lines", folder / "urls.jsonl");
    Measure("oversized input", folder / "over.jsonl");
    return 0;
}
