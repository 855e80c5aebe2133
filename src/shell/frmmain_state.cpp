// The main window's busy state, title, version display, translucency, tabs and closing.
#include "frmmain.h"

#include "cfg/documents.h"
#include "cfg/switchmarks.h"
#include "cfg/textsearch.h"
#include "common/icons.h"

#include "lang/applytexts.h"
#include "lang/flags.h"
#include "lang/modlanguage.h"
#include "liveupdate/liveupdate.h"
#include "mainwindowrules.h"
#include "options.h"
#include "platform/dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>

using modMain::uiText;

void frmMain::DisableControls()
{
    if (!m_busyCursor) {
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_busyCursor = true;
    }
    for (QWidget *control : std::initializer_list<QWidget *> {c.cboPatchServer, c.cboVexalServer, c.cboFont, c.cboSize,
             c.cmdOpen, c.cmdSave, c.cmdRun, c.cmdExit, c.cmdLU, c.cmdGetStable, c.cmdGetAlpha, c.cmdReset,
             c.lblCap[15], c.lblCap[16], c.lblCap[20], c.lblCap[26], c.lblCap[27]})
        control->setEnabled(false);
    for (QCheckBox *box : c.optionBoxes())
        box->setEnabled(false);
    for (QAction *entry : {c.mnuCheckVexal, c.mnuOpen, c.mnuSave, c.mnuSaveAndRun, c.mnuRunTTD, c.mnuRunPloven,
             c.mnuRunNarwick, c.mnuRunAlter, c.mnuRegedit, c.mnuVersionGet})
        entry->setEnabled(false);
    modMain::state().ControlsEnabled = false;
}

void frmMain::EnableControls()
{
    const auto &s = modMain::state();
    for (QWidget *control : std::initializer_list<QWidget *> {c.cboFont, c.cboSize, c.chkUpdatePatch, c.chkUpdateVexal,
             c.chkAutoload, c.chkVersionget, c.chkTicker, c.chkStatusbar, c.chkColor, c.cmdOpen, c.cmdSave, c.cmdRun,
             c.cmdExit, c.cmdLU, c.cmdReset, c.lblCap[15], c.lblCap[26], c.lblCap[27]})
        control->setEnabled(true);
    c.chkBlend->setEnabled(s.IsWin2000OrXP);
    const bool patchServer = c.chkUpdatePatch->isChecked();
    c.cboPatchServer->setEnabled(patchServer);
    c.lblCap[16]->setEnabled(patchServer);
    const bool vexalServer = c.chkUpdateVexal->isChecked();
    c.cboVexalServer->setEnabled(vexalServer);
    c.lblCap[20]->setEnabled(vexalServer);
    for (QAction *entry : {c.mnuOpen, c.mnuSave, c.mnuSaveAndRun, c.mnuRunTTD, c.mnuRunPloven, c.mnuRunNarwick,
             c.mnuRunAlter, c.mnuVersionGet})
        entry->setEnabled(true);
    c.mnuRegedit->setEnabled(s.PatchEdition == modMain::Edition::Windows);
    c.mnuCheckVexal->setEnabled(!Blocks.SelfCheck);
    c.cmdLU->setEnabled(s.AlphaDescription.isEmpty());
    c.cmdGetStable->setEnabled(!Blocks.StableInstall);
    c.cmdGetAlpha->setEnabled(!Blocks.AlphaInstall);
    c.tmrTimeout->stop();
    if (m_busyCursor) {
        QApplication::restoreOverrideCursor();
        m_busyCursor = false;
    }
    c.pgbMain->setVisible(false);
    c.pgbMain->setValue(0);
    modMain::state().ControlsEnabled = true;
}

void frmMain::UpdateStatusBar(const QString &tip1, const QString &tip2)
{
    c.stbPanels[0]->setText(tip1);
    c.stbPanels[1]->setText(tip2);
}

void frmMain::UpdateLUDisplay()
{
    m_liveUpdate->UpdateLUDisplay();
}

int frmMain::selectedTab() const
{
    return c.TabStrip1->currentIndex();
}

bool frmMain::tabStripVisible() const
{
    return !c.TabStrip1->isHidden();
}

