#include "CliOptions.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <system_error>

#include "HarvestConfig.h"
#include "Unicommon.h"
#include "path_text.h"

namespace teebasket::cli {

namespace fs = std::filesystem;

namespace {

// getopt's rules need to know which long options take a value: "--name="
// gives such an option an empty value, and a flag takes none at all.
constexpr std::string_view kValueOptions[] = {"output",       "format",  "config",  "listing-host",
                                              "booking-host", "ca-cert", "pause-ms"};
constexpr std::string_view kFlags[] = {"help", "version", "list-prefectures", "quiet",
                                       "all",  "resume",  "no-history",       "json"};

template <std::size_t N>
bool OneOf(std::string_view name, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The short flags that may come before -o in one argument ("-qo FILE").
constexpr std::string_view kShortFlags = "hVq";

// A value in the form CLI11 reads as it is, whatever it looks like ("-",
// "--", "-x"): "--name=value", or "--name" and "" for an empty one, which
// CLI11 would otherwise read as "take the next argument".
void AddValue(std::vector<std::string>& form, const std::string& name, const std::string& value) {
    if (value.empty()) {
        form.push_back("--" + name);
        form.emplace_back();
    } else {
        form.push_back("--" + name + "=" + value);
    }
}

// The arguments as CLI11 is to read them, with getopt's rules applied
// first, or the error of one that getopt would refuse: a value option takes
// the next argument whatever it is ("-o -", "-o --"), "--name=" gives it an
// empty value, and a flag takes no "=value".
UsageProblem GetoptForm(const std::vector<std::string>& arguments, std::vector<std::string>& form) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--") {
            form.insert(form.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i),
                        arguments.end());
            break;
        }
        const bool hasNext = i + 1 < arguments.size();
        if (argument.starts_with("--")) {
            const std::size_t equals = argument.find('=');
            const std::string name =
                argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            if (equals != std::string::npos && OneOf(name, kFlags)) {
                return {"--" + name + " takes no value", "--" + name + " には値を付けません"};
            }
            if (!OneOf(name, kValueOptions)) {
                form.push_back(argument);  // a flag, or unknown: CLI11 says so
            } else if (equals != std::string::npos) {
                AddValue(form, name, argument.substr(equals + 1));
            } else if (hasNext) {
                AddValue(form, name, arguments[++i]);
            } else {
                return {argument + " needs a value", argument + " に値がありません"};
            }
            continue;
        }
        // "-o FILE", "-oFILE", "-qo FILE", "-qoFILE".
        const std::size_t o = argument.find('o');
        const bool shortOutput = argument.size() >= 2 && argument[0] == '-' &&
                                 o != std::string::npos &&
                                 argument.find_first_not_of(kShortFlags, 1) == o;
        if (!shortOutput) {
            form.push_back(argument);
            continue;
        }
        if (o > 1) {
            form.push_back(argument.substr(0, o));
        }
        if (o + 1 < argument.size()) {
            AddValue(form, "output", argument.substr(o + 1));
        } else if (hasNext) {
            AddValue(form, "output", arguments[++i]);
        } else {
            return {"-o needs a value", "-o にファイル名がありません"};
        }
    }
    return {};
}

// The option values as CLI11 stores them, before they are checked.
struct RawCommandLine {
    std::optional<std::string> format;
    std::optional<std::string> pauses;
    std::vector<std::string> compareFiles;
    std::optional<std::string> compareReport;
    bool compareHelp = false;
    bool historyJson = false;
    bool historyHelp = false;
};

