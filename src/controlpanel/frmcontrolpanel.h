#pragma once

#include "registryaccess.h"

#include <QDialog>

#include <array>

class ErrorReporter;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
struct Services;

// The game's own settings in the registry of its Wine prefix: display mode, music hardware, safe
// mode and installation path. It is left only through OK, which always saves.
class frmControlPanel : public QDialog {
    Q_OBJECT
public:
    // The values the game keeps, derived from a display mode.
    struct DisplayMode {
        quint32 ForceDIBSection, Fullscreen, MousePointer, UpdateMode;
        std::array<int, 4> descriptionTexts; // interface texts of the description lines; 0 for none
    };
    static const std::array<DisplayMode, 5> DisplayModes;
    static constexpr int RecommendedDisplayMode = 4;
    static constexpr int RecommendedMusic = 2;
    static inline const QString SubKey = QStringLiteral("Software\\FISH Technology Group\\Transport Tycoon Deluxe");

    // `prefix` is the Wine prefix of the game folder; `serverRoot` where Wine keeps its servers.
    frmControlPanel(Services &services, ErrorReporter &reporter, const QString &prefix,
        const QString &serverRoot = QStringLiteral("/tmp"), QWidget *parent = nullptr);

    void SaveRegSettings();
    void cmdReset_Click();
    void tmrMain_Timer();
    RegistryAccess &registry() { return m_registry; }

    QComboBox *Combo1;
    QComboBox *Combo2;
    QCheckBox *chkSafe;
    QLineEdit *txtHDPath;
    QPushButton *cmdReset;
    QPushButton *cmdOK;
    std::array<QLabel *, 9> lblMisc {};
    QGroupBox *fraDisplay;
    QGroupBox *fraMusic;
    QGroupBox *fraPath;
    std::array<QFrame *, 5> Line {}; // Line1 to Line5
    QTimer *tmrMain;

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void Form_Activate();
    void applyRecommended();
    // Waits, with the person's consent, until the registry may be written; false to leave it.
    bool registryWritable();
    void placeLine1(int bottomTwips);

    Services &m_services;
    ErrorReporter &m_reporter;
    RegistryAccess m_registry;
    // The derived values of the chosen display mode, as the save writes them.
    quint32 m_forceDibSection = 0, m_fullscreen = 0, m_mousePointer = 0, m_updateMode = 0;
};
