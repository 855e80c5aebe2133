#include "patchversion.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/mainwindowhost.h"
#include "common/programstart.h"
#include "common/settingkeys.h"
#include "common/waiting.h"
#include "platform/clock.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "platform/textcodec.h"
#include "switchcheck.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A switch list is a few kilobytes; its first line is all that is read.
constexpr qint64 FirstLineLimit = 4096;
// Wine takes seconds to set up a fresh prefix before the patch even starts.
constexpr qint64 RunnerQueryLimitMs = 20000;
const QString SwitchListName = QString::fromLatin1(switchCheck::ListFileName);
constexpr qsizetype VersionTextLimit = 200;

QString firstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError::fromFile(file);
    QString text = TextCodec(modMain::state().AnsiCodePage).decode(file.read(FirstLineLimit));
    const qsizetype end = text.indexOf(QRegularExpression(QStringLiteral("[\\r\\n]")));
    if (end >= 0)
        text.truncate(end);
    // A binary or damaged list must not put control characters into the title.
    for (QChar &c : text) {
        if (c.unicode() < 0x20)
            c = QLatin1Char(' ');
    }
    return text;
}

// DOSBox writes the list in capitals, the Windows patch in small letters: an old list in any case
// would be read as the new one.
void removeEveryCase(const QString &folder, const QString &name)
{
    QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            dir.remove(entry);
    }
}

} // namespace

PatchVersion::PatchVersion(Services &services, MainWindowHost &host, QCheckBox &chkVersionget, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_host(host)
    , m_chkVersionget(chkVersionget)
{ }

QString PatchVersion::versionFromFirstLine(const QString &line, bool windowsWay)
{
    QString version;
    if (windowsWay) {
        const QString trimmed = basicText::trimBlanks(line);
        version = trimmed.isEmpty() ? line : QLatin1String("TTDPatch ") + trimmed;
    } else {
        version = basicText::trimBlanks(basicText::trimBlanks(line).section(QLatin1Char('('), 0, 0));
    }
    return version.left(VersionTextLimit);
}

qint32 PatchVersion::cacheSize(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || modMain::isReadOnlyFile(path))
        return -1;
    return qint32(quint32(quint64(info.size()) & 0xFFFFFFFFu));
}

void PatchVersion::GetPatchVersion(bool forceDetection)
{
    auto &s = modMain::state();
    if (!m_chkVersionget.isChecked()) {
        s.DetectedPatchVersion = QStringLiteral("(version detection off)");
        m_host.UpdateVersionDisplay();
        return;
    }
    ErrorTrap trap(&m_host.errorReporter());
    s.DetectedPatchVersion = QStringLiteral("quering...");
    m_host.UpdateVersionDisplay();
    m_host.DisableControls();
    const qint32 size = cacheSize(s.PatchExecutable);
    if (!forceDetection && modMain::fileExists(modMain::fileIgnoringCase(s.GameFolder, SwitchListName))
        && readSettingNumber(m_services.settings, settingKeys::PatchVersionSize) == size) {
        // The caller enables the controls again.
        s.DetectedPatchVersion = readSetting(m_services.settings, settingKeys::PatchVersion);
        m_host.UpdateVersionDisplay();
        return;
    }
    trap.step([&] { detect(size); });
    m_host.UpdateVersionDisplay();
    m_host.EnableControls();
    trap.report(QStringLiteral("@GetPatchVersion"));
}

void PatchVersion::detect(qint32 size)
{
    auto &s = modMain::state();
    removeEveryCase(s.GameFolder, SwitchListName);
    const bool windowsWay = size > DosSizeLimit;
    // The DOS patch prints its help: its standard output becomes the list.
    const executables::Launch launch {s.PatchExecutable, {windowsWay ? QStringLiteral("-!S") : QStringLiteral("-h")},
        s.GameFolder, WindowMode::Hidden, s.GameFolder, windowsWay ? QString() : SwitchListName};
    const auto command = programStart::commandFor(m_services, launch);
    if (auto patch = programStart::startWatched(m_services, m_host.window(), command, launch)) {
        const auto ended = [&patch] { return patch->hasEnded(); };
        if (command.throughRunner())
            waitProcessingEvents(m_services.clock, m_services.clock.elapsedMs() + RunnerQueryLimitMs, ended);
        else
            waitTwoToThreeSeconds(m_services.clock, ended);
        // One that hangs is ended here, with the Wine or DOSBox it runs in.
    }
    emit switchListWritten();
    const QString switchList = modMain::fileIgnoringCase(s.GameFolder, SwitchListName);
    if (!modMain::fileExists(switchList)) {
        s.DetectedPatchVersion = QStringLiteral("(unknown TTDPatch version)");
        return;
    }
    s.DetectedPatchVersion = versionFromFirstLine(firstLine(switchList), windowsWay);
    writeSetting(m_services.settings, settingKeys::PatchVersion, s.DetectedPatchVersion);
    writeSetting(m_services.settings, settingKeys::PatchVersionSize, qint64(size));
    m_services.settings.sync();
}

void PatchVersion::mnuVersionGet_Click()
{
    if (modMain::fileExists(modMain::state().PatchExecutable)) {
        const bool wasOn = m_chkVersionget.isChecked();
        m_host.DisableControls();
        m_chkVersionget.setChecked(true);
        GetPatchVersion(true);
        if (!wasOn)
            m_chkVersionget.setChecked(false);
    }
    m_host.UpdateVersionDisplay();
}