// A repeated option keeps its last value, as with getopt.
CLI::Option* Last(CLI::Option* option) {
    return option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void DescribeOptions(CLI::App& app, CommandLine& line, RawCommandLine& raw) {
    app.set_help_flag();  // --help prints the program's own text, in the user's language
    app.allow_windows_style_options(false);
    app.add_flag("-h,--help", line.help);
    app.add_flag("-V,--version", line.version);
    app.add_flag("--list-prefectures", line.listPrefectures);
    app.add_flag("-q,--quiet", line.quiet);
    app.add_flag("--all", line.all);
    app.add_flag("--resume", line.resume);
    app.add_flag("--no-history", line.noHistory);
    Last(app.add_option("-o,--output", line.output));
    Last(app.add_option("--format", raw.format));
    Last(app.add_option("--config", line.config));
    Last(app.add_option("--listing-host", line.listingHost));
    Last(app.add_option("--booking-host", line.bookingHost));
    Last(app.add_option("--ca-cert", line.caCertificate));
    Last(app.add_option("--pause-ms", raw.pauses));
    app.add_option("prefectures", line.prefectures);

    CLI::App* compare = app.add_subcommand("compare");
    compare->set_help_flag();
    compare->add_flag("-h,--help", raw.compareHelp);
    compare->add_option("files", raw.compareFiles);
    Last(compare->add_option("-o,--output", raw.compareReport));
    // --config may follow the subcommand: what it does not know goes to the
    // program's own options.
    CLI::App* history = app.add_subcommand("history");
    history->set_help_flag();
    history->fallthrough();
    history->add_flag("-h,--help", raw.historyHelp);
    history->add_flag("--json", raw.historyJson);
}

// The first argument that CLI11 could not place, as an error.
UsageProblem ExtraArgumentError(const CLI::App& app) {
    std::vector<std::string> extras = app.remaining();
    for (const CLI::App* sub : app.get_subcommands()) {
        const std::vector<std::string> subExtras = sub->remaining();
        extras.insert(extras.begin(), subExtras.begin(), subExtras.end());
    }
    if (extras.empty()) {
        return {"unexpected argument", "余分な引数があります"};
    }
    const std::string& first = extras.front();
    if (first.size() > 1 && first[0] == '-') {
        const std::string option = first.substr(0, first.find('='));
        return {"unknown option " + option, "不明なオプション " + option + " です"};
    }
    return {"unexpected argument \"" + first + "\"", "余分な引数 \"" + first + "\" があります"};
}

bool AnyRunOption(const CommandLine& line) {
    return line.all || line.resume || line.noHistory || line.listPrefectures ||
           !line.prefectures.empty() || line.output || line.format || line.listingHost ||
           line.bookingHost || line.caCertificate || line.pauses;
}

// The history subcommand takes --json, and --config for the folder of the
// history; nothing of a run.
UsageProblem CheckHistory(const RawCommandLine& raw, CommandLine& line) {
    if (raw.historyHelp) {
        line.help = true;
        return {};
    }
    if (AnyRunOption(line)) {
        return {"history takes only --json and --config, no prefecture or option of a run",
                "history に指定できるのは --json と --config だけです（都道府県や取得のオプション"
                "は付けません）"};
    }
    line.history = HistoryArguments{raw.historyJson};
    return {};
}

// Checks the values that CLI11 takes as text and fills in their parsed form.
UsageProblem CheckValues(RawCommandLine& raw, CommandLine& line, bool compareGiven,
                         bool historyGiven) {
    if (raw.format) {
        line.format = ParseOutputFormat(*raw.format);
        if (!line.format) {
            return {"--format takes csv, xlsx, csv-utf8 or jsonl, not \"" + *raw.format + "\"",
                    "--format には csv、xlsx、csv-utf8、jsonl のどれかを指定します（\"" +
                        *raw.format + "\" は使えません）"};
        }
    }
    if (raw.pauses) {
        line.pauses = ParsePauses(*raw.pauses);
        if (!line.pauses) {
            return {
                "--pause-ms takes two numbers of milliseconds, LISTING,DETAIL (e.g. 1000,300), "
                "not \"" +
                    *raw.pauses + "\"",
                "--pause-ms には一覧と詳細ページの間隔をミリ秒で 2 つ指定します（例 1000,300。\"" +
                    *raw.pauses + "\" は使えません）"};
        }
    }
    if (line.output && line.output->empty()) {
        return {"--output needs a file name", "--output にファイル名がありません"};
    }
    if (line.config && line.config->empty()) {
        return {"--config needs a file name", "--config にファイル名がありません"};
    }
    if (historyGiven) {
        return CheckHistory(raw, line);
    }
    if (!compareGiven) {
        return {};
    }
    if (raw.compareHelp) {
        line.help = true;
        return {};
    }
    if (AnyRunOption(line) || line.config) {
        return {"compare takes only OLD NEW and -o REPORT, no prefecture or option of a run",
                "compare に指定できるのは OLD NEW と -o REPORT だけです（都道府県や取得のオプション"
                "は付けません）"};
    }
    if (raw.compareFiles.size() != 2) {
        return {"compare takes two files, OLD and NEW",
                "compare には比べる 2 つのファイル OLD と NEW を指定します"};
    }
    if (raw.compareReport && raw.compareReport->empty()) {
        return {"compare -o needs a file name", "compare の -o にファイル名がありません"};
    }
    line.compare = CompareArguments{raw.compareFiles[0], raw.compareFiles[1], raw.compareReport};
    return {};
}

std::optional<long long> ParseMilliseconds(std::string_view text) {
    if (text.empty() || text.size() > 10) {
        return std::nullopt;
    }
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// The extension as the window takes it: from the last dot of the file name,
// dot included; "" when there is none.
std::string_view Extension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : fileName.substr(dot);
}

// `text` on one line: an error may quote an argument that holds a line break.
std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return text;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    std::vector<std::string> form;
    UsageProblem problem = GetoptForm(arguments, form);
    RawCommandLine raw;
    CLI::App app;
    if (problem.empty()) {
        try {
            DescribeOptions(app, parsed.values, raw);
            std::reverse(form.begin(), form.end());  // CLI11 takes the arguments last first
            app.parse(form);
        } catch (const CLI::ExtrasError&) {
            problem = ExtraArgumentError(app);
        } catch (const std::exception& error) {
            // CLI11's own words, which name the option.
            const std::string what = OneLine(error.what());
            problem = {what, "コマンドラインを解釈できません（" + what + "）"};
        }
    }
    if (problem.empty()) {
        problem = CheckValues(raw, parsed.values, app.got_subcommand("compare"),
                              app.got_subcommand("history"));
    }
    if (!problem.empty()) {
        parsed.values = CommandLine{};
    }
    parsed.error = std::move(problem.english);
    parsed.errorJapanese = std::move(problem.japanese);
    return parsed;
}

