#pragma once

#include "platform/shell.h"

#include <QString>
#include <QStringList>

// Which kind of program a file is, and how Linux starts it: a native program directly, a Windows
// program through Wine, a DOS program through DOSBox.
namespace executables {

enum class Kind { Native, Windows, Dos, NotRunnable };

// The PE header's machine types that matter here.
inline constexpr quint16 MachineI386 = 0x014c;
inline constexpr quint16 MachineAmd64 = 0x8664;

struct Header {
    Kind kind = Kind::NotRunnable;
    // A Windows program's PE machine type; 0 for an NE program or no Windows program.
    quint16 machine = 0;
};

// From the file's first bytes: ELF, or "#!" with the run bit, is native; "MZ" with a PE or NE
// header is Windows, other "MZ" files are DOS.
Header inspect(const QString &path);
inline Kind kindOf(const QString &path)
{
    return inspect(path).kind;
}

// A runner is a command template: the runner program and its argument words, split as a shell
// splits words (quotes group). In each word:
//   %exe%       the program's path          %folder%    the working folder (the game folder)
//   %dosexe%    the program's DOS name      %dosfolder% the working folder quoted for DOS
//   %args%      the arguments: alone in a word, one word each; inside a word, joined by blanks
//   %redirect%  " > NAME" with the output file's DOS name when output is wanted, else nothing
//   %%          a percent sign
// A template without placeholders is the runner program and its leading options, and gets the
// edition's usual words appended: so "wine" and "dosbox -exit" keep working as they were stored.
inline const QString WindowsRunnerWords = QStringLiteral("%exe% %args%");
inline const QString DosRunnerWords
    = QStringLiteral("-c \"mount c %dosfolder%\" -c c: -c \"%dosexe% %args%%redirect%\" -c exit");

// The templates as the settings store keeps them (its defaults: "wine" and "dosbox").
struct Runners {
    QString windows;
    QString dos;
};

// One start of a program: what it is, for whom, where its output goes.
struct Launch {
    QString path;
    QStringList arguments;
    QString workingFolder;
    WindowMode mode = WindowMode::Normal;
    // The folder whose Wine prefix a Windows program runs in (the game folder): the same prefix
    // whose registry the program edits, so that the game sees those settings.
    QString prefixFolder;
    // The name of a file in the working folder that receives the program's standard output.
    QString outputName;
};

// Why a program cannot be started; the caller tells the user.
enum class Problem { None, NotRunnable, RunnerMissing, No32BitWine, FolderNotForDos };

struct Command {
    ProgramStart start;
    Kind kind = Kind::NotRunnable;
    Problem problem = Problem::NotRunnable;
    // The runner program as the template names it, for messages.
    QString runner;
    bool isValid() const { return problem == Problem::None; }
    bool throughRunner() const { return kind == Kind::Windows || kind == Kind::Dos; }
};

Command commandFor(const Launch &launch, const Runners &runners);

// The name DOSBox shows a file by: an 8.3 name in capitals, a longer one shortened as DOSBox
// does ("LONGNA~1.EXE").
QString dosNameOf(const QString &fileName);
// Whether the Wine that `runner` starts can run a 32-bit Windows program. Debian's wrapper runs
// them only with the wine32:i386 loader beside wine64; a runner this cannot tell about counts as
// able.
bool runs32BitWindowsPrograms(const QString &runner);
// The runner program found as the system would find it: the path given, or a search of PATH;
// empty when it is not there or not executable.
QString findRunner(const QString &program);

} // namespace executables
