#pragma once

#include "common/modmain.h"
#include "startup.h"

#include <QDialog>

#include <memory>

class ErrorDialogReporter;
class QGroupBox;
class QLabel;
class QPushButton;
class StringResources;
class frmMain;

// The start-up object: prepares the process-wide state, checks the components and opens the
// main window. It shows itself only as the page of missing components.
class frmComponents : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { MainWindowShown, ComponentsMissing, RefusedNetworkFolder };

    frmComponents(Services &services, const StringResources &resources, StartupEnvironment environment,
        QList<Component> components = standardComponents());
    ~frmComponents() override;

    // The start-up sequence.
    Outcome Form_Load();
    // A configuration file named on the command line, opened when the main window first shows.
    void setFileToOpen(const QString &path) { m_fileToOpen = path; }

    // The main window once it has opened.
    frmMain *mainWindow() const { return m_main.get(); }
    ErrorDialogReporter &errorReporter() { return *m_reporter; }

    // The page's controls: built by Form_Load when a component is missing, absent otherwise
    // (building them cost a start with every component present a noticeable part of its time).
    QGroupBox *fraProblem = nullptr;
    QGroupBox *fraSolution = nullptr;
    QLabel *imgProblem = nullptr;
    QLabel *lblProblem = nullptr;
    QList<QLabel *> Label2;
    QList<QLabel *> Label3;
    QLabel *imgSolution = nullptr;
    QLabel *lblSolution = nullptr;
    QLabel *lblMainsite = nullptr;
    QLabel *lblMirror1 = nullptr;
    QLabel *imgInfo = nullptr;
    QLabel *lblInfo = nullptr;
    QPushButton *cmdIgnore = nullptr;
    QPushButton *cmdExit = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void checkComponents();
    void buildPage();
    void showMainWindow();
    void putTexts();
    void cmdIgnore_Click();
    void lblInfo_MouseDown();

    Services &m_services;
    const StringResources &m_resources;
    StartupEnvironment m_environment;
    QList<Component> m_components;
    std::unique_ptr<ErrorDialogReporter> m_reporter;
    std::unique_ptr<frmMain> m_main;
    QString m_fileToOpen;
};
