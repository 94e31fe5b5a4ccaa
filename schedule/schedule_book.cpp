#include "ScheduleBook.h"

#include <system_error>

#include "path_text.h"
#include "whole_file.h"

namespace teebasket::schedule {

namespace fs = std::filesystem;

namespace {

// A schedule's settings file is a few lines.
constexpr std::uintmax_t kMaxScheduleFileBytes = 64 * 1024;

Words NoSuchSchedule(const std::string& name) {
    return {"定期取得「" + name + "」はありません", "there is no schedule \"" + name + "\""};
}

// The settings' own checks name the fault in English.
Words CannotRead(const std::string& name, const std::string& why) {
    return {"定期取得「" + name + "」の設定を読めません（" + why + "）",
            "the schedule \"" + name + "\" cannot be read: " + why};
}

}  // namespace

void RemoveFilesOfStep(const std::vector<fs::path>& files, SystemStep& step) {
    for (const fs::path& file : files) {
        std::error_code error;
        fs::remove(file, error);
        if (error) {
            step.outcome = StepOutcome::CannotWrite;
            step.lines.push_back(
                {"削除できませんでした: " + PathText(file) + "（" + error.message() + "）",
                 "Could not remove " + PathText(file) + ": " + error.message() + "."});
        }
    }
}

SystemStep AddSchedule(const Schedule& schedule, const ScheduledCommand& command, bool registerIt) {
    const fs::path folder = SchedulesFolderIn(command.dataFolder);
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    std::string problem;
    if (!WriteWholeFile(ScheduleFilePath(folder, schedule.name), ScheduleFileText(schedule),
                        problem)) {
        return {StepOutcome::CannotWrite,
                {{"定期取得の設定を書き込めませんでした（" + problem + "）。",
                  "The schedule's settings could not be written: " + problem + "."}}};
    }
    const std::string output = PathText(schedule.output);
    SystemStep step = InstallSchedule(schedule, command, registerIt);
    step.lines.insert(
        step.lines.begin(),
        {"定期取得 " + schedule.name + ": " + CadenceTextJapanese(schedule) + "、" + output,
         "Schedule " + schedule.name + ": " + CadenceText(schedule) + ", " + output});
    return step;
}

std::optional<Schedule> LoadSchedule(const fs::path& dataFolder, const std::string& name,
                                     Words& problem) {
    if (problem = ScheduleNameProblem(name); !problem.empty()) {
        return std::nullopt;
    }
    const WholeFileRead read =
        ReadWholeFile(ScheduleFilePath(SchedulesFolderIn(dataFolder), name), kMaxScheduleFileBytes);
    if (read.status == WholeFileRead::Status::Missing) {
        problem = NoSuchSchedule(name);
        return std::nullopt;
    }
    if (read.status != WholeFileRead::Status::Read) {
        problem = CannotRead(name, "it cannot be read");
        return std::nullopt;
    }
    std::string error;
    std::optional<Schedule> loaded = ParseScheduleFile(read.bytes, error);
    if (!loaded) {
        problem = CannotRead(name, error);
        return std::nullopt;
    }
    if (loaded->name != name) {
        problem = CannotRead(name, "it names another schedule, \"" + loaded->name + "\"");
        return std::nullopt;
    }
    return loaded;
}

std::vector<ScheduleEntry> ListSchedules(const fs::path& dataFolder) {
    const fs::path folder = SchedulesFolderIn(dataFolder);
    std::vector<ScheduleEntry> entries;
    for (const std::string& name : ScheduleNamesIn(folder)) {
        ScheduleEntry entry;
        entry.name = name;
        entry.schedule = LoadSchedule(dataFolder, name, entry.problem);
        if (entry.schedule) {
            entry.times = TimesOfSchedule(*entry.schedule);
        }
        entry.lastResult = ReadResultFile(StateFilePath(folder, name));
        entries.push_back(std::move(entry));
    }
    return entries;
}

SystemStep RemoveSchedule(const fs::path& dataFolder, const std::string& name) {
    if (Words problem = ScheduleNameProblem(name); !problem.empty()) {
        return {StepOutcome::UnknownSchedule, {problem}};
    }
    const fs::path folder = SchedulesFolderIn(dataFolder);
    Schedule schedule;
    schedule.name = name;
    const fs::path settings = ScheduleFilePath(folder, name);
    std::error_code error;
    if (!fs::exists(settings, error) && !ScheduleInstalled(schedule)) {
        return {StepOutcome::UnknownSchedule, {NoSuchSchedule(name)}};
    }
    SystemStep step = UninstallSchedule(schedule);
    RemoveFilesOfStep({settings, StateFilePath(folder, name), TaskFilePath(folder, schedule)},
                      step);
    RemoveAttentionMarkerOf(dataFolder, name);
    if (step.outcome == StepOutcome::Done) {
        step.lines.push_back({"削除しました: " + name, "Removed: " + name});
    }
    return step;
}

}  // namespace teebasket::schedule
