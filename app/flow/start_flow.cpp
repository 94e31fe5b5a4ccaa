// Start: the file types of the save dialog, the extension rule of the chosen
// name, and the questions asked before a run begins.
#include <algorithm>
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

Message ResumeQuestion() {
    return QuestionBox(kCaptionResume, std::string(kTextResume), Buttons::YesNoCancel);
}

StartFlow::StartFlow(std::filesystem::path iniFile, std::vector<int> rows)
    : iniFile_(std::move(iniFile)), rows_(std::move(rows)) {}

StartStep StartFlow::Begin() {
    if (rows_.empty()) {
        Message message;
        message.caption = kCaptionError;
        message.text = kTextSelectOne;
        return {StartStep::Kind::Tell, message};
    }
    return Step(StartStep::Kind::ChooseFile);
}

// The dialog asked about the name as chosen; a file under the name with the
// extension added is asked about here. The earlier file stays until the run
// puts its own in place, and only when that loses nothing.
StartStep StartFlow::FileChosen(const std::string& path, int filter) {
    if (path.empty()) {
        return Step(StartStep::Kind::Nothing);
    }
    const OutputType& type = OutputTypeAt(filter);
    format_ = type.format;
    output_ = AppendExtension(path, type.extension());
    const std::filesystem::path earlier = PathFromUtf8(output_);
    std::error_code error;
    const bool somethingThere = std::filesystem::symlink_status(earlier, error).type() !=
                                std::filesystem::file_type::not_found;
    if (output_ == path || std::filesystem::is_directory(earlier, error) || !somethingThere) {
        return AskToResume();
    }
    asked_ = Question::Overwrite;
    Message question = QuestionBox(
        kCaptionOverwrite, FillIn(kTextOverwrite, {PathText(earlier.filename())}), Buttons::YesNo);
    question.secondIsDefault = true;
    return Ask(std::move(question));
}

StartStep StartFlow::Answered(Answer answer) {
    const Question asked = std::exchange(asked_, Question::None);
    switch (asked) {
        case Question::Overwrite:
            return answer == Answer::Yes ? AskToResume() : Step(StartStep::Kind::Nothing);
        case Question::Resume:
            if (answer == Answer::Yes || answer == Answer::No) {
                resume_ = answer == Answer::Yes;
                return Step(StartStep::Kind::Run);
            }
            return Step(StartStep::Kind::Nothing);  // the user went back
        case Question::None:
            break;
    }
    return Step(StartStep::Kind::Nothing);
}

// The run continues the last one (with the rules of teebasket-cli --resume)
// when the user says so and there is one to continue.
StartStep StartFlow::AskToResume() {
    if (!LastRunLeftCoursesAt(iniFile_, output_, format_, rows_)) {
        resume_ = false;
        return Step(StartStep::Kind::Run);
    }
    asked_ = Question::Resume;
    return Ask(ResumeQuestion());
}

}  // namespace teebasket::flow
