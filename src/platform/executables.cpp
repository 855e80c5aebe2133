#include "executables.h"

#include "platform/wineregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtEndian>

namespace executables {

namespace {

bool isElf(const QByteArray &head)
{
    return head.startsWith("\x7f"
                           "ELF");
}

// What the placeholders of a runner template stand for.
struct Fields {
    QString exe;
    QString dosExe;
    QStringList arguments;
    QString folder;
    QString dosFolder;
    QString redirect;
};

const QRegularExpression &placeholder()
{
    static const QRegularExpression pattern(QStringLiteral("%(exe|dosexe|args|folder|dosfolder|redirect)?%"));
    return pattern;
}

QString filled(const QString &word, const Fields &fields)
{
    QString result;
    qsizetype from = 0;
    for (const auto &match : placeholder().globalMatch(word)) {
        result += word.mid(from, match.capturedStart() - from);
        const QString name = match.captured(1);
        if (name.isEmpty())
            result += QLatin1Char('%');
        else if (name == QLatin1String("exe"))
            result += fields.exe;
        else if (name == QLatin1String("dosexe"))
            result += fields.dosExe;
        else if (name == QLatin1String("args"))
            result += fields.arguments.join(QLatin1Char(' '));
        else if (name == QLatin1String("folder"))
            result += fields.folder;
        else if (name == QLatin1String("dosfolder"))
            result += fields.dosFolder;
        else
            result += fields.redirect;
        from = match.capturedEnd();
    }
    return result + word.mid(from);
}

bool namesPlaceholder(const QString &runnerTemplate)
{
    for (const auto &match : placeholder().globalMatch(runnerTemplate)) {
        if (!match.captured(1).isEmpty())
            return true;
    }
    return false;
}

// A DOS command line cannot carry a double quote inside a quoted path, nor a control character;
// DOSBox's shell takes a percent sign for the start of a variable.
bool fitsDosCommandLine(const QString &path)
{
    return std::none_of(
        path.cbegin(), path.cend(), [](QChar c) { return c == u'"' || c == u'%' || c.unicode() < 0x20; });
}

} // namespace

Header inspect(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(64);
    if (isElf(head) || head.startsWith("#!"))
        return {QFileInfo(path).isExecutable() ? Kind::Native : Kind::NotRunnable};
    if (!head.startsWith("MZ"))
        return {};
    if (head.size() >= 64) {
        const quint32 newHeader = qFromLittleEndian<quint32>(head.constData() + 0x3C);
        if (newHeader >= 64 && newHeader + 4 <= quint64(file.size()) && file.seek(newHeader)) {
            const QByteArray signature = file.read(6);
            if (signature.startsWith(QByteArray("PE\0\0", 4)))
                return {Kind::Windows,
                    signature.size() == 6 ? qFromLittleEndian<quint16>(signature.constData() + 4) : quint16(0)};
            if (signature.startsWith("NE"))
                return {Kind::Windows};
        }
    }
    return {Kind::Dos};
}

QString dosNameOf(const QString &fileName)
{
    const QString upper = fileName.toUpper();
    const qsizetype dot = upper.lastIndexOf(u'.');
    QString base = dot > 0 ? upper.left(dot) : upper;
    QString extension = dot > 0 ? upper.mid(dot + 1) : QString();
    static const QRegularExpression plain(QStringLiteral("^[A-Z0-9_$~!#%&'(){}^@`-]+$"));
    const bool fits = base.size() <= 8 && extension.size() <= 3 && plain.match(base).hasMatch()
        && (extension.isEmpty() || plain.match(extension).hasMatch());
    if (fits)
        return extension.isEmpty() ? base : base + u'.' + extension;
    base.remove(QRegularExpression(QStringLiteral("[ .]")));
    extension.remove(u' ');
    const QString shortName = base.left(6) + QStringLiteral("~1");
    return extension.isEmpty() ? shortName : shortName + u'.' + extension.left(3);
}

QString findRunner(const QString &program)
{
    if (program.contains(u'/')) {
        const QFileInfo info(program);
        return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

bool runs32BitWindowsPrograms(const QString &runner)
{
    QFile file(runner);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray head = file.read(64 * 1024);
    if (isElf(head)) {
        // A 32-bit loader runs them; a 64-bit "wine64" needs its 32-bit twin, while a 64-bit
        // "wine" is a WoW64 build that runs both.
        if (head.size() > 4 && head[4] == 1)
            return true;
        if (QFileInfo(runner).fileName() != QLatin1String("wine64"))
            return true;
        QFile twin(QFileInfo(runner).dir().filePath(QStringLiteral("wine")));
        return twin.open(QIODevice::ReadOnly)
            && twin.read(5)
            == QByteArray("\x7f"
                          "ELF\x01");
    }
    if (head.startsWith("#!")) {
        // Debian's wrapper names the 32-bit loader it looks for.
        static const QRegularExpression loader(
            QStringLiteral("^\\s*wine32=(\\S+)\\s*$"), QRegularExpression::MultilineOption);
        const auto match = loader.match(QString::fromLocal8Bit(head));
        if (match.hasMatch())
            return QFileInfo(match.captured(1)).isExecutable();
    }
    return true;
}

Command commandFor(const Launch &launch, const Runners &runners)
{
    Command command;
    const Header header = inspect(launch.path);
    command.kind = header.kind;
    command.start.workingFolder = launch.workingFolder;
    command.start.mode = launch.mode;
    const QString outputFile
        = launch.outputName.isEmpty() ? QString() : QDir(launch.workingFolder).filePath(launch.outputName);
    switch (header.kind) {
    case Kind::NotRunnable: return command;
    case Kind::Native:
        command.start.program = launch.path;
        command.start.arguments = launch.arguments;
        command.start.outputFile = outputFile;
        command.problem = Problem::None;
        return command;
    case Kind::Windows:
    case Kind::Dos: break;
    }

    const bool windows = header.kind == Kind::Windows;
    const QString runnerTemplate = windows ? runners.windows : runners.dos;
    const bool usesPlaceholders = namesPlaceholder(runnerTemplate);
    QStringList words = QProcess::splitCommand(runnerTemplate);
    command.runner = words.value(0);
    if (!usesPlaceholders)
        words += QProcess::splitCommand(windows ? WindowsRunnerWords : DosRunnerWords);
    const QString runner = findRunner(command.runner);
    if (runner.isEmpty()) {
        command.problem = Problem::RunnerMissing;
        return command;
    }
    if (windows && header.machine == MachineI386 && !runs32BitWindowsPrograms(runner)) {
        command.problem = Problem::No32BitWine;
        return command;
    }

    Fields fields;
    fields.exe = launch.path;
    fields.dosExe = dosNameOf(QFileInfo(launch.path).fileName());
    fields.arguments = launch.arguments;
    fields.folder = QDir::cleanPath(launch.workingFolder);
    fields.dosFolder = u'"' + fields.folder + u'"';
    const bool redirectedInside = !outputFile.isEmpty() && words.join(u' ').contains(QLatin1String("%redirect%"));
    if (redirectedInside)
        fields.redirect = QStringLiteral(" > ") + dosNameOf(launch.outputName);
    QStringList arguments;
    for (const QString &word : std::as_const(words)) {
        if (word.contains(QLatin1String("%dosfolder%")) && !fitsDosCommandLine(fields.folder)) {
            command.problem = Problem::FolderNotForDos;
            return command;
        }
        if (word == QLatin1String("%args%"))
            arguments += launch.arguments;
        else
            arguments += filled(word, fields);
    }
    command.start.program = runner;
    command.start.arguments = arguments.mid(1);
    if (!redirectedInside)
        command.start.outputFile = outputFile;
    if (windows) {
        QString prefix = wine::prefixFor(launch.prefixFolder.isEmpty() ? launch.workingFolder : launch.prefixFolder);
        if (prefix.size() > 1 && prefix.endsWith(u'/'))
            prefix.chop(1);
        command.start.environment.append({QStringLiteral("WINEPREFIX"), prefix});
        if (launch.mode == WindowMode::Hidden)
            command.start.environment.append({QStringLiteral("WINEDEBUG"), QStringLiteral("-all")});
    } else if (launch.mode == WindowMode::Hidden) {
        command.start.environment.append({QStringLiteral("SDL_VIDEODRIVER"), QStringLiteral("dummy")});
        command.start.environment.append({QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy")});
    }
    command.problem = Problem::None;
    return command;
}

} // namespace executables
