// Start: the file types of the save dialog, the extension rule of the chosen
// name, and the questions asked before a run begins.
#include <algorithm>
#include <cstdio>
#include <utility>

#include "WindowFlow.h"
#include "path_text.h"

namespace teebasket::flow {

namespace {

constexpr std::string_view kCaptionOverwrite = "上書き確認";
constexpr std::string_view kCaptionResume = "再開確認";
constexpr std::string_view kTextSelectOne = "都道府県は１つ以上を選択してください。";
constexpr std::string_view kTextOverwrite = "%1 は既に存在します。\n上書きしますか？";
constexpr std::string_view kTextResume = "前回の続きから取得しますか？";
constexpr std::string_view kTextResumeOf = "前回（%1）の取得は %2 件中 %3 件で止まっています。";
constexpr std::string_view kTextResumeOfUnknownTotal = "前回（%1）の取得は %2 件で止まっています。";
constexpr std::string_view kTextResumeNotRead =
    "前回（%1）の取得では %2 件中 %3 件のページを取得できませんでした。";
constexpr std::string_view kTextResumeAfter = "続きから取得しますか？";
constexpr std::string_view kButtonContinue = "続きから";
constexpr std::string_view kButtonStartOver = "最初から";
constexpr std::string_view kButtonGoBack = "キャンセル";

// Extensions are ASCII: any case is the same extension.
bool SameAsciiText(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool EndsWithAscii(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && SameAsciiText(text.substr(text.size() - end.size()), end);
}

bool HasExtension(std::string_view path, std::string_view extension) {
    const std::size_t separator = path.find_last_of("/\\");
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || (separator != std::string_view::npos && dot < separator)) {
        return false;
    }
    return SameAsciiText(path.substr(dot), extension);
}

Message QuestionBox(std::string_view caption, std::string text, Buttons buttons) {
    Message message;
    message.caption = caption;
    message.text = std::move(text);
    message.buttons = buttons;
    message.icon = Icon::Question;
    return message;
}

StartStep Ask(Message message) {
    return {StartStep::Kind::Ask, std::move(message)};
}

StartStep Step(StartStep::Kind kind) {
    return {kind, {}};
}

}  // namespace

// ---------------------------------------------------------------------------
// The file types

std::string OutputType::extension() const {
    return std::string(OutputFormatExtension(format));
}

const std::vector<OutputType>& OutputTypes() {
    static const std::vector<OutputType> types{
        {"CSVファイル (*.csv)", OutputFormat::Csv},
        {"CSVファイル UTF-8 (*.csv)", OutputFormat::CsvUtf8},
        {"Excelブック (*.xlsx)", OutputFormat::Xlsx},
        {"JSON Lines (*.jsonl)", OutputFormat::Jsonl},
    };
    return types;
}

std::vector<std::string> OutputTypeFilters() {
    std::vector<std::string> filters;
    for (const OutputType& type : OutputTypes()) {
        filters.push_back(type.filter);
    }
    return filters;
}

const OutputType& OutputTypeAt(int index) {
    const std::vector<OutputType>& types = OutputTypes();
    return index >= 0 && static_cast<std::size_t>(index) < types.size()
               ? types[static_cast<std::size_t>(index)]
               : types.front();
}

int OutputTypeIndex(OutputFormat format) {
    const std::vector<OutputType>& types = OutputTypes();
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i].format == format) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

std::string AppendExtension(const std::string& chosen, std::string_view extension) {
    return HasExtension(chosen, extension) ? chosen : chosen + std::string(extension);
}

std::string FilterExtension(std::string_view filter) {
    // "(*.ext)": a dot and at least one character, no blank, up to ")".
    for (std::size_t open = filter.find("(*."); open != std::string_view::npos;
         open = filter.find("(*.", open + 1)) {
        const std::size_t start = open + 2;
        const std::size_t close = filter.find_first_of(") \t\r\n\f\v", start + 1);
        if (close != std::string_view::npos && filter[close] == ')' && close > start + 1) {
            return std::string(filter.substr(start, close - start));
        }
    }
    return {};
}

std::string WithTypeExtension(const std::string& name, const std::vector<std::string>& filters,
                              std::string_view chosen) {
    const std::string wanted = FilterExtension(chosen);
    if (wanted.empty()) {
        return name;
    }
    for (const std::string& filter : filters) {
        const std::string extension = FilterExtension(filter);
        if (!extension.empty() && EndsWithAscii(name, extension) &&
            name.size() > extension.size()) {
            return name.substr(0, name.size() - extension.size()) + wanted;
        }
    }
    return name;
}

