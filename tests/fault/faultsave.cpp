// The fault tests' child: one of the program's saves, made by its own code.
//
//   fault-save [--serve] config <ttdpatch.cfg> <new configuration> <new list>
//       the real program, started over scratch settings, opens the configuration, takes the new
//       texts (given as they are) into its two editors and saves them as the Save command does.
//   fault-save [--serve] registry <system.reg> <expected file>
//       sets a text and a number under Software\Vexal Fault and saves; first writes to the expected
//       file the bytes the save puts in place (the keys' times make them differ from run to run).
//
// Exit codes: 0 saved, 3 the save failed (the message the user would see on standard output),
// 2 bad call or input. Scratch folders go to $TMPDIR, which the test points into its own folder.
//
// With --serve, it makes everything ready once, then reads kill points from standard input, one a
// line. For each it forks a process that restarts the fault shim's counting at that point and
// saves; it answers with that process's exit code, or minus the signal that ended it.
#include "testsupport.h"

#include "cfg/documents.h"
#include "cfg/editortext.h"
#include "platform/wineregistry.h"
#include "shell/frmmain.h"

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int refuse(const QString &why)
{
    std::fprintf(stderr, "fault-save: %s\n", qPrintable(why));
    return 2;
}

// The save, ready to run: returns the error message the user would see, empty when it saved.
using Save = std::function<QString()>;

struct Program {
    TestServices t;
    std::unique_ptr<StartedProgram> started;
};

Save configurationSave(const QStringList &arguments, std::optional<Program> &program)
{
    TestServices &t = program.emplace().t;
    // Opening a file would otherwise start the automatic update checks.
    t.presetSettings({{u"AutoLU"_s, u"0"_s}});
    program->started = std::make_unique<StartedProgram>(t);
    QApplication::processEvents(); // the first activation
    frmMain &window = program->started->main();
    window.documents().openFile(arguments[0]);
    if (!t.dialogs.takePrompts().isEmpty())
        return {};
    EditorText(*window.controls().rtbPatch).setText(arguments[1]);
    EditorText(*window.controls().rtbGrf).setText(arguments[2]);
    return [&window, &dialogs = t.dialogs] {
        QString report;
        dialogs.queueForm([&report](QDialog &form) {
            report = form.findChild<QPlainTextEdit *>(u"txtReport"_s)->toPlainText();
            form.findChild<QPushButton *>(u"cmdIgnore"_s)->click();
        });
        bool closeAfter = false;
        window.SaveSettings(false, closeAfter);
        return report;
    };
}

Save registrySave(const QStringList &arguments, std::optional<WineRegistry> &registry)
{
    QString error;
    if (!(registry = WineRegistry::load(arguments[0], &error)))
        return {};
    const QString text = u"set by the save"_s;
    registry->setString(u"Software\\Vexal Fault"_s, u"Data"_s, text);
    registry->setDword(u"Software\\Vexal Fault"_s, u"Length"_s, quint32(text.size()));
    writeBytes(arguments[1], registry->serialized());
    return [&registry] {
        QString why;
        return registry->save(&why) ? QString() : why + u'\n';
    };
}

// Saves and ends the process without taking down the window and the scratch folders: the tests
// count the save's file-changing calls, and the clean-up's would only add kill points of no interest.
[[noreturn]] void saveAndEnd(const Save &save)
{
    const QString report = save();
    std::fputs(qPrintable(report), stdout);
    std::fflush(stdout);
    std::_Exit(report.isEmpty() ? 0 : 3);
}

// One forked save per kill point read from standard input.
int serve(const Save &save)
{
    using Restart = void (*)(long);
    const auto restart = reinterpret_cast<Restart>(::dlsym(RTLD_DEFAULT, "vexal_fault_restart"));
    if (!restart)
        return refuse(u"--serve needs the fault shim preloaded"_s);
    for (std::string line; std::getline(std::cin, line);) {
        const pid_t child = ::fork();
        if (child < 0)
            return refuse(u"cannot fork"_s);
        if (child == 0) {
            restart(std::strtol(line.c_str(), nullptr, 10));
            saveAndEnd(save);
        }
        int status = 0;
        if (::waitpid(child, &status, 0) != child)
            return refuse(u"lost the forked save"_s);
        std::printf("%d\n", WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status));
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList arguments = QApplication::arguments().mid(1);
    const bool serving = arguments.removeAll(u"--serve"_s) > 0;
    const QString kind = arguments.value(0);
    arguments = arguments.mid(1);
    std::optional<Program> program;
    std::optional<WineRegistry> registry;
    const Save save = kind == u"config"_s && arguments.size() == 3 ? configurationSave(arguments, program)
        : kind == u"registry"_s && arguments.size() == 2           ? registrySave(arguments, registry)
                                                                   : Save();
    if (!save)
        return refuse(u"usage: see tests/fault/faultsave.cpp; or the input did not open cleanly"_s);
    if (!serving)
        saveAndEnd(save);
    // Ends without the tear-down too: it has nothing left to show.
    const int code = serve(save);
    std::fflush(stdout);
    std::_Exit(code);
}
