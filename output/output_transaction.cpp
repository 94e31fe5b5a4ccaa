#include "OutputTransaction.h"

#include <cerrno>
#include <system_error>

#include "CourseRecord.h"
#include "OutputReader.h"
#include "Workbook.h"
#include "output_target.h"
#include "path_text.h"
#include "whole_file.h"

namespace teebasket::detail {

namespace fs = std::filesystem;

fs::path WithSuffix(fs::path path, const char* suffix) {
    path += suffix;
    return path;
}

// A symbolic link as output stays a link: the regular file it ends at is the
// file written. An output that is refused stays as named.
fs::path FollowLink(const fs::path& output) {
    return LookAtOutput(output).file;
}

namespace {

// Why `target`, the output the user named as `named`, is not written; none
// when it may be.
RunFailure Refusal(const OutputTarget& target, const fs::path& named) {
    RunFailure failure;
    switch (target.status) {
        case OutputTarget::Status::Nothing:
        case OutputTarget::Status::RegularFile:
            return failure;
        case OutputTarget::Status::NotRegular:
        case OutputTarget::Status::BrokenLink:
            failure = FileFailure(RunFailureKind::OutputNotARegularFile, named, target.error);
            if (target.at != named) {
                failure.detail = PathText(target.at);
            }
            return failure;
        case OutputTarget::Status::UntrustedLink:
            return FileFailure(RunFailureKind::OutputLinkNotFollowed, target.at);
        case OutputTarget::Status::ReadOnly:
            return FileFailure(RunFailureKind::OutputReadOnly, target.at);
    }
    return failure;
}

std::error_code Errno(int error) {
    return std::error_code(error, std::generic_category());
}

// What stands at `path`, a link not followed.
fs::file_type TypeAt(const fs::path& path) {
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type();
}

bool NothingAt(const fs::path& path) {
    return TypeAt(path) == fs::file_type::not_found;
}

// The output file's permissions go to the file that replaces it.
void TakePermissions(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::file_status status = fs::status(from, error);
    if (!error && fs::is_regular_file(status)) {
        fs::permissions(to, status.permissions(), error);
    }
}

RunFailure PutInPlace(const fs::path& from, const fs::path& to) {
    TakePermissions(to, from);
    if (const std::error_code error = MoveFileInPlace(from, to)) {
        RunFailure failure = FileFailure(RunFailureKind::OutputNotPutInPlace, to, error);
        failure.detail = PathText(from);
        return failure;
    }
    return {};
}

// Writes `bytes` as the new file `path`, on the disk when this returns.
RunFailure WriteNewFile(const fs::path& path, std::string_view bytes) {
    JournalFile file;
    if (const int error = file.Open(path, {OutputOpening::CreateNew, true}); error != 0) {
        return FileFailure(
            error == EEXIST ? RunFailureKind::NotARegularFile : RunFailureKind::OutputNotCreated,
            path, Errno(error));
    }
    int error = file.WriteWhole(bytes);
    const int closeError = file.Close();
    error = error != 0 ? error : closeError;
    if (error != 0) {
        std::error_code ignored;
        fs::remove(path, ignored);
        return FileFailure(RunFailureKind::OutputNotWritten, path, Errno(error));
    }
    return {};
}

}  // namespace

}  // namespace teebasket::detail

namespace teebasket {

std::filesystem::path PartialPathOf(const std::filesystem::path& output) {
    return detail::WithSuffix(detail::FollowLink(output), ".partial");
}

std::filesystem::path LockPathOf(const std::filesystem::path& output) {
    return detail::WithSuffix(detail::FollowLink(output), ".lock");
}

}  // namespace teebasket

