// The dialog "接続先の設定": the [Portal] keys of golf.ini and a connection
// test on a thread of its own.
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "ProfileFile.h"
#include "SystemText.h"
#include "window_internal.h"

namespace teebasket {

using namespace window;

namespace {

constexpr const char* kPortalSection = "Portal";
constexpr int kFieldWidth = 320;

QString Typed(const QLineEdit* edit) {
    return edit->text().trimmed();
}

std::string TypedUtf8(const QLineEdit* edit) {
    return Typed(edit).toStdString();
}

// A host field's value: a pasted https address stands for its host.
std::string TypedHost(const QLineEdit* edit) {
    return HostOfPastedAddress(Typed(edit)).toStdString();
}

// Shows a pasted address in a host field as the host it stands for, once the
// field is left.
void TakeHostOfPastedAddress(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit] {
        if (const QString host = HostOfPastedAddress(edit->text()); host != edit->text()) {
            edit->setText(host);
        }
    });
}

QString ChooseCertificateFile(QWidget* parent, const QString& start) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("信頼する証明書のファイル"), start,
        QStringLiteral("証明書 (*.pem *.crt *.cer);;すべてのファイル (*)"));
}

void ShowProblem(QLabel* label, const QString& text) {
    label->setText(text);
    label->setVisible(!text.isEmpty());
}

}  // namespace

TPortalSettingsDialog::TPortalSettingsDialog(std::filesystem::path iniFile, PortalSettings defaults,
                                             int row, std::filesystem::path scratchPath,
                                             FetchOptions fetchOptions, QWidget* parent)
    : QDialog(parent),
      iniFile_(std::move(iniFile)),
      defaults_(std::move(defaults)),
      row_(row),
      scratchPath_(std::move(scratchPath)),
      fetchOptions_(std::move(fetchOptions)) {
    setObjectName(QStringLiteral("dlgPortalSettings"));
    setWindowTitle(kPortalDialogTitle);

    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(kPortalDialogNote, this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* form = new QFormLayout;
    AddField(*form, listingHost_, kLabelListingHost, QString::fromStdString(defaults_.listingHost));
    AddField(*form, bookingHost_, kLabelBookingHost, QString::fromStdString(defaults_.bookingHost));
    auto* browse = new QPushButton(kCaptionBrowse, this);
    browse->setObjectName(QStringLiteral("btnBrowseCertificate"));
    browse->setAutoDefault(false);
    connect(browse, &QPushButton::clicked, this, &TPortalSettingsDialog::BrowseCertificate);
    AddField(*form, caCertificate_, kLabelCaCertificate, FromPath(defaults_.caCertificate), browse);
    TakeHostOfPastedAddress(listingHost_.edit);
    TakeHostOfPastedAddress(bookingHost_.edit);
    layout->addLayout(form);
    chooseCertificate_ = [this](const QString& start) {
        return ChooseCertificateFile(this, start);
    };

    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("lblProblem"));
    problem_->setWordWrap(true);
    QPalette red = problem_->palette();
    red.setColor(QPalette::WindowText, Qt::darkRed);
    problem_->setPalette(red);
    problem_->hide();
    layout->addWidget(problem_);

    auto* testRow = new QHBoxLayout;
    testButton_ = new QPushButton(kCaptionConnectionTest, this);
    testButton_->setObjectName(QStringLiteral("btnConnectionTest"));
    testButton_->setAutoDefault(false);
    connect(testButton_, &QPushButton::clicked, this, &TPortalSettingsDialog::StartConnectionTest);
    testRow->addWidget(testButton_);
    testRow->addStretch();
    layout->addLayout(testRow);

    testResult_ = new QLabel(this);
    testResult_->setObjectName(QStringLiteral("lblTestResult"));
    testResult_->setWordWrap(true);
    testResult_->setTextFormat(Qt::PlainText);
    testResult_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    testResult_->setMinimumHeight(testResult_->fontMetrics().lineSpacing() * 4);
    layout->addWidget(testResult_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TPortalSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TPortalSettingsDialog::reject);
    layout->addWidget(buttons);
}

TPortalSettingsDialog::~TPortalSettingsDialog() {
    if (testThread_ != nullptr) {
        testStop_->Request();
        testThread_->wait();
    }
}

QLineEdit* TPortalSettingsDialog::AddField(QFormLayout& form, Field& field, const QString& label,
                                           const QString& placeholder, QWidget* beside) {
    field.saved = ReadProfileString(iniFile_, kPortalSection, field.key, "");
    field.edit = new QLineEdit(QString::fromStdString(field.saved), this);
    field.edit->setObjectName(QStringLiteral("edit") + QString::fromLatin1(field.key));
    field.edit->setPlaceholderText(
        QString::fromStdString(PrintableText(placeholder.toStdString())));
    field.edit->setMinimumWidth(kFieldWidth);
    if (beside == nullptr) {
        form.addRow(label, field.edit);
        return field.edit;
    }
    auto* row = new QHBoxLayout;
    row->addWidget(field.edit);
    row->addWidget(beside);
    form.addRow(label, row);
    return field.edit;
}

