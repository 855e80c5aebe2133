#include "cfg/switchcheck.h"
#include "common/icons.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "liveupdate/liveupdaterules.h"
#include "platform/clock.h"
#include "platform/connectionprobe.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "platform/systeminfo.h"
#include "shell/frmcomponents.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {

#ifndef VEXAL_APP_VERSION
#define VEXAL_APP_VERSION VEXAL_VERSION
#endif

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("vexalpro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXAL_APP_VERSION));
}

// Parsed before any window system is touched, so --help and --version work without a display.
struct CommandLine {
    QString settingsFolder;
    QString file;
    bool smokeTest = false;
    QString checkFile, switchList;
};

CommandLine parseCommandLine(int argc, char *argv[])
{
    nameApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Vexal Pro: edit TTDPatch configurations, start Transport Tycoon Deluxe, keep TTDPatch up to date."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption settingsDir(QStringLiteral("settings-dir"),
        QStringLiteral("Keep the settings in <folder> (also $VEXALP_SETTINGS_DIR)."), QStringLiteral("folder"));
    parser.addOption(settingsDir);
    const QCommandLineOption patchServer(QStringLiteral("patch-server"),
        QStringLiteral("Fetch TTDPatch updates from <url> instead of the mirrors (also $%1).")
            .arg(QLatin1String(liveUpdateRules::PatchServerVariable)),
        QStringLiteral("url"));
    const QCommandLineOption toolServer(QStringLiteral("tool-server"),
        QStringLiteral("Fetch Vexal Pro updates and news from <url> instead of the mirrors (also $%1).")
            .arg(QLatin1String(liveUpdateRules::ToolServerVariable)),
        QStringLiteral("url"));
    parser.addOption(patchServer);
    parser.addOption(toolServer);
    const QCommandLineOption check(QStringLiteral("check"),
        QStringLiteral("Check <file> against the patch's switch list without opening a window; exit code 0: no "
                       "problems, 1: problems, 2: a file cannot be read."),
        QStringLiteral("file"));
    const QCommandLineOption switches(QStringLiteral("switches"),
        QStringLiteral("The switch list for --check (default: swtchlst.txt beside the file)."), QStringLiteral("list"));
    parser.addOption(check);
    parser.addOption(switches);
    QCommandLineOption smokeTest(
        QStringLiteral("smoke-test"), QStringLiteral("Start, print the main window's title once it shows, and quit."));
    smokeTest.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(smokeTest);
    parser.addPositionalArgument(
        QStringLiteral("file"), QStringLiteral("A TTDPatch configuration file to open."), QStringLiteral("[file.cfg]"));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    // An application object only to answer --help, --version or a mistake (the parser takes the
    // program's name from it): making one cost every start a little.
    if (!parser.parse(arguments) || parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))
        || parser.isSet(version)) {
        QCoreApplication app(argc, argv);
        parser.process(app);
    }
    // The server lists read these when the main window is built.
    if (parser.isSet(patchServer))
        qputenv(liveUpdateRules::PatchServerVariable, parser.value(patchServer).toUtf8());
    if (parser.isSet(toolServer))
        qputenv(liveUpdateRules::ToolServerVariable, parser.value(toolServer).toUtf8());
    // The updater reads the hand-over from the default folder, which this makes the one used here.
    if (parser.isSet(settingsDir))
        qputenv(
            SettingsStore::FolderVariable, QFile::encodeName(QFileInfo(parser.value(settingsDir)).absoluteFilePath()));
    return {SettingsStore::defaultFolder(), parser.positionalArguments().value(0), parser.isSet(smokeTest),
        parser.value(check), parser.value(switches)};
}

// Like --help, before any window system is touched: it works without a display.
int checkWithoutWindow(const CommandLine &commandLine)
{
    auto &s = modMain::state();
    s.AnsiCodePage = systemInfo::ansiCodePage();
    s.LanguageName = QStringLiteral("ENGLISH"); // the language of compiler warnings and CI logs
    modLanguage::loadInterfaceTexts(s, StringResources::builtIn());
    QTextStream out(stdout);
    QTextStream err(stderr);
    return switchCheck::checkCommand(commandLine.checkFile, commandLine.switchList, out, err);
}

} // namespace

int main(int argc, char *argv[])
{
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (!commandLine.checkFile.isEmpty())
        return checkWithoutWindow(commandLine);

    QApplication app(argc, argv);
    nameApplication();
    modMain::state().ProgramArguments = QCoreApplication::arguments().mid(1);
    // No application display name: on X11 Qt would add it to every title, and the windows and
    // message boxes carry their own titles already. The desktop entry names the program.
    QApplication::setDesktopFileName(QStringLiteral("vexalpro"));
    useProgramStyle();
    QApplication::setWindowIcon(programIcon());

    QtDialogs dialogs;
    DesktopShell shell;
    SystemClock clock;
    NetworkConnectionProbe probe;
    SettingsStore settings(commandLine.settingsFolder);
    // Exit, Restart and the refusals end the program at once: no window's close handling runs.
    Services services {dialogs, shell, clock, probe, settings, [] {
                           std::fflush(nullptr);
                           std::_Exit(EXIT_SUCCESS);
                       }};

    frmComponents startup(services, StringResources::builtIn(), StartupEnvironment::current());
    startup.setFileToOpen(commandLine.file);
    const auto outcome = startup.Form_Load();
    if (outcome == frmComponents::Outcome::MainWindowShown && commandLine.smokeTest) {
        // Leaving the event loop (not closing the window) stores nothing: the check changes nothing.
        QTimer::singleShot(0, &app, [&startup] {
            const QWidget *window = startup.mainWindow();
            std::printf("shown: %s visible=%d\n", qPrintable(window->objectName()), int(window->isVisible()));
            // At once, not at exit: whoever watches for the line (the start-up benchmark) learns
            // when the window showed.
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }
    return QApplication::exec();
}
