#include "patchversion.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/mainwindowhost.h"
#include "common/settingkeys.h"
#include "common/waiting.h"
#include "platform/executables.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"
#include "platform/textcodec.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A switch list is a few kilobytes; its first line is all that is read.
constexpr qint64 FirstLineLimit = 4096;
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
    const QString switchList = s.GameFolder + QLatin1String("swtchlst.txt");
    s.DetectedPatchVersion = QStringLiteral("quering...");
    m_host.UpdateVersionDisplay();
    m_host.DisableControls();
    const qint32 size = cacheSize(s.PatchExecutable);
    if (!forceDetection && modMain::fileExists(switchList)
        && readSettingNumber(m_services.settings, settingKeys::PatchVersionSize) == size) {
        // The caller enables the controls again.
        s.DetectedPatchVersion = readSetting(m_services.settings, settingKeys::PatchVersion);
        m_host.UpdateVersionDisplay();
        return;
    }
    trap.step([&] { detect(size, switchList); });
    m_host.UpdateVersionDisplay();
    m_host.EnableControls();
    trap.report(QStringLiteral("@GetPatchVersion"));
}

void PatchVersion::detect(qint32 size, const QString &switchList)
{
    auto &s = modMain::state();
    modMain::deleteIfExists(switchList);
    const bool windowsWay = size > DosSizeLimit;
    // The arguments are a list: the game folder's path never passes through a shell.
    const auto command = executables::commandFor(s.PatchExecutable,
        {windowsWay ? QStringLiteral("-!S") : QStringLiteral("-h")}, runnersFrom(m_services.settings));
    if (command.isValid()) {
        if (windowsWay)
            m_services.shell.startProgram(command.program, command.arguments, s.GameFolder, WindowMode::Hidden);
        else
            m_services.shell.runToFile(command.program, command.arguments, s.GameFolder, switchList);
    }
    // The patch is not waited for: one that hangs costs these seconds and no more.
    waitTwoToThreeSeconds(m_services.clock);
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
