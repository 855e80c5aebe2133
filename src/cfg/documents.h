#pragma once

#include "cfg/cfgrules.h"
#include "common/modmain.h"
#include "platform/dialogs.h"

#include <QObject>

class MainWindowHost;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPlainTextEdit;
class SwitchMarks;

// The configuration file and the new-graphics list of the game folder: opening, reading into the
// editors and saving back.
class ConfigDocuments : public QObject {
    Q_OBJECT
public:
    struct Controls {
        QPlainTextEdit &rtbPatch;
        QPlainTextEdit &rtbGrf;
        QListWidget &flbGrf;
        const QComboBox &cboSize;
        const QCheckBox &chkColor;
    };

    ConfigDocuments(Services &services, MainWindowHost &host, Controls controls, QObject *parent = nullptr);

    // Files larger than this are refused: a configuration is a few kilobytes.
    static constexpr qint64 MaximumFileSize = 8 * 1024 * 1024;

    // The Open command: the file dialog, then ReadSettings.
    void LoadSettings();
    // Reads CfgFileName and the edition's new-graphics list into the editors.
    void ReadSettings();
    void SaveSettings(bool runAfter, bool &closeAfter);
    // A file dropped on the configuration editor: only a .cfg file opens.
    void openDropped(const QString &path);
    // A file named on the command line.
    void openFile(const QString &path);
    // The first activation of the main window: the last file again, when wanted and still there.
    void reopenLast(const SettingsStore &settings);
    // Whether reopenLast will open a file.
    static bool reopensLast(const SettingsStore &settings);
    // The newgrf folder's graphics files, again.
    void refreshGraphicsFiles();

    // The open document: after a successful open RecentFile1 is its path; before, there is none.
    QString openDocument() const;
    // What the configuration editor knows of the patch's switches.
    SwitchMarks &switchMarks() { return *m_switchMarks; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refuse(const QString &text, MessageIcon icon);
    void rememberRecent();
    void readConfiguration();
    void readList();
    // Reads a file into an editor: its lines as `linesOf` keeps them, coloured by `kindOf`.
    void readInto(QPlainTextEdit &editor, const QString &path, QStringList (*linesOf)(const QStringList &),
        cfgRules::LineKind (*kindOf)(QStringView));
    void prepareGraphicsFolder();
    void writeFile(const QString &path, const QString &text);

    Services &m_services;
    MainWindowHost &m_host;
    Controls c;
    QString m_graphicsFolder;
    SwitchMarks *m_switchMarks = nullptr;
};