std::optional<PauseArgument> ParsePauses(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return std::nullopt;
    }
    const std::optional<long long> listing =
        ParseMilliseconds(std::string_view(text).substr(0, comma));
    const std::optional<long long> detail =
        ParseMilliseconds(std::string_view(text).substr(comma + 1));
    if (!listing || !detail || *listing > kMaximumPause.count() ||
        *detail > kMaximumPause.count()) {
        return std::nullopt;
    }
    return PauseArgument{std::chrono::milliseconds(*listing), std::chrono::milliseconds(*detail)};
}

UsageProblem PauseProblem(const PauseArgument& pauses, const std::string& listingHost,
                          const std::string& bookingHost) {
    const bool polite =
        pauses.listing >= kMinimumListingPause && pauses.detail >= kMinimumDetailPause;
    if (polite || (IsLoopbackHost(listingHost) && IsLoopbackHost(bookingHost))) {
        return {};
    }
    const std::string minimum = std::to_string(kMinimumListingPause.count()) + "," +
                                std::to_string(kMinimumDetailPause.count());
    return {"pauses below " + minimum +
                " ms are only allowed for a portal on this machine (127.0.0.1, ::1, localhost)",
            minimum +
                " ミリ秒より短い間隔は、このマシン上のポータル（127.0.0.1、::1、localhost）にだけ"
                "使えます"};
}

bool IsStandardOutput(const std::optional<std::string>& output) {
    return output == "-";
}

OutputFormat FormatForOutput(const std::optional<OutputFormat>& chosen,
                             const std::optional<std::string>& output) {
    if (chosen) {
        return *chosen;
    }
    if (output && !IsStandardOutput(output)) {
        if (const std::optional<OutputFormat> format = OutputFormatOfPath(PathFromUtf8(*output))) {
            return *format;
        }
    }
    return OutputFormat::Csv;
}