namespace teebasket::detail {

FileOutcome ChooseFileOutcome(const FileOutcomeFacts& facts) {
    if (facts.toStandardOutput) {
        return FileOutcome::StandardOutput;
    }
    const bool resumed = facts.resumedFrom != ResumedFrom::Nothing;
    if (facts.ending == RunEnding::Failed) {
        // What was written stays for a run that continues it; a new run's
        // file without a course line is worth nothing.
        return resumed || facts.rowsWritten > 0 ? FileOutcome::PartialKept
                                                : FileOutcome::LeftAsBefore;
    }
    if (facts.rowsWritten + facts.coursesKept == 0) {
        const bool headerFile = facts.headerFileWhenEmpty && !facts.earlierFile && !resumed;
        return headerFile ? FileOutcome::HeaderOnlyFile : FileOutcome::LeftAsBefore;
    }
    const FileOutcome inPlace =
        resumed ? FileOutcome::ResumedFileInPlace : FileOutcome::NewFileInPlace;
    if (facts.ending == RunEnding::Finished) {
        return inPlace;
    }
    // Stopped, or the portal stopped answering: the rows so far take the
    // output's place only when that loses nothing, that is when there was no
    // file, or when the run continued that very file (its lines are all in
    // the partial file).
    const bool continuedTheOutput = facts.resumedFrom == ResumedFrom::OutputFile;
    return !facts.earlierFile || continuedTheOutput ? inPlace : FileOutcome::PartialKept;
}

OutputTransaction::OutputTransaction(const OutputRequest& request, CoursePages pages)
    : request_(request),
      pages_(std::move(pages)),
      codec_(JournalCodecFor(request.format)),
      output_(FollowLink(request.path)),
      partial_(WithSuffix(output_, ".partial")),
      composed_(WithSuffix(output_, ".partial.new")) {}

RunFailure OutputTransaction::Begin(OutputFileReport& report) {
    report.outputFormat = request_.format;
    if (request_.toStandardOutput) {
        return BeginStandardOutput();
    }
    report.outputPath = request_.path;
    // Looked at again: the path may have changed since the run was made.
    const OutputTarget target = LookAtOutput(request_.path);
    if (RunFailure refusal = Refusal(target, request_.path)) {
        return refusal;
    }
    output_ = target.file;
    partial_ = WithSuffix(output_, ".partial");
    composed_ = WithSuffix(output_, ".partial.new");
    report.outputPath = output_;
    report.partialPath = partial_;
    earlierExisted_ = target.status == OutputTarget::Status::RegularFile;
    // Beside the file itself, so that two runs through two links to one file
    // exclude each other.
    lock_.emplace(WithSuffix(output_, ".lock"));
    switch (lock_->state()) {
        case FileLock::State::Held:
            break;
        case FileLock::State::HeldElsewhere:
            return FileFailure(RunFailureKind::OutputInUse, output_);
        case FileLock::State::NotAFile:
            return FileFailure(RunFailureKind::NotARegularFile, lock_->path());
        case FileLock::State::Failed:
            return FileFailure(RunFailureKind::OutputNotCreated, output_,
                               Errno(lock_->systemError()));
    }
    if (RunFailure failure = CheckSideFiles()) {
        return failure;
    }
    if (request_.format == OutputFormat::Xlsx) {
        RemoveAbandonedWorkbookFolders(output_);
    }
    if (request_.resume) {
        if (RunFailure failure = StartResume(report)) {
            return failure;
        }
        if (report.resume.resumed) {
            TakeEarlierRows(report);
            return {};
        }
        report.nothingToResume = true;
    }
    if (RunFailure failure = StartAfresh(report)) {
        return failure;
    }
    TakeEarlierRows(report);
    return {};
}

// The rows a course takes again when its page cannot be read this time: the
// output file's (of any format; one that cannot be read gives none), then
// those of the partial file a resume continues, which are newer.
void OutputTransaction::TakeEarlierRows(const OutputFileReport& report) {
    const bool resumed = report.resume.resumed;
    if (earlierExisted_ && !(resumed && !report.resume.fromPartial)) {
        std::vector<CourseEntry> entries;
        std::string unreadable;
        if (ReadOutputFile(output_, entries, unreadable)) {
            for (CourseEntry& entry : entries) {
                earlierRows_.Add(std::move(entry));
            }
        }
    }
    if (resumed) {
        for (const EarlierLine& line : earlier_.lines) {
            CourseEntry entry;
            if (codec_.Read(line.bytes, entry)) {
                earlierRows_.Add(std::move(entry));
            }
        }
    }
}

RunFailure OutputTransaction::BeginStandardOutput() {
    if (const int error = journal_.OpenStandardOutput(); error != 0) {
        return FileFailure(RunFailureKind::OutputNotCreated, {}, Errno(error));
    }
    if (const int error = journal_.WriteWhole(codec_.Preamble()); error != 0) {
        return FileFailure(RunFailureKind::OutputNotWritten, {}, Errno(error));
    }
    return {};
}

int OutputTransaction::WriteCourse(const CourseEntry& entry) {
    return journal_.WriteLine(codec_.Line(entry), codec_.LineEnd());
}

// The bytes of a file of the partial file's format with `lines`.
std::string OutputTransaction::FileBytes(const std::vector<std::string>& lines) const {
    const std::string_view lineEnd = codec_.LineEnd();
    std::string bytes = codec_.Preamble();
    for (const std::string& line : lines) {
        bytes += line;
        bytes += lineEnd;
    }
    return bytes;
}

// A finished file that an earlier resumed run was killed before it could put
// in place goes (its partial file still holds every line). Anything but a
// regular file at either name is left alone, and the run does not start.
RunFailure OutputTransaction::CheckSideFiles() {
    for (const fs::path& path : {composed_, partial_}) {
        const fs::file_type type = TypeAt(path);
        if (type != fs::file_type::not_found && type != fs::file_type::regular) {
            return FileFailure(RunFailureKind::NotARegularFile, path);
        }
    }
    std::error_code ignored;
    fs::remove(composed_, ignored);
    return {};
}

RunFailure OutputTransaction::StartResume(OutputFileReport& report) {
    ResumeStart& start = report.resume;
    start.fromPartial = !NothingAt(partial_);
    if (!start.fromPartial && !earlierExisted_) {
        return {};
    }
    start.earlierPath = start.fromPartial ? partial_ : output_;
    // The partial file is the program's own: a link there is never followed.
    if (RunFailure failure = start.fromPartial
                                 ? ReadEarlierFile(partial_, earlier_, LinkRule::NoFollow, codec_)
                                 : ReadEarlierOutput(output_, earlier_, request_.format)) {
        return failure;
    }
    if (!earlier_.lines.empty() && !NamesCoursesOn(earlier_, pages_.detailUrlPrefix)) {
        RunFailure failure = FileFailure(RunFailureKind::EarlierFileOtherPortal, start.earlierPath);
        failure.detail = pages_.bookingHost;
        return failure;
    }
    if (RunFailure failure = CheckEarlierSelection(report)) {
        return failure;
    }
    if (start.fromPartial) {
        partialSizeBefore_ = earlier_.size;
        if (RunFailure failure = OpenJournal(OutputOpening::AppendExisting)) {
            return failure;
        }
        // A torn last line gets its line end, so that it stays a torn line of
        // its own instead of running into the next course's.
        if (!earlier_.endsWithLineEnd) {
            if (const int error = journal_.WriteWhole(codec_.LineEnd()); error != 0) {
                LeaveAsBefore();
                return FileFailure(RunFailureKind::OutputNotWritten, partial_, Errno(error));
            }
        }
    } else {
        std::vector<std::string> lines;
        lines.reserve(earlier_.lines.size());
        for (const EarlierLine& line : earlier_.lines) {
            lines.push_back(line.bytes);
        }
        if (RunFailure failure = WriteNewFile(partial_, FileBytes(lines))) {
            return failure;
        }
        if (RunFailure failure = OpenJournal(OutputOpening::AppendExisting)) {
            LeaveAsBefore();
            return failure;
        }
    }
    plan_.emplace(earlier_);
    start.resumed = true;
    start.earlierCourses = static_cast<int>(earlier_.lines.size());
    start.keepable = KeepableLines(earlier_);
    return {};
}

void OutputTransaction::RefuseCoursesOutside(std::vector<int> selectedRows, ListingLookup lookup) {
    selectedRows_ = std::move(selectedRows);
    listingLookup_ = std::move(lookup);
}

// The earlier file's courses against the selection, before anything is
// touched: finishing the run would drop those outside it. The rows decide
// where they say their prefecture; the listing pages are read for the others
// only when no row has already decided it.
RunFailure OutputTransaction::CheckEarlierSelection(OutputFileReport& report) {
    if (!selectedRows_) {
        return {};
    }
    std::vector<CourseEntry> entries;
    entries.reserve(earlier_.lines.size());
    for (const EarlierLine& line : earlier_.lines) {
        if (CourseEntry entry; codec_.Read(line.bytes, entry)) {
            entries.push_back(std::move(entry));
        }
    }
    CoursesOutside outside = FindCoursesOutside(entries, *selectedRows_, nullptr);
    if (outside.courses == 0 && !outside.unplaced.empty() && listingLookup_) {
        if (const std::optional<std::unordered_set<std::string>> listed =
                listingLookup_(outside.unplaced)) {
            outside = FindCoursesOutside(entries, *selectedRows_, &*listed);
        }
    }
    if (outside.courses == 0) {
        return {};
    }
    report.resume.outside = std::move(outside);
    return FileFailure(RunFailureKind::EarlierFileOtherSelection, report.resume.earlierPath);
}

RunFailure OutputTransaction::StartAfresh(OutputFileReport& report) {
    if (!NothingAt(partial_)) {
        std::error_code error;
        fs::remove(partial_, error);
        if (error) {
            return FileFailure(RunFailureKind::OutputNotCreated, partial_, error);
        }
        report.partialReplaced = true;
    }
    if (RunFailure failure = OpenJournal(OutputOpening::CreateNew)) {
        return failure;
    }
    if (const int error = journal_.WriteWhole(codec_.Preamble()); error != 0) {
        LeaveAsBefore();
        return FileFailure(RunFailureKind::OutputNotWritten, partial_, Errno(error));
    }
    return {};
}

RunFailure OutputTransaction::OpenJournal(OutputOpening opening) {
    const int error = journal_.Open(partial_, {opening, request_.syncEachLine});
    if (error == 0) {
        return {};
    }
    // Something took the name between the check and the open.
    const bool notAFile = error == EEXIST || error == ELOOP || error == EINVAL;
    return FileFailure(
        notAFile ? RunFailureKind::NotARegularFile : RunFailureKind::OutputNotCreated, partial_,
        Errno(error));
}

RunFailure OutputTransaction::Finish(const RunEndFacts& end, OutputFileReport& report) {
    RunEndFacts facts = end;
    RunFailure failure;
    if (const int error = journal_.Close(); error != 0) {
        failure = FileFailure(RunFailureKind::OutputNotWritten, partial_, Errno(error));
        facts.ending = RunEnding::Failed;
    }
    report.files = ChooseFileOutcome(OutcomeFacts(facts, report));
    RunFailure placing;
    switch (report.files) {
        case FileOutcome::NewFileInPlace:
        case FileOutcome::HeaderOnlyFile:
            placing = OutputStillWritable();
            if (!placing) {
                placing = PutPartialFileInPlace(facts, report);
            }
            break;
        case FileOutcome::ResumedFileInPlace:
            placing = OutputStillWritable();
            if (!placing) {
                placing = Compose(facts, report);
            }
            break;
        case FileOutcome::LeftAsBefore:
            LeaveAsBefore();
            break;
        case FileOutcome::PartialKept:
        case FileOutcome::NotTouched:
        case FileOutcome::StandardOutput:
            break;
    }
    if (placing) {
        // The file was not put in place: the partial file holds what the run wrote.
        report.files = FileOutcome::PartialKept;
        if (!failure) {
            failure = std::move(placing);
        }
    }
    return failure;
}

// What stands at the output may have changed during the run: the file is
// put in place only over a regular file or nothing, as at the start.
RunFailure OutputTransaction::OutputStillWritable() const {
    return Refusal(LookAtOutput(output_), output_);
}

FileOutcomeFacts OutputTransaction::OutcomeFacts(const RunEndFacts& end,
                                                 const OutputFileReport& report) const {
    ResumedFrom resumedFrom = ResumedFrom::Nothing;
    if (plan_) {
        resumedFrom =
            report.resume.fromPartial ? ResumedFrom::PartialFile : ResumedFrom::OutputFile;
    }
    return {.ending = end.ending,
            .earlierFile = earlierExisted_,
            .rowsWritten = end.rowsWritten,
            .coursesKept = end.coursesKept,
            .resumedFrom = resumedFrom,
            .toStandardOutput = request_.toStandardOutput,
            .headerFileWhenEmpty = request_.headerFileWhenEmpty};
}

// The partial file's lines take the output's place: the partial file itself
// with one rename, or the workbook written from it.
RunFailure OutputTransaction::PutPartialFileInPlace(const RunEndFacts& end,
                                                    OutputFileReport& report) {
    if (request_.format == OutputFormat::Xlsx) {
        EarlierFile journal;
        if (RunFailure failure = ReadEarlierFile(partial_, journal, LinkRule::NoFollow, codec_)) {
            return failure;
        }
        std::vector<std::string> lines;
        lines.reserve(journal.lines.size());
        for (EarlierLine& line : journal.lines) {
            lines.push_back(std::move(line.bytes));
        }
        if (RunFailure failure = PutWorkbookInPlace(lines)) {
            return failure;
        }
    } else if (RunFailure failure = PutInPlace(partial_, output_)) {
        return failure;
    }
    report.linesInFile = end.rowsWritten;
    return {};
}

// The workbook of `lines` (the partial file's) in the output's place; the
// partial file goes.
RunFailure OutputTransaction::PutWorkbookInPlace(const std::vector<std::string>& lines) {
    WrittenWorkbook written;
    std::string error;
    if (!WriteWorkbook(output_, EntriesOf(lines, codec_), written, error)) {
        RunFailure failure = FileFailure(RunFailureKind::OutputNotWritten, output_);
        failure.detail = error;
        return failure;
    }
    TakePermissions(output_, written.file);
    if (const std::error_code moved = teebasket::PutWorkbookInPlace(written, output_)) {
        return FileFailure(RunFailureKind::OutputNotPutInPlace, output_, moved);
    }
    std::error_code ignored;
    fs::remove(partial_, ignored);
    return {};
}

RunFailure OutputTransaction::Compose(const RunEndFacts& end, OutputFileReport& report) {
    EarlierFile journal;
    if (RunFailure failure = ReadEarlierFile(partial_, journal, LinkRule::NoFollow, codec_)) {
        return failure;
    }
    const std::vector<std::string> lines = plan_->FinishedLines(journal, !end.everyListingRead);
    report.linesInFile = static_cast<int>(lines.size());
    if (request_.format == OutputFormat::Xlsx) {
        return PutWorkbookInPlace(lines);
    }
    if (RunFailure failure = WriteNewFile(composed_, FileBytes(lines))) {
        return failure;
    }
    if (RunFailure failure = PutInPlace(composed_, output_)) {
        std::error_code ignored;
        fs::remove(composed_, ignored);
        return failure;
    }
    std::error_code ignored;
    fs::remove(partial_, ignored);
    return {};
}

// The partial file cut back to its length before a resumed run added to it,
// or removed when the run made it.
void OutputTransaction::LeaveAsBefore() {
    journal_.Close();
    std::error_code ignored;
    if (TypeAt(partial_) != fs::file_type::regular) {
        return;
    }
    if (partialSizeBefore_) {
        fs::resize_file(partial_, *partialSizeBefore_, ignored);
    } else {
        fs::remove(partial_, ignored);
    }
}

}  // namespace teebasket::detail