// ---------------------------------------------------------------------------
// Start

// "12月9日 14:50"
std::string DateText(const ClockTime& time) {
    char minutes[8];
    std::snprintf(minutes, sizeof minutes, "%02d", time.minute);
    return std::to_string(time.month) + "月" + std::to_string(time.day) + "日 " +
           std::to_string(time.hour) + ":" + minutes;
}

std::string ResumeText(const LastRunRecord& last) {
    if (!last.courses || !last.ended) {
        return std::string(kTextResume);
    }
    const std::string when = DateText(*last.ended);
    // Every listed course has its row: the run went to its end with pages
    // that could not be read.
    if (last.coursesListed && *last.coursesListed == *last.courses && last.pagesNotRead &&
        *last.pagesNotRead > 0) {
        return FillIn(kTextResumeNotRead,
                      {when, std::to_string(*last.courses), std::to_string(*last.pagesNotRead)}) +
               std::string(kTextResumeAfter);
    }
    const std::string stopped =
        last.coursesListed && *last.coursesListed >= *last.courses
            ? FillIn(kTextResumeOf,
                     {when, std::to_string(*last.coursesListed), std::to_string(*last.courses)})
            : FillIn(kTextResumeOfUnknownTotal, {when, std::to_string(*last.courses)});
    return stopped + std::string(kTextResumeAfter);
}

Message ResumeQuestion(const LastRunRecord& last) {
    Message question = QuestionBox(kCaptionResume, ResumeText(last), Buttons::YesNoCancel);
    question.buttonTexts = {std::string(kButtonContinue), std::string(kButtonStartOver),
                            std::string(kButtonGoBack)};
    return question;
}

StartFlow::StartFlow(std::filesystem::path iniFile, std::vector<int> rows, SaveChoice offered)
    : iniFile_(std::move(iniFile)),
      rows_(std::move(rows)),
      output_(std::move(offered.path)),
      filter_(offered.filter) {}

StartStep StartFlow::Begin() {
    if (rows_.empty()) {
        Message message;
        message.caption = kCaptionError;
        message.text = kTextSelectOne;
        return {StartStep::Kind::Tell, message};
    }
    return Step(StartStep::Kind::ChooseFile);
}

// The run continues the last one (with the rules of teebasket-cli --resume)
// when the user says so and there is one to continue: asked before anything
// else. The earlier file stays until the run puts its own in place, and only
// when that loses nothing.
StartStep StartFlow::FileChosen(const std::string& path, int filter) {
    if (path.empty()) {
        return Step(StartStep::Kind::Nothing);
    }
    const OutputType& type = OutputTypeAt(filter);
    format_ = type.format;
    output_ = AppendExtension(path, type.extension());
    resume_ = false;
    if (LastRunLeftCoursesAt(iniFile_, output_, format_, rows_)) {
        asked_ = Question::Resume;
        return Ask(ResumeQuestion(LoadLastRun(iniFile_).value_or(LastRunRecord{})));
    }
    return AskToOverwrite();
}

StartStep StartFlow::Answered(Answer answer) {
    const Question asked = std::exchange(asked_, Question::None);
    switch (asked) {
        case Question::Overwrite:
            return answer == Answer::Yes ? Step(StartStep::Kind::Run)
                                         : Step(StartStep::Kind::Nothing);
        case Question::Resume:
            if (answer == Answer::Yes) {
                resume_ = true;
                return Step(StartStep::Kind::Run);
            }
            if (answer == Answer::No) {
                return AskToOverwrite();
            }
            return Step(StartStep::Kind::Nothing);  // the user went back
        case Question::None:
            break;
    }
    return Step(StartStep::Kind::Nothing);
}

// A file (or a link) at the output is asked about; a folder is for the run
// to refuse.
StartStep StartFlow::AskToOverwrite() {
    const std::filesystem::path earlier = PathFromUtf8(output_);
    std::error_code error;
    const bool somethingThere = std::filesystem::symlink_status(earlier, error).type() !=
                                std::filesystem::file_type::not_found;
    if (!somethingThere || std::filesystem::is_directory(earlier, error)) {
        return Step(StartStep::Kind::Run);
    }
    asked_ = Question::Overwrite;
    Message question = QuestionBox(
        kCaptionOverwrite, FillIn(kTextOverwrite, {PathText(earlier.filename())}), Buttons::YesNo);
    question.secondIsDefault = true;
    return Ask(std::move(question));
}

}  // namespace teebasket::flow
