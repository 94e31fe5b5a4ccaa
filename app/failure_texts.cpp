// The window's Japanese words for what went wrong in a run.
#include <QStringList>

#include "CuttingRules.h"
#include "MECSUtils.h"
#include "ProfileFile.h"
#include "RunWording.h"
#include "SystemText.h"
#include "path_text.h"
#include "window_internal.h"

namespace teebasket::window {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromStdString(text);
}

// Text from a page (code-page-932 bytes), with control characters escaped.
QString FromPage(const std::string& ansi) {
    return Utf8(PrintableText(AnsiToUTF8(ansi)));
}

QString FromAscii(const std::string& text) {
    return Utf8(PrintableText(text));
}

// What a page that could not be read was: the course by name (else its
// identifier), or the prefecture's listing.
QString PageSubject(const PageFailure& failure) {
    if (failure.kind == PageKind::Listing) {
        return FromPage(failure.subject) + QStringLiteral("の一覧");
    }
    if (!failure.courseName.empty()) {
        return FromPage(failure.courseName);
    }
    return QStringLiteral("コースID ") + FromPage(failure.subject);
}

QString Quoted(const std::filesystem::path& path) {
    return QStringLiteral("「") + FromPath(path) + QStringLiteral("」");
}

QString SystemReason(const RunFailure& failure) {
    return failure.error ? Utf8(JapaneseErrorText(failure.error)) : QString();
}

