#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTest>

#include "cfg/documents.h"
#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "liveupdate/liveupdaterules.h"
#include "shell/frmerror.h"
#include "shell/frmmain.h"

#include <sys/stat.h>
#include <unistd.h>

bool RecordingShell::openDocument(const QString &pathOrUrl)
{
    return record(Call::Kind::Open, ProgramStart {pathOrUrl, {}, {}, WindowMode::Normal, {}, {}});
}

bool RecordingShell::startProgram(const ProgramStart &start)
{
    return record(Call::Kind::Start, start);
}

std::unique_ptr<RunningProgram> RecordingShell::startWatched(const ProgramStart &start)
{
    struct Ended final : RunningProgram {
        bool hasEnded() override { return true; }
    };
    return record(Call::Kind::Watched, start) ? std::make_unique<Ended>() : nullptr;
}

bool RecordingShell::record(Call::Kind kind, const ProgramStart &start)
{
    calls.append({kind, start.program, start.arguments, start.workingFolder, start.outputFile, start.environment});
    if (onCall)
        onCall(calls.last());
    return true;
}

TestServices::TestServices()
{
    // No test ever reaches past the loopback address: a test that serves the files sets its own
    // server first, every other one gets a port where nothing listens.
    for (const char *variable : {liveUpdateRules::PatchServerVariable, liveUpdateRules::ToolServerVariable}) {
        if (qEnvironmentVariableIsEmpty(variable))
            qputenv(variable, "http://127.0.0.1:1/");
    }
    modMain::resetState();
    QApplication::setQuitOnLastWindowClosed(false);
    QDir(root()).mkpath(QStringLiteral("settings"));
    QDir(root()).mkpath(QStringLiteral("program"));
    reopenSettings();
}

QString TestServices::settingsFile() const
{
    return QDir(settingsFolder()).filePath(QStringLiteral("Brakemoor Solutions.ini"));
}

void TestServices::reopenSettings()
{
    services.reset();
    settings.reset();
    settings = std::make_unique<SettingsStore>(settingsFolder());
    Shell &chosenShell = m_realProcesses ? static_cast<Shell &>(desktopShell) : shell;
    Clock &chosenClock = m_realProcesses && m_realClock ? static_cast<Clock &>(systemClock) : clock;
    services = std::make_unique<Services>(
        Services {dialogs, chosenShell, chosenClock, probe, *settings, [this] { ++endProgramCalls; }});
}

void TestServices::useRealProcesses(bool realClock)
{
    m_realProcesses = true;
    m_realClock = realClock;
    reopenSettings();
}

void TestServices::presetSettings(const QList<std::pair<QString, QString>> &values)
{
    {
        QSettings file(settingsFile(), QSettings::IniFormat);
        for (const auto &[key, value] : values)
            file.setValue(QStringLiteral("VexalP/") + key, value);
    }
    reopenSettings();
}

QVariant TestServices::stored(const QString &key) const
{
    return QSettings(settingsFile(), QSettings::IniFormat).value(QStringLiteral("VexalP/") + key);
}

StartupEnvironment TestServices::environment(const QString &localeLanguage) const
{
    return {.osName = QStringLiteral("Debian GNU/Linux 12 (bookworm)"),
        .programFolder = root() + QStringLiteral("/program/"),
        .systemFolder = QStringLiteral("/usr/"),
        .cacheFolder = root() + QStringLiteral("/cache/vexalp/"),
        .localeLanguageName = localeLanguage,
        .ansiCodePage = QStringLiteral("1252")};
}

UpdateServer::UpdateServer()
{
    qputenv(liveUpdateRules::PatchServerVariable, url(QStringLiteral("/patch/")).toString().toUtf8());
    qputenv(liveUpdateRules::ToolServerVariable, url(QStringLiteral("/tool/")).toString().toUtf8());
}

UpdateServer::~UpdateServer()
{
    qunsetenv(liveUpdateRules::PatchServerVariable);
    qunsetenv(liveUpdateRules::ToolServerVariable);
}

void catchReport(ScriptedDialogs &dialogs, QString &report)
{
    dialogs.queueForm([&report](QDialog &form) {
        auto &error = static_cast<frmError &>(form);
        report = error.txtReport->toPlainText();
        error.cmdIgnore->click();
    });
}

QStringList titlesOf(const QList<ScriptedDialogs::Prompt> &prompts)
{
    QStringList titles;
    for (const auto &prompt : prompts)
        titles.append(prompt.kind == ScriptedDialogs::Kind::Modal ? prompt.formName : prompt.title);
    return titles;
}

QStringList linesOf(const QListWidget &list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines.append(list.item(i)->text());
    return lines;
}

void useEnglishTexts()
{
    modMain::state().LanguageName = QStringLiteral("ENGLISH");
    modLanguage::loadInterfaceTexts(modMain::state(), StringResources::builtIn());
}

QString wineServerFolder(const QString &prefix, const QString &serverRoot)
{
    struct stat info { };
    if (::stat(QFile::encodeName(prefix).constData(), &info) != 0)
        return {};
    return serverRoot
        + QString::asprintf("/.wine-%u/server-%llx-%llx", ::getuid(), static_cast<unsigned long long>(info.st_dev),
            static_cast<unsigned long long>(info.st_ino));
}

