// ProgramEnvironment: what teebasket-cli asks of the system around a run, the
// parts that differ between the platforms (program_environment_posix.cpp,
// program_environment_windows.cpp): its arguments, its own folder, readable
// files, a private scratch folder and the process-wide settings of a
// console program.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace teebasket::cli {

// The arguments after the program's name, as UTF-8. On Windows they come from
// the wide command line, so that names outside the ANSI code page survive;
// `argv` is then not read.
std::vector<std::string> ArgumentsAsUtf8(int argc, char** argv);

// The folder of the running executable; empty when it cannot be told.
std::filesystem::path ExecutableFolder();

// Whether `path` is a regular file that this process may read.
bool IsReadableFile(const std::filesystem::path& path);

// Makes a folder that only this process uses, in the system's folder for
// temporary files ($TMPDIR or /tmp; %TEMP% on Windows), and returns "" and
// the folder, or the reason it could not be made.
std::string MakeScratchFolder(std::filesystem::path& folder);

// Settings of the whole process before anything is written: on Linux a closed
// pipe on standard error must not end the program (SIGPIPE), nor a write over
// the file-size limit (SIGXFSZ: the write fails instead); on Windows
// standard output and error take binary mode, so that a line ends in "\n" in
// a file or pipe, as on Linux (a console gets its text through
// TerminalStream either way).
void PrepareProcess();

}  // namespace teebasket::cli