fs::path OutputPathFor(const std::optional<std::string>& given, const fs::path& currentFolder,
                       OutputFormat format) {
    const std::string_view extension = OutputFormatExtension(format);
    const fs::path defaultName =
        PathFromUtf8(std::string(kDefaultOutputStem) + std::string(extension));
    const fs::path path = given ? PathFromUtf8(*given) : defaultName;
    std::error_code error;
    const fs::path absolute = path.is_absolute() ? path : currentFolder / path;
    if (!absolute.has_filename() || fs::is_directory(absolute, error)) {
        return absolute / defaultName;
    }
    const std::string fileName = PathText(absolute.filename());
    if (TextSameIgnoringCase(Extension(fileName), extension)) {
        return absolute;
    }
    return absolute.parent_path() / PathFromUtf8(fileName + std::string(extension));
}

namespace {

constexpr std::string_view kUsageEnglish = R"(Usage: teebasket-cli [OPTIONS] [PREFECTURE...]
       teebasket-cli compare OLD NEW [-o REPORT]
       teebasket-cli history [--json]
       teebasket-cli schedule add | list | remove | run ...

Collects the golf courses of the chosen prefectures into one file, by default
a CSV file in code page 932, as the Teebasket window writes it.

A PREFECTURE is its JIS X 0401 code from 1 (北海道) to 47 (沖縄県), 13 being
東京都; its name, with or without 都, 道, 府 or 県 (東京都, 東京); or its
romaji name (tokyo). --list-prefectures lists them. A region stands for its
prefectures: 北海道・東北 (hokkaido-tohoku), 関東 (kanto), 中部 (chubu), 近畿
(kinki, kansai), 中国 (chugoku), 四国 (shikoku), 九州・沖縄 (kyushu-okinawa).
Without any, the prefectures ticked in the window (golf.ini) are taken.

Options:
      --all               every prefecture
  -o, --output FILE       the output file (default: ゴルフ場一覧.csv here);
                          the format's extension is appended unless the name
                          ends in it; "-" is standard output
      --format FORMAT     csv (code page 932), xlsx, csv-utf8 or jsonl
                          (default: from FILE's extension, else csv)
      --resume            continue an interrupted run from FILE.partial, or
                          repair FILE: keep every course whose page was
                          read, request only the others; a file with
                          courses of prefectures not selected is refused
      --config FILE       the settings file (default: the window's golf.ini)
      --no-history        do not keep this run in the history of runs
      --listing-host HOST the portal's listing host (host or host:port)
      --booking-host HOST the portal's booking host (host or host:port)
      --ca-cert FILE      extra trusted certificates (PEM); "" for none
      --pause-ms L,D      pauses after a listing and a detail page in ms
                          (at least 1000,300 unless both hosts are local)
  -q, --quiet             no progress; only failures and warnings
      --list-prefectures  the 47 prefectures: code, name and romaji name
  -h, --help              this text
  -V, --version           the program's version

Commands:
  compare OLD NEW [-o REPORT]
                          compare the files of two runs and report what
                          changed (REPORT, or standard output)
  history [--json]        the runs kept in the history (the newest 24, in
                          the folder "history" beside golf.ini), newest
                          first; --json prints one JSON object per run
  schedule add | list | remove | run
                          runs on a schedule of the system's own scheduler
                          (teebasket-cli schedule --help)

Rows go to FILE.partial first, line by line; it replaces FILE when the run
ends, or when it is stopped and no FILE was there (a stop keeps an earlier
FILE and leaves FILE.partial for --resume). A run that finds nothing or
cannot reach the portal leaves FILE as it was. Progress goes to standard
error. A run that puts FILE in place also keeps its courses in the history
of runs (see history); a history that cannot be written is only a warning.

Exit codes:
   0  at least one course written       9  the portal could not be reached,
   1  nothing found                        or stopped answering
   2  stopped (Ctrl-C)                 64  bad usage or configuration, or a
   3  some pages could not be read         file --resume cannot continue
      (each is listed on stderr)       70  an unexpected error in the program
                                       73  the output or scratch file could not
                                           be written
                                       75  another run writes the same FILE
)";

constexpr std::string_view kUsageJapanese = R"(使い方: teebasket-cli [オプション] [都道府県...]
        teebasket-cli compare 旧ファイル 新ファイル [-o レポート]
        teebasket-cli history [--json]
        teebasket-cli schedule add | list | remove | run ...

選んだ都道府県のゴルフ場の情報を1つのファイルに集めます。既定の形式は
Teebasket のウィンドウと同じ CSV ファイル（コードページ932）です。

都道府県は JIS X 0401 の都道府県コード（1 = 北海道 ～ 47 = 沖縄県、
13 = 東京都）、名前（東京都、または都・道・府・県を除いた 東京）、
ローマ字（tokyo）のどれかで指定します。一覧は --list-prefectures で
表示します。地方名（北海道・東北、関東、中部、近畿、中国、四国、
九州・沖縄、またはローマ字の kanto など）で、その地方の都道府県を
まとめて指定できます。指定がなければ、ウィンドウで選んだ都道府県
（golf.ini）を取得します。

オプション:
      --all               すべての都道府県
  -o, --output FILE       出力ファイル（既定: 現在のフォルダの ゴルフ場一覧.csv）。
                          名前が形式の拡張子で終わらなければ拡張子を付けます。
                          「-」は標準出力です
      --format FORMAT     csv（コードページ932）、xlsx、csv-utf8、jsonl
                          （既定: FILE の拡張子から。ほかは csv）
      --resume            中断した実行を FILE.partial から再開するか、FILE を
                          修復します。読めたページの行は残し、残りだけを取得
                          します。選んでいない都道府県の行があるファイルは断ります
      --config FILE       設定ファイル（既定: ウィンドウの golf.ini）
      --no-history        この実行を取得履歴に残しません
      --listing-host HOST ポータルの一覧ホスト（ホスト名 または ホスト名:ポート）
      --booking-host HOST ポータルの予約ホスト（ホスト名 または ホスト名:ポート）
      --ca-cert FILE      追加で信頼する証明書（PEM）。"" で追加なし
      --pause-ms L,D      一覧ページと詳細ページの後の待ち時間（ミリ秒）。
                          両方のホストがこのマシンでなければ 1000,300 以上
  -q, --quiet             進捗を表示しません（失敗と警告だけを表示）
      --list-prefectures  47 都道府県のコード・名前・ローマ字の一覧
  -h, --help              この説明
  -V, --version           バージョン

コマンド:
  compare 旧ファイル 新ファイル [-o レポート]
                          2回の実行のファイルを比べ、変わった点を報告します
                          （レポート のファイル、または標準出力へ）
  history [--json]        取得履歴に残した取得（golf.ini と同じフォルダの
                          history に最新の24回）を新しい順に表示します。
                          --json では1回ごとに1つの JSON オブジェクトを
                          表示します
  schedule add | list | remove | run
                          OS のスケジューラによる定期取得
                          （teebasket-cli schedule --help）

行はまず FILE.partial に1行ずつ書き込み、実行が終わったとき、または中断
されて FILE がなかったときに FILE と置き換えます（中断したときは既存の
FILE を残し、--resume のために FILE.partial を残します）。何も見つから
なかったとき、ポータルに接続できなかったときは FILE をそのまま残します。
進捗は標準エラーに表示します。FILE を置いた実行は、その内容を取得履歴
にも残します（history を参照）。履歴に書き込めないときは警告だけです。

終了コード:
   0  1件以上を書き込んだ             9  ポータルに接続できなかった、
   1  該当なし                           または応答がなくなった
   2  中断した（Ctrl-C）             64  使い方か設定の誤り、または --resume
   3  読めなかったページがある            で続けられないファイル
      （標準エラーに一覧）           70  プログラム内部の予期しないエラー
                                     73  出力ファイルか作業ファイルに書き込め
                                         なかった
                                     75  同じ FILE に別の実行が書き込み中
)";

}  // namespace

std::string UsageText(Language language) {
    return std::string(Pick(language, kUsageJapanese, kUsageEnglish));
}

}  // namespace teebasket::cli