PortalSettings TPortalSettingsDialog::EnteredSettings() const {
    PortalSettings settings = defaults_;
    if (const std::string host = TypedHost(listingHost_.edit); !host.empty()) {
        settings.listingHost = host;
    }
    if (const std::string host = TypedHost(bookingHost_.edit); !host.empty()) {
        settings.bookingHost = host;
    }
    if (const std::string certificate = TypedUtf8(caCertificate_.edit); !certificate.empty()) {
        // As golf.ini reads it: a relative path names a file beside it.
        settings.caCertificate = CertificatePath(certificate, iniFile_.parent_path());
    }
    return settings;
}

// What keeps the settings as typed from being saved, or "".
QString TPortalSettingsDialog::Problem() const {
    for (const auto& [kind, field] : {std::pair{PageKind::Listing, &listingHost_},
                                      std::pair{PageKind::Detail, &bookingHost_}}) {
        const std::string host = TypedHost(field->edit);
        if (!host.empty() && !PortalHostProblem(host).empty()) {
            return PortalHostText(kind, Typed(field->edit));
        }
    }
    if (!Typed(caCertificate_.edit).isEmpty()) {
        std::error_code error;
        const std::filesystem::path certificate = EnteredSettings().caCertificate;
        if (!std::filesystem::is_regular_file(certificate, error)) {
            return QStringLiteral("信頼する証明書のファイルが見つかりません: 「%1」")
                .arg(FromPath(certificate));
        }
    }
    return {};
}

// Writes the keys that changed; "" or why golf.ini could not be written.
QString TPortalSettingsDialog::Save() {
    for (const Field* field : {&listingHost_, &bookingHost_, &caCertificate_}) {
        const std::string value =
            field == &caCertificate_ ? TypedUtf8(field->edit) : TypedHost(field->edit);
        if (value == field->saved) {
            continue;
        }
        if (const SettingsWriteFailure failure =
                WriteSetting(iniFile_, kPortalSection, field->key, value)) {
            return SettingsNotSavedText(failure);
        }
    }
    return {};
}

void TPortalSettingsDialog::ShowProblemAndClearResult(const QString& problem) {
    // A result shown under a new problem would seem to be the problem's.
    ShowProblem(problem_, problem);
    if (!problem.isEmpty()) {
        testResult_->clear();
    }
}

void TPortalSettingsDialog::accept() {
    if (const QString problem = Problem(); !problem.isEmpty()) {
        ShowProblemAndClearResult(problem);
        return;
    }
    if (const QString problem = Save(); !problem.isEmpty()) {
        ShowProblemAndClearResult(problem);
        return;
    }
    QDialog::accept();
}

void TPortalSettingsDialog::BrowseCertificate() {
    const QString typed = Typed(caCertificate_.edit);
    const QString start = typed.isEmpty() ? FromPath(iniFile_.parent_path())
                                          : FromPath(EnteredSettings().caCertificate);
    if (const QString chosen = chooseCertificate_(start); !chosen.isEmpty()) {
        caCertificate_.edit->setText(chosen);
        ShowProblemAndClearResult({});
    }
}

void TPortalSettingsDialog::StartConnectionTest() {
    if (testThread_ != nullptr) {
        return;
    }
    const QString problem = Problem();
    ShowProblemAndClearResult(problem);
    if (!problem.isEmpty()) {
        return;
    }
    const PortalSettings portal = EnteredSettings();
    testResult_->setText(
        kTextConnectionTesting.arg(QString::fromStdString(PrintableText(portal.listingHost))));
    testButton_->setEnabled(false);
    auto result = std::make_shared<TConnectionTest>();
    testStop_ = std::make_shared<StopFlag>();
    testThread_ = QThread::create([result, portal, row = row_, scratch = scratchPath_,
                                   options = fetchOptions_, stop = testStop_] {
        *result = TestPortalConnection(portal, row, scratch, options, stop.get());
    });
    testThread_->setObjectName(QStringLiteral("ConnectionTest"));
    connect(testThread_, &QThread::finished, this, [this, result] {
        testThread_->deleteLater();
        testThread_ = nullptr;
        testButton_->setEnabled(true);
        ShowTestResult(*result);
    });
    testThread_->start();
}

void TPortalSettingsDialog::ShowTestResult(const TConnectionTest& test) {
    const std::string_view name = PrefectureTable.at(static_cast<std::size_t>(row_)).displayName;
    const QString text = ConnectionTestText(
        test, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
    testResult_->setText(text);
    emit connectionTestFinished(text);
}

// ---------------------------------------------------------------------------

void TFrmMain::EditPortalSettings() {
    if (run_.phase != RunPhase::Idle) {
        return;
    }
    // The test reads the listing of the prefecture a run would begin with.
    const std::vector<int> ticked = TickedRows();
    const int row = !ticked.empty() ? ticked.front() : std::max(lstArea->currentRow(), 0);
    TPortalSettingsDialog dialog(settingsPath(), DefaultPortalSettings(), row,
                                 environment_.dataFolder / kScratchFileName,
                                 environment_.settings.fetch, this);
    if (dialog.exec() == QDialog::Accepted) {
        // The next run reads the portal as saved.
        environment_.settings.portal = LoadPortalSettings(settingsPath());
        ShowPortalStatus();
    }
}

}  // namespace teebasket
