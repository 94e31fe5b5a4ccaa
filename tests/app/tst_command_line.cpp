// teebasket --help and --version: the real program answers on standard
// output, in the user's language, without a display and without taking the
// single-instance lock.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Answer {
    int exitCode = -1;
    QString standardOutput;
    QByteArray standardError;
};

// Runs the program with `arguments`, no display to reach (no platform named,
// no X11 or Wayland display), `runtime` as its runtime folder and the given
// locale variables (NAME=value).
Answer Run(const QStringList& arguments, const QString& runtime, const QStringList& locale = {}) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        environment.remove(QString::fromLatin1(name));
    }
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    for (const QString& variable : locale) {
        environment.insert(variable.section(QLatin1Char('='), 0, 0),
                           variable.section(QLatin1Char('='), 1));
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TEEBASKET_WINDOW_EXECUTABLE), arguments);
    Answer answer;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(30000);
        return answer;
    }
    answer.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    answer.standardOutput = QString::fromUtf8(process.readAllStandardOutput());
#ifdef _WIN32
    // Standard output is a text stream on Windows: lines end in CR LF.
    answer.standardOutput.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    answer.standardError = process.readAllStandardError();
    return answer;
}

}  // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

  private slots:
    void helpAndVersionNeedNoDisplay() {
        QTemporaryDir runtime;
        const Answer help = Run({QStringLiteral("--help")}, runtime.path());
        QCOMPARE(help.exitCode, 0);
        QVERIFY2(help.standardOutput.startsWith(QStringLiteral("Usage: teebasket")),
                 qPrintable(help.standardOutput));
        QVERIFY2(help.standardOutput.contains(QStringLiteral("--version")),
                 qPrintable(help.standardOutput));
        QVERIFY2(help.standardOutput.contains(QStringLiteral("--results FILE")),
                 qPrintable(help.standardOutput));
        QCOMPARE(help.standardError, QByteArray());

        const Answer version = Run({QStringLiteral("-V")}, runtime.path());
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.standardOutput, QStringLiteral("teebasket " TEEBASKET_VERSION "\n"));
        // Neither took the single-instance lock: a window may run meanwhile.
        QCOMPARE(QDir(runtime.path()).entryList(QDir::Files), QStringList());
    }

    void helpInTheUsersLanguage() {
        QTemporaryDir runtime;
        const struct {
            QStringList locale;
            bool japanese;
        } cases[] = {
            {{QStringLiteral("LANG=ja_JP.UTF-8")}, true},
            {{QStringLiteral("LC_MESSAGES=ja_JP.UTF-8"), QStringLiteral("LANG=C")}, true},
            {{QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("LANG=ja_JP.UTF-8")}, false},
            {{QStringLiteral("LANG=en_GB.UTF-8")}, false},
        };
        for (const auto& c : cases) {
            const Answer help = Run({QStringLiteral("-h")}, runtime.path(), c.locale);
            QCOMPARE(help.exitCode, 0);
            const QString start = c.japanese ? QStringLiteral("使い方: teebasket")
                                             : QStringLiteral("Usage: teebasket");
            QVERIFY2(help.standardOutput.startsWith(start),
                     qPrintable(c.locale.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                                help.standardOutput));
        }
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
