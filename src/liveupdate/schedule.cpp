// The automatic checks and the live-update tab's summary of them.
#include "liveupdate.h"

#include "common/modmain.h"
#include "platform/clock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

using modMain::uiText;

void LiveUpdate::AutoLiveUpdate()
{
    if (AutomaticUpdateDone)
        return;
    const auto &s = modMain::state();
    if (s.AutoLUMode != 0) {
        AutomaticCheck = true;
        // A check that fails keeps its date, so it is tried again at the next start that day.
        const QString today = m_services.clock.shortDate();
        if ((s.AutoLUMode == 2 || s.AutoLUMode == 3) && today != s.LastVexalCheckDate)
            CheckVexalUpdate();
        if ((s.AutoLUMode == 1 || s.AutoLUMode == 3) && today != s.LastCheckDate)
            CheckPatchUpdate();
        AutomaticCheck = false;
    }
    AutomaticUpdateDone = true;
}

void LiveUpdate::UpdateLUDisplay()
{
    auto &s = modMain::state();
    s.AutoLUMode = (c.chkUpdatePatch.isChecked() ? 1 : 0) + (c.chkUpdateVexal.isChecked() ? 2 : 0);
    QString summary;
    switch (s.AutoLUMode) {
    case 0: summary = uiText(131); break;
    case 1: summary = uiText(132) + QLatin1String(" TTDPatch."); break;
    case 2: summary = uiText(132) + QLatin1String("  Vexal Pro."); break;
    default: summary = uiText(132) + QLatin1String(" TTDPatch, Vexal Pro."); break;
    }
    c.lblCap[12]->setText(summary);
    c.lblCap[12]->setEnabled(s.AutoLUMode != 0);
}

void LiveUpdate::chkUpdatePatch_Click()
{
    UpdateLUDisplay();
    const bool ticked = c.chkUpdatePatch.isChecked();
    c.lblCap[16]->setEnabled(ticked);
    c.cboPatchServer.setEnabled(ticked);
}

void LiveUpdate::chkUpdateVexal_Click()
{
    UpdateLUDisplay();
    const bool ticked = c.chkUpdateVexal.isChecked();
    c.lblCap[20]->setEnabled(ticked);
    c.cboVexalServer.setEnabled(ticked);
}