ScopedEnvironment::ScopedEnvironment(const char *name, const std::optional<QByteArray> &value)
    : m_name(name)
    , m_old(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt)
{
    value ? qputenv(name, *value) : qunsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment()
{
    m_old ? qputenv(m_name, *m_old) : qunsetenv(m_name);
}

RunningProcess::RunningProcess(const QString &program, const QStringList &arguments, const QString &folder)
{
    setWorkingDirectory(folder);
    start(program, arguments);
}

RunningProcess::~RunningProcess()
{
    kill();
    waitForFinished();
}

QList<Component> testComponents(const QString &missing)
{
    QList<Component> components;
    for (const QString &file : {ZipLibraryComponent, QStringLiteral("LIBSSL.SO.3"), QStringLiteral("XDG-OPEN")}) {
        components.append({file, file + QLatin1String(" for tests"), [file, missing] { return file != missing; }});
    }
    return components;
}

StartedProgram::StartedProgram(TestServices &t, const std::optional<StartupEnvironment> &env, const QString &missing)
    : m_startup(std::make_unique<frmComponents>(
        *t.services, StringResources::builtIn(), env.value_or(t.environment()), testComponents(missing)))
    , outcome(m_startup->Form_Load())
{ }

StartedProgram::~StartedProgram() = default;

frmMain &StartedProgram::main()
{
    return *m_startup->mainWindow();
}

QMap<QString, QString> captionsOf(QWidget &window)
{
    QMap<QString, QString> captions;
    captions.insert(QStringLiteral("#title"), window.windowTitle());
    const auto widgets = window.findChildren<QWidget *>();
    for (QWidget *w : widgets) {
        const QString name = w->objectName();
        if (name.isEmpty())
            continue;
        if (!w->toolTip().isEmpty())
            captions.insert(name + QLatin1String("#tip"), w->toolTip());
        if (auto *label = qobject_cast<QLabel *>(w))
            captions.insert(name, label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(w))
            captions.insert(name, button->text());
        else if (auto *menu = qobject_cast<QMenu *>(w))
            captions.insert(name, menu->title());
        else if (auto *tabs = qobject_cast<QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                captions.insert(name + QStringLiteral("[%1]").arg(i), tabs->tabText(i));
        }
    }
    const auto actions = window.findChildren<QAction *>();
    for (QAction *a : actions) {
        if (!a->objectName().isEmpty())
            captions.insert(a->objectName(), a->text());
    }
    return captions;
}

QString copyDemoGame(const QString &name, const QString &target)
{
    const QDir source(QStringLiteral(VEXAL_DEMO_DIR "/") + name);
    QDir().mkpath(target);
    const auto entries = source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString to = target + QLatin1Char('/') + entry.fileName();
        if (entry.isDir())
            copyDemoGame(name + QLatin1Char('/') + entry.fileName(), to);
        else
            QFile::copy(entry.filePath(), to);
        QFile::setPermissions(to, QFile::permissions(entry.filePath()) | QFileDevice::WriteOwner);
    }
    return QDir(target).absolutePath() + QLatin1Char('/');
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

void writeProgram(const QString &path, const QByteArray &bytes, mode_t mode)
{
    writeBytes(path, bytes);
    QCOMPARE(readBytes(path), bytes);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

QByteArray outputOf(const QString &program)
{
    QProcess process;
    process.start(program, {});
    return process.waitForFinished(10000) ? process.readAllStandardOutput().trimmed() : "<did not run>";
}

UpdaterInstallation::UpdaterInstallation()
{
    QDir().mkpath(folder());
    QDir().mkpath(settingsFolder());
    QDir().mkpath(cacheFolder());
}

void UpdaterInstallation::writeSettings(std::map<QString, QString> values) const
{
    const QString app = QStringLiteral("Brakemoor Solutions");
    values.try_emplace(QStringLiteral("AppPath"), folder());
    SettingsStore store(settingsFolder());
    store.removeApplication(app);
    for (const auto &[key, value] : values) {
        if (!value.isNull())
            store.write(app, QStringLiteral("VexalP"), key, value);
    }
    QVERIFY(store.sync());
}

void UpdaterInstallation::addTo(QProcessEnvironment &environment) const
{
    environment.insert(QStringLiteral("VEXALP_SETTINGS_DIR"), settingsFolder());
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    environment.remove(QStringLiteral("VEXALP_UPDATER_FAIL_AT"));
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray portableExecutable(quint16 machine)
{
    QByteArray bytes(128, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3C] = char(64);
    bytes.replace(64, 4, QByteArray("PE\0\0", 4));
    bytes[68] = char(machine & 0xFF);
    bytes[69] = char(machine >> 8);
    return bytes;
}

GameSession::GameSession(const QString &game, bool realProcesses)
{
    // Opening a file starts the automatic update checks unless they are switched off.
    t.presetSettings({{QStringLiteral("AutoLU"), QStringLiteral("0")}});
    if (realProcesses)
        t.useRealProcesses();
    folder = copyDemoGame(game, t.root() + QStringLiteral("/") + game);
}

GameSession::~GameSession() = default;

frmMain &GameSession::main()
{
    if (!m_program) {
        m_program = std::make_unique<StartedProgram>(t);
        QTest::qWait(1); // the first activation
    }
    return m_program->main();
}

void GameSession::open(const QString &file)
{
    main().documents().openFile(file.isEmpty() ? path() : file);
}
