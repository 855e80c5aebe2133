#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/systeminfo.h"
#include "updater/updateplan.h"
#include "updater/updaterwindow.h"
#include "updater/updatesession.h"

#include <QApplication>
#include <QCommandLineParser>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("vexalpro-updater"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXAL_VERSION));
}

struct CommandLine {
    bool dialogs = true;
    std::chrono::milliseconds waitLimit = UpdateSession::DefaultWaitLimit;
};

// Parsed before any window system is touched, so --help and --version work without a display.
std::optional<CommandLine> parseCommandLine(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    nameApplication();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Replaces Vexal Pro with the new version it has downloaded, then starts it again.\n"
                       "Vexal Pro starts this program itself, without arguments, just before it exits."));
    parser.addHelpOption();
    parser.addVersionOption();
    // For tests and scripted runs, where nobody could answer a message box.
    QCommandLineOption noDialogs(QStringLiteral("no-dialogs"),
        QStringLiteral("Print messages to standard error instead of showing message boxes."));
    noDialogs.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption waitLimit(QStringLiteral("wait-limit"),
        QStringLiteral("Give up when Vexal Pro is still running after <seconds>."), QStringLiteral("seconds"));
    waitLimit.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(noDialogs);
    parser.addOption(waitLimit);
    parser.process(app);

    CommandLine result;
    result.dialogs = !parser.isSet(noDialogs);
    if (parser.isSet(waitLimit)) {
        bool ok = false;
        const double seconds = parser.value(waitLimit).toDouble(&ok);
        if (!ok || seconds <= 0 || seconds > 24 * 3600) {
            std::fprintf(stderr, "vexalpro-updater: --wait-limit needs a positive number of seconds.\n");
            return std::nullopt;
        }
        result.waitLimit = std::chrono::milliseconds(qRound64(seconds * 1000));
    }
    return result;
}

// Standard error always gets the text, so that a failed update leaves a trace in a terminal or log.
void tell(bool dialogs, QWidget *parent, MessageIcon icon, const QString &text)
{
    std::fprintf(stderr, "vexalpro-updater: %s\n", qPrintable(text));
    if (!dialogs)
        return;
    QtDialogs boxes;
    boxes.message(parent, {QStringLiteral("Vexal Pro"), text, icon, MessageButtons::Ok});
}

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<CommandLine> commandLine = parseCommandLine(argc, argv);
    if (!commandLine)
        return static_cast<int>(UpdaterExit::CommandLine);

    QApplication app(argc, argv);
    nameApplication();
    QApplication::setApplicationDisplayName(QStringLiteral("Vexal Pro"));
    // Closing the window is a Cancel that the session answers; it must not end the program by itself.
    QApplication::setQuitOnLastWindowClosed(false);

    QString problem;
    const std::optional<UpdatePlan> plan = updatePlan::read(SettingsStore(), systemInfo::cacheFolder(), &problem);
    if (!plan) {
        tell(commandLine->dialogs, nullptr, MessageIcon::Critical, problem);
        return static_cast<int>(UpdaterExit::NothingToInstall);
    }

    UpdaterWindow window(plan->heading, plan->waitingText, plan->cancelCaption);
    UpdateSession session(*plan, commandLine->waitLimit);
    QObject::connect(&window, &UpdaterWindow::cancelRequested, &session, &UpdateSession::cancel);
    QObject::connect(&session, &UpdateSession::replacing, &window, &UpdaterWindow::lockCancel);
    QObject::connect(&session, &UpdateSession::finished, &app, [&](int code, const QString &message) {
        if (!message.isEmpty()) {
            const bool updated = code == static_cast<int>(UpdaterExit::StartFailed);
            tell(commandLine->dialogs, &window, updated ? MessageIcon::Exclamation : MessageIcon::Critical, message);
        }
        QCoreApplication::exit(code);
    });
    window.show();
    session.start();
    return QApplication::exec();
}
