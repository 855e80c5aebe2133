#pragma once

#include "common/errortrap.h"
#include "common/modmain.h"

#include <QDialog>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The error report: explains a failure, shows the report text, and offers Ignore, Restart and
// Send Report. While the game settings dialog is on screen it speaks of the registry instead.
class frmError : public QDialog {
    Q_OBJECT
public:
    explicit frmError(Services &services, QWidget *parent = nullptr);

    bool registryMode() const { return m_registryMode; }
    // The report exactly as composed; the text box shows its CR LF breaks as plain line breaks.
    void setReport(const QString &reportText);
    QString report() const { return m_report; }
    static bool controlPanelShown();

    QLabel *lblTop;
    QLabel *lblMain;
    QLabel *lblSecond;
    QPlainTextEdit *txtReport;
    QPushButton *cmdIgnore;
    QPushButton *cmdRestart;
    QPushButton *cmdReport;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Activate();
    void cmdRestart_Click();
    void cmdReport_Click();

    Services &m_services;
    bool m_registryMode = false;
    QString m_report;
};

// Shows reports in the one error dialog, created on first use and kept until the program ends.
class ErrorDialogReporter final : public ErrorReporter {
public:
    explicit ErrorDialogReporter(Services &services);
    ~ErrorDialogReporter() override;
    void showReport(const QString &reportText) override;
    frmError *form() const { return m_form.get(); }

private:
    Services &m_services;
    std::unique_ptr<frmError> m_form;
};
