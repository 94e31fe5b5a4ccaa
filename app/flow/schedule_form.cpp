#include "ScheduleForm.h"

#include <optional>
#include <utility>

#include "Prefectures.h"
#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {

namespace {

// More prefectures than this are shown as the first two and a count.
constexpr std::size_t kNamedPrefectures = 3;

// A scheduled run that went well.
constexpr int kExitDone = 0;

std::string PrefectureName(int code) {
    if (code < 1 || code > kPrefectureCount) {
        return std::to_string(code);
    }
    return std::string(PrefectureTable[static_cast<std::size_t>(code - 1)].displayName);
}

// "2026-12-09T03:00:12+09:00" as "2026-12-09 03:00".
std::string ShortTime(const std::string& iso) {
    if (iso.size() < 16 || iso[10] != 'T') {
        return iso;
    }
    return iso.substr(0, 10) + " " + iso.substr(11, 5);
}

std::string ResultWord(int exitCode) {
    switch (exitCode) {
        case kExitDone:
            return "正常";
        case schedule::kExitNeedsAttention:
            return "要確認";
        default:
            return "エラー（終了コード " + std::to_string(exitCode) + "）";
    }
}

// The file and its format: a name whose extension is that of a type keeps it
// and takes its format (a .csv name the chosen CSV, or the code-page-932 one);
// any other name takes the chosen type's extension.
std::pair<std::filesystem::path, OutputFormat> OutputOfForm(const ScheduleForm& form) {
    const OutputType& type = OutputTypeAt(form.outputType);
    const std::filesystem::path typed = PathFromUtf8(form.output);
    if (const std::optional<OutputFormat> named = OutputFormatOfPath(typed)) {
        return {typed, *named};
    }
    if (PathFromUtf8(AppendExtension(form.output, ".csv")) == typed) {
        const bool csv = type.format == OutputFormat::Csv || type.format == OutputFormat::CsvUtf8;
        return {typed, csv ? type.format : OutputFormat::Csv};
    }
    return {PathFromUtf8(AppendExtension(form.output, type.extension())), type.format};
}

}  // namespace

std::string ScheduleOfForm(const ScheduleForm& form, schedule::Schedule& schedule) {
    if (schedule::Words problem = schedule::ScheduleNameProblem(form.name); !problem.empty()) {
        return problem.japanese;
    }
    if (form.rows.empty()) {
        return "取得する都道府県をチェックしてください";
    }
    if (form.output.empty()) {
        return "保存先のファイルを指定してください";
    }
    const auto [output, format] = OutputOfForm(form);
    if (!output.is_absolute()) {
        return "保存先はフォルダーから指定してください（参照… で選べます）";
    }
    schedule.name = form.name;
    schedule.cadence = form.cadence;
    const bool monthly = form.cadence == schedule::Cadence::Monthly;
    schedule.day = monthly ? form.monthDay : form.weekday;
    if (monthly ? (schedule.day < 1 || schedule.day > schedule::kLastScheduledDay)
                : (schedule.day < 0 || schedule.day >= schedule::kWeekdays)) {
        return "実行する日を選んでください";
    }
    schedule.hour = form.hour;
    schedule.minute = form.minute;
    schedule.prefectures.clear();
    for (const int row : MakeSelection(form.rows).rows) {
        schedule.prefectures.push_back(row + 1);
    }
    schedule.output = output;
    schedule.format = format;
    schedule.config = form.iniFile;
    schedule.runOptions.clear();
    return {};
}

ScheduleRow RowOfEntry(const schedule::ScheduleEntry& entry) {
    ScheduleRow row;
    row.name = entry.name;
    if (!entry.schedule) {
        row.when = entry.problem.japanese;
        row.needsAttention = true;
        return row;
    }
    const schedule::Schedule& schedule = *entry.schedule;
    row.when = schedule::CadenceTextJapanese(schedule);
    row.prefectures = PrefecturesText(schedule.prefectures);
    row.output = PathText(schedule.output);
    row.lastRun = entry.times.lastRun.empty() ? "－" : entry.times.lastRun;
    row.nextRun = !entry.times.known            ? "未登録"
                  : entry.times.nextRun.empty() ? "－"
                                                : entry.times.nextRun;
    if (!entry.lastResult) {
        row.lastResult = "－";
        return row;
    }
    const schedule::ScheduleResult& result = *entry.lastResult;
    row.lastResult = ShortTime(result.finishedAt) + " " + ResultWord(result.exitCode);
    row.needsAttention = result.exitCode != kExitDone;
    for (const schedule::Alert alert : result.alerts) {
        row.details += schedule::AlertText(alert) + "\n";
    }
    if (!result.report.empty()) {
        row.details += "変更の報告: " + PathText(result.report) + "\n";
    }
    if (!result.summary.empty()) {
        row.details += result.summary + "\n";
    }
    return row;
}

std::string PrefecturesText(const std::vector<int>& codes) {
    if (codes.size() == static_cast<std::size_t>(kPrefectureCount)) {
        return "全国（" + std::to_string(kPrefectureCount) + "）";
    }
    const std::size_t named = codes.size() > kNamedPrefectures ? 2 : codes.size();
    std::string text;
    for (std::size_t i = 0; i < named; ++i) {
        text += (i > 0 ? "、" : "") + PrefectureName(codes[i]);
    }
    if (named < codes.size()) {
        text += " ほか " + std::to_string(codes.size() - named);
    }
    return text;
}

std::string StepText(const schedule::SystemStep& step) {
    std::string text;
    for (const schedule::Words& line : step.lines) {
        text += (text.empty() ? "" : "\n") + line.japanese;
    }
    return text;
}

}  // namespace teebasket::flow