void frmMain::UpdateVersionDisplay()
{
    auto &s = modMain::state();
    const auto display = mainWindowRules::versionDisplay(s.DetectedPatchVersion, s.PatchEdition);
    s.ProgramTitle = mainWindowRules::programTitle(s.ProgramVersion, display.status);
    c.lblCap[6]->setText(display.status);
    UpdateStatusBar(display.status, display.tip2);
    setNumberedIcon(*c.imgPatchVersion, display.icon);
    if (!s.IsWin2000OrXP)
        setWindowTitle(s.ProgramTitle);
    else
        startTitleAnimation(mainWindowRules::titleLengthAfterVersion(s.ProgramVersion));
}

void frmMain::startTitleAnimation(int fromLength)
{
    TitleLength = fromLength;
    c.tmrTitlebar->start();
}

void frmMain::tmrTitlebar_Timer()
{
    const QString &title = modMain::state().ProgramTitle;
    TitleLength = mainWindowRules::nextTitleLength(TitleLength);
    if (TitleLength >= title.size())
        c.tmrTitlebar->stop();
    setWindowTitle(title.left(TitleLength));
}

void frmMain::ApplyInterfaceTexts()
{
    applyInterfaceTexts(*this, *this, modMain::state());
    showProblemCount();
}

void frmMain::showProblemCount()
{
    const SwitchMarks &marks = m_documents->switchMarks();
    c.lblProblems->setVisible(marks.active());
    c.lblProblems->setText(
        QString(uiText(195)).replace(QLatin1String("#COUNT#"), QString::number(marks.problemCount())));
}

void frmMain::tmrLanguage_Timer()
{
    auto &s = modMain::state();
    const int position = c.cboLanguage->currentIndex();
    if (position == m_lastSeenListPosition)
        return;
    const int row = modLanguage::rowOfDisplayName(s, c.cboLanguage->currentText());
    if (row >= 0) {
        s.LanguageName = s.LanguageTable.at(row).name;
        s.LanguageIndex = row;
        setFlag(*c.imgFlag, row, s.LanguageName);
        modLanguage::loadInterfaceTexts(s, m_resources);
        ApplyInterfaceTexts();
    }
    m_lastSeenListPosition = position;
}

void frmMain::showTabStrip(int tab)
{
    c.TabStrip1->setVisible(true);
    if (c.TabStrip1->currentIndex() == tab)
        TabStrip1_Click(tab);
    else
        c.TabStrip1->setCurrentIndex(tab);
}

void frmMain::TabStrip1_Click(int index)
{
    m_search->reset();
    for (int i = 0; i < int(c.picOptions.size()); ++i)
        c.picOptions[std::size_t(i)]->setEnabled(i == index);
    if (!tabStripVisible())
        return;
    c.showPanel(std::size_t(index));
    if (std::size_t(index) == MainWindowControls::SettingsPanel)
        m_liveUpdate->acceptTypedServers();
}

void frmMain::chkBlend_Click(bool ticked)
{
    auto &s = modMain::state();
    c.sldBlend->setEnabled(ticked);
    c.lblCap[14]->setEnabled(ticked);
    s.BlendEnabled = ticked;
    if (ticked)
        s.BlendLevel = c.sldBlend->value();
    modMain::setTranslucency(*this, ticked ? s.BlendLevel : 255, true);
}

void frmMain::sldBlend_Change(int value)
{
    auto &s = modMain::state();
    s.BlendLevel = value;
    modMain::setTranslucency(*this, value, true);
}

void frmMain::chkStatusbar_Click(bool ticked)
{
    const int barHeight = c.stbMain->sizeHint().height();
    if (!ticked) {
        c.stbMain->hide();
        resize(width(), height() - barHeight);
    } else {
        resize(width(), height() + barHeight);
        c.stbMain->show();
    }
}

bool frmMain::Form_QueryUnload()
{
    if (modMain::state().ControlsEnabled)
        return true;
    const Answer answer = m_services.dialogs.message(
        this, {modMain::ProductName, uiText(130), MessageIcon::Exclamation, MessageButtons::YesNo, Answer::No});
    return answer == Answer::Yes;
}

void frmMain::Form_Unload()
{
    auto &s = modMain::state();
    options::SaveOptions(c, m_services.settings, s);
    UpdateLUDisplay();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}
