// The patch release check: the patch server's version file read into the settings and the tab.
#include "liveupdate.h"

#include "common/basictext.h"
#include "common/errortrap.h"
#include "common/forceforeground.h"
#include "common/links.h"
#include "common/mainwindowhost.h"
#include "common/modmain.h"
#include "common/settingkeys.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/textcodec.h"

#include <QLabel>
#include <QPushButton>
#include <QUrl>

using modMain::uiText;
namespace rules = liveUpdateRules;

QString LiveUpdate::versionFileValue(QLatin1String section, const QString &key)
{
    return modMain::readIniString(section, key, rules::Missing, modMain::state().PatchUpdateTmpPath);
}

QStringList LiveUpdate::versionFileLines()
{
    const auto &s = modMain::state();
    return basicText::lineInputLines(TextCodec(s.AnsiCodePage).decode(modMain::readWholeFile(s.PatchUpdateTmpPath)));
}

void LiveUpdate::CheckPatchUpdate()
{
    auto &s = modMain::state();
    ErrorTrap trap(&m_host.errorReporter());
    const auto finish = [&] { trap.report(QStringLiteral("@ CheckPatchUpdate")); };
    const QString server = patchServer();
    if (!startRun(server))
        return;
    ServerKind = rules::ServerKind::Patch;
    trap.step([&] { DownloadFile(server + QLatin1String("_versions.txt"), s.PatchUpdateTmpPath, true); });
    if (DownloadFailed) {
        NoConnectionFound();
        return finish();
    }
    trap.step([&] { FixTextFile(s.PatchUpdateTmpPath); });
    trap.step([&] {
        s.LatestStable = versionFileValue(rules::StableSection, QStringLiteral("version"));
        s.LatestStableDate = versionFileValue(rules::StableSection, QStringLiteral("date"));
        s.LatestAlphaDate = versionFileValue(rules::AlphaSection, QStringLiteral("date"));
        Newest = versionFileValue(rules::SwitchesSection, QStringLiteral("newest"));
        Newer = versionFileValue(rules::SwitchesSection, QStringLiteral("newer"));
        New = versionFileValue(rules::SwitchesSection, QStringLiteral("new"));
    });
    const QString alpha = versionFileValue(rules::AlphaSection, QStringLiteral("version"));
    if (alpha == rules::Missing) {
        NoConnectionFound();
        c.cmdLU.setEnabled(true);
        m_services.dialogs.message(
            m_host.window(), {modMain::ProductName, uiText(88), MessageIcon::Critical, MessageButtons::Ok});
        return finish();
    }
    trap.step([&] { s.AlphaDescription = rules::alphaDescription(versionFileLines()); });
    if (alpha != s.LatestAlpha) {
        s.LatestAlpha = alpha;
        c.imgNew.setVisible(true);
        modForceFore::ForceForeground(*m_host.window());
        const Answer answer = m_services.dialogs.message(m_host.window(),
            {QStringLiteral("AutoUpdate: TTDPatch"),
                rules::announcement(QStringLiteral("TTDPatch"), alpha, s.LatestAlphaDate), MessageIcon::Exclamation,
                MessageButtons::YesNo});
        if (answer == Answer::Yes) {
            s.UpdateKind = AlphaBeta;
            trap.step([&] { LiveUpdateNow(); });
        }
    }
    s.LastCheckDate = m_services.clock.shortDate();
    showReleaseLabels();
    LiveUpdateEvent(uiText(68) + QLatin1Char('.'));
    setStatusLine(uiText(87));
    c.cmdInfo.setEnabled(true);
    c.cmdDetails.setEnabled(true);
    // The install buttons have something to install once a version file has been read.
    m_host.blocks().StableInstall = m_installed[Stable];
    m_host.blocks().AlphaInstall = m_installed[AlphaBeta];
    m_host.EnableControls();
    finish();
}

void LiveUpdate::showReleaseLabels()
{
    const auto &s = modMain::state();
    c.lblCap[1]->setText(uiText(78) + s.LatestStable);
    c.lblCap[2]->setText(uiText(95) + s.LatestStableDate);
    c.lblCap[4]->setText(uiText(78) + s.LatestAlpha);
    c.lblCap[5]->setText(uiText(95) + s.LatestAlphaDate);
    c.lblCap[11]->setText(uiText(79) + s.LastCheckDate);
}

void LiveUpdate::cmdDetails_Click()
{
    modMain::openDocument(m_services,
        links::addressOf("cmdDetails")
            + QString::fromLatin1(QUrl::toPercentEncoding(QStringLiteral("TTDPatch ") + modMain::state().LatestAlpha)));
}
