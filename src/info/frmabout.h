#pragma once

#include <QDialog>

#include <functional>
#include <optional>

struct Services;
class QLabel;
class QPushButton;
class QTimer;

// The About box: version, notices, the maker's site and mail, and the free-memory line that
// follows the machine while the box is open.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // Bytes of physical memory available now; empty when the machine does not say.
    using MemorySource = std::function<std::optional<qint64>()>;
    static std::optional<qint64> systemAvailableBytes();

    explicit frmAbout(
        Services &services, QWidget *parent = nullptr, MemorySource availableBytes = &frmAbout::systemAvailableBytes);

    // The amount in kilobytes as the memory line shows it: bytes / 1024 written out in full,
    // so that a fraction of a kilobyte is neither rounded nor put in exponent form.
    static QString kilobytesText(qint64 bytes);
    // What the credit box says about the zip library this build unpacks with.
    static QString zipLibraryCredit();

    QPushButton *cmdOK;
    QLabel *imgIcon;
    QLabel *lblVersion;
    QLabel *lblTtdp;
    QLabel *lblCopyr;
    QLabel *lblBrakemoor;
    QLabel *lblVexalsite;
    QLabel *lblInfoZip;
    QLabel *lblFree;
    QLabel *lblMemo;
    QTimer *tmrMemo;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Activate();
    void ShowFreeMemory();
    void lblVexalsite_Click();
    void lblBrakemoor_Click();
    void lblInfoZip_Click();

    Services &m_services;
    MemorySource m_availableBytes;
};
