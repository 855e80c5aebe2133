// Stand-in program for the fault tests: the real program, started over scratch settings, opens a
// configuration file, takes new texts into its two editors and saves them with the Save command's
// own code. An error report the user would see is printed to standard output.
//
//   fault-config-save [--serve] <configuration file> <new configuration text> <new list text>
//
// Exit codes: 0 saved, 3 the save showed an error report, 2 bad call or the file did not open cleanly.
// Scratch folders go to $TMPDIR, which the test points into its own folder.
//
// With --serve, the program starts and opens the file once, then reads kill points from standard
// input, one a line. For each it forks a process that restarts the fault shim's counting at that
// point and saves; it answers "killed" when that process died of SIGKILL, else "exit <code>".
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString latin1File(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

int refuse(const char *why)
{
    std::fprintf(stderr, "fault-config-save: %s\n", why);
    return 2;
}

// Saves as the Save command does; ends the process, without taking down the window and the scratch
// folders: the tests count the save's file-changing calls, and the clean-up's would only add kill
// points of no interest.
[[noreturn]] void save(frmMain &window, ScriptedDialogs &dialogs)
{
    QString report;
    dialogs.queueForm([&report](QDialog &form) {
        report = form.findChild<QPlainTextEdit *>(QStringLiteral("txtReport"))->toPlainText();
        form.findChild<QPushButton *>(QStringLiteral("cmdIgnore"))->click();
    });
    bool closeAfter = false;
    window.SaveSettings(false, closeAfter);
    if (!report.isEmpty())
        std::fputs(qPrintable(report), stdout);
    std::fflush(stdout);
    std::_Exit(report.isEmpty() ? 0 : 3);
}

// One forked save per kill point read from standard input.
int serve(frmMain &window, ScriptedDialogs &dialogs)
{
    using Restart = void (*)(long);
    const auto restart = reinterpret_cast<Restart>(::dlsym(RTLD_DEFAULT, "vexal_fault_restart"));
    if (!restart)
        return refuse("--serve needs the fault shim preloaded");
    for (std::string line; std::getline(std::cin, line);) {
        const long killAt = std::strtol(line.c_str(), nullptr, 10);
        const pid_t child = ::fork();
        if (child < 0)
            return refuse("cannot fork");
        if (child == 0) {
            restart(killAt);
            save(window, dialogs);
        }
        int status = 0;
        if (::waitpid(child, &status, 0) != child)
            return refuse("lost the forked save");
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            std::printf("killed\n");
        else
            std::printf("exit %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList arguments = QApplication::arguments();
    const bool serving = arguments.removeAll(QStringLiteral("--serve")) > 0;
    if (arguments.size() != 4)
        return refuse(
            "usage: fault-config-save [--serve] <configuration file> <new configuration text> <new list text>");
    const QString configText = latin1File(arguments[2]);
    const QString listText = latin1File(arguments[3]);
    if (configText.isEmpty() || listText.isEmpty())
        return refuse("the new texts cannot be read");

    TestServices t;
    // Opening a file would otherwise start the automatic update checks.
    t.presetSettings({{QStringLiteral("AutoLU"), QStringLiteral("0")}});
    StartedProgram program(t);
    QApplication::processEvents(); // the first activation
    frmMain &window = program.main();
    window.documents().openFile(arguments[1]);
    if (!t.dialogs.takePrompts().isEmpty())
        return refuse("opening the file asked the user something");

    EditorText(*window.controls().rtbPatch).setText(configText);
    EditorText(*window.controls().rtbGrf).setText(listText);
    if (serving) {
        // Ends without the tear-down too: it has nothing left to show.
        const int code = serve(window, t.dialogs);
        std::fflush(stdout);
        std::_Exit(code);
    }
    save(window, t.dialogs);
}