// "「PATH」: 理由" or the path alone. Without the system's error, the reason
// is the detail (the workbook library's words).
QString AtPath(const RunFailure& failure) {
    QString reason = SystemReason(failure);
    if (reason.isEmpty()) {
        reason = FromAscii(failure.detail);
    }
    return Quoted(failure.path) + (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

// What the run could not do to its files, in the window's Japanese.
QString Headline(RunFailureKind kind, OutputFormat format) {
    return Utf8(FailureHeadline(kind, format, Language::Japanese));
}

// "「PATH」、「TARGET」へのリンク" when the output is a link.
QString OutputAndLinkTarget(const RunFailure& failure) {
    QString text = Quoted(failure.path);
    if (!failure.detail.empty()) {
        text += QStringLiteral("（「") + FromPath(PathFromUtf8(failure.detail)) +
                QStringLiteral("」へのリンク）");
    }
    const QString reason = SystemReason(failure);
    return reason.isEmpty() ? text : text + QStringLiteral(": ") + reason;
}

// What follows the headline: the path and its reason, the link's target, or
// the detail.
QString FailureSubject(const RunFailure& failure) {
    switch (failure.kind) {
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::Unexpected:
            return Utf8(failure.detail);
        case RunFailureKind::OutputNotARegularFile:
            return OutputAndLinkTarget(failure);
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::EarlierFileUnreadable:
            return AtPath(failure);
        case RunFailureKind::None:
        case RunFailureKind::NoScratchLocation:
        case RunFailureKind::OutputInUse:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::NoSpace:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
            break;
    }
    return Quoted(failure.path);
}

}  // namespace

QString RunFailureText(const RunFailure& failure, OutputFormat format) {
    switch (failure.kind) {
        case RunFailureKind::None:
            return {};
        case RunFailureKind::NoScratchLocation:
            return Headline(failure.kind, format) + QStringLiteral("。");
        case RunFailureKind::NoSpace:
            // The window says the reason itself rather than the file it kept
            // from being written.
            return QStringLiteral("空き容量がありません: ") + Quoted(failure.path);
        case RunFailureKind::InvalidPortalSetting:
        case RunFailureKind::OutputInUse:
        case RunFailureKind::NotARegularFile:
        case RunFailureKind::OutputNotARegularFile:
        case RunFailureKind::OutputLinkNotFollowed:
        case RunFailureKind::OutputReadOnly:
        case RunFailureKind::OutputNotCreated:
        case RunFailureKind::OutputNotWritten:
        case RunFailureKind::OutputNotPutInPlace:
        case RunFailureKind::ScratchFile:
        case RunFailureKind::EarlierFileUnreadable:
        case RunFailureKind::EarlierFileTooLarge:
        case RunFailureKind::EarlierFileForeign:
        case RunFailureKind::EarlierFileOtherPortal:
        case RunFailureKind::EarlierFileOtherSelection:
        case RunFailureKind::Unexpected:
            break;
    }
    return Headline(failure.kind, format) + QStringLiteral(": ") + FailureSubject(failure);
}

QString CoursesOutsideText(const CoursesOutside& outside, const std::filesystem::path& earlier) {
    QStringList counts;
    int placed = 0;
    for (const PrefectureCourses& prefecture : outside.byPrefecture) {
        counts << QStringLiteral("%1 %2 件")
                      .arg(Utf8(std::string(PrefectureTable.at(prefecture.row).displayName)))
                      .arg(prefecture.courses);
        placed += prefecture.courses;
    }
    if (outside.courses > placed) {
        counts << QStringLiteral("今回の一覧にないもの %1 件").arg(outside.courses - placed);
    }
    QString list = counts.join(QStringLiteral("、"));
    if (!outside.unplaced.empty()) {
        list += QStringLiteral("。ほかに住所がなく確かめていない行 %1 件")
                    .arg(static_cast<qulonglong>(outside.unplaced.size()));
    }
    return QStringLiteral(
               "前回のファイル%1には、選んだ都道府県以外のゴルフ場が %2 件あります（%3）。"
               "続きから取得するとこれらの行が失われるため、取得を開始しませんでした。"
               "ファイルは変更していません。\n"
               "これらの都道府県も選ぶか、別のファイルに保存してください。")
        .arg(Quoted(earlier))
        .arg(outside.courses)
        .arg(list);
}

QString FetchErrorText(FetchError error) {
    return Utf8(std::string(FetchErrorWords(error, Language::Japanese)));
}

QString PageFailureText(const PageFailure& failure) {
    const QString problem = Utf8(PageProblemWords(failure, Language::Japanese));
    QStringList notes;
    if (failure.attempts > 1) {
        notes << Utf8(AttemptsWords(failure.attempts, Language::Japanese));
    }
    if (failure.keptEarlierRow) {
        notes << Utf8(std::string(KeptEarlierRowWords(Language::Japanese)));
    }
    if (notes.isEmpty()) {
        return problem;
    }
    return problem + QStringLiteral("（") + notes.join(QStringLiteral("、")) + QStringLiteral("）");
}

QString ConnectionFailureText(const PageFailure& failure) {
    const std::string host = HostOfUrl(failure.url);
    if (host.empty()) {
        return PageFailureText(failure);
    }
    return PortalHostLabel(failure.kind) + QStringLiteral("（") + FromAscii(host) +
           QStringLiteral("）: ") + PageFailureText(failure);
}

QString SettingsNotSavedText(const SettingsWriteFailure& failure) {
    if (!failure.error) {
        return kTextSettingsNotSaved.arg(Utf8(failure.reason));
    }
    return kTextSettingsNotSaved.arg(Quoted(failure.file) + QStringLiteral(": ") +
                                     Utf8(JapaneseErrorText(failure.error)));
}

QString PagesNotReadText(const std::vector<PageFailure>& failures) {
    QStringList entries;
    for (const PageFailure& failure : failures) {
        entries << QStringLiteral("%1: %2\n  %3")
                       .arg(PageSubject(failure), PageFailureText(failure), FromAscii(failure.url));
    }
    return entries.join(u'\n');
}

QString PortalHostLabel(PageKind kind) {
    return Utf8(std::string(PortalHostWords(kind, Language::Japanese)));
}

QString PortalHostText(PageKind kind, const QString& host) {
    if (host.isEmpty()) {
        return QStringLiteral("%1が指定されていません。").arg(PortalHostLabel(kind));
    }
    return QStringLiteral(
               "%1に指定した「%2」は接続先として使えません。ホスト名、または ホスト名:ポート番号"
               "（1～65535）で指定してください（https:// で始まるアドレスはホスト名とポート番号"
               "だけを使います）。")
        .arg(PortalHostLabel(kind), Utf8(PrintableText(host.toStdString())));
}

QString PortalSettingsText(const PortalSettings& portal) {
    for (const auto& [kind, host] : {std::pair{PageKind::Listing, &portal.listingHost},
                                     std::pair{PageKind::Detail, &portal.bookingHost}}) {
        if (!PortalHostProblem(*host).empty()) {
            return PortalHostText(kind, QString::fromStdString(*host));
        }
    }
    return {};
}

namespace {

QString HostOf(const TConnectionProbe& probe) {
    return FromAscii(HostOfUrl(probe.url));
}

// "一覧のホスト（HOST）に接続できませんでした: REASON", or, when the host
// answered with an error status, that the page could not be read.
QString ProbeFailureText(PageKind kind, const TConnectionProbe& probe) {
    const QString host =
        PortalHostLabel(kind) + QStringLiteral("（") + HostOf(probe) + QStringLiteral("）");
    if (!probe.fetch.Stored()) {
        return host + QStringLiteral("に接続できませんでした: ") +
               FetchErrorText(probe.fetch.error);
    }
    const QString page =
        kind == PageKind::Listing ? QStringLiteral("一覧のページ") : QStringLiteral("詳細ページ");
    return host + QStringLiteral("に接続できましたが、%1を読めませんでした: ").arg(page) +
           Utf8(HttpStatusWords(probe.fetch.httpStatus, Language::Japanese));
}

QString Address(const TConnectionProbe& probe) {
    return QStringLiteral("\n") + FromAscii(probe.url);
}

}  // namespace

QString ConnectionTestText(const TConnectionTest& test, const QString& prefecture) {
    if (!test.hostProblem.empty()) {
        return Headline(RunFailureKind::InvalidPortalSetting, OutputFormat::Csv) +
               QStringLiteral("。");
    }
    if (!test.listing.Read()) {
        return ProbeFailureText(PageKind::Listing, test.listing) + Address(test.listing);
    }
    if (test.courses == 0 || !test.detail) {
        return QStringLiteral(
                   "接続できましたが、%1の一覧の1ページ目にゴルフ場が見つかりません"
                   "でした。\n詳細ページのホストは確かめていません。")
                   .arg(prefecture) +
               Address(test.listing);
    }
    const QString listed = QStringLiteral("%1の一覧の1ページ目に %2 件のゴルフ場があります。")
                               .arg(prefecture)
                               .arg(test.courses);
    if (!test.detail->Read()) {
        return QStringLiteral("一覧のホストには接続できました。") + listed + QStringLiteral("\n") +
               ProbeFailureText(PageKind::Detail, *test.detail) + Address(*test.detail);
    }
    return QStringLiteral("接続できました。") + listed +
           QStringLiteral("\n1件目の詳細ページも読めました。") + Address(test.listing) +
           Address(*test.detail);
}

}  // namespace teebasket::window
