#pragma once

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>

#include "core/exchange/ExchangeSettings.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

// The settings dialog "Настройки": the page "Связь" with the ten exchange options in their
// controls, and the page "Настройки" listing every other option of MY_OPTIONS with its value
// editable in place. "[ OK ]" rewrites MY_OPTIONS (SaveExchangeSettings) and ends the dialog
// with result 1; "[ Отмена ]" ends it with result 2 without writing. A failed save keeps the
// dialog open with the options as they were. Controls carry object names for tests:
// useFtp, ftpAuto, ftpAddress, ftpPort, ftpPath, ftpSecure, ftpAuth, ftpLogin, ftpPassword, useZip,
// autoExchange, answerKey, options (the list), pages (the tab control).
class SettingsDialog : public Dialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);

    // Reads MY_OPTIONS into the controls and selects the page "Связь". When the table cannot
    // be read (the database layer has shown why) "[ OK ]" stays disabled: saving would
    // replace options that were never shown. Returns whether the options were read.
    bool load();

    // The controls' contents as the model that saving writes.
    ExchangeSettings settings() const;
    void setSettings(const ExchangeSettings& settings);

    QAction* okCommand() const { return m_ok; }
    QAction* cancelCommand() const { return m_cancel; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildConnectionPage();
    QWidget* buildOptionsPage();
    void applyEnablingRule();
    void fitValueColumn();
    void save();

    QTabWidget* m_pages = nullptr;
    QCheckBox* m_useFtp = nullptr;
    QCheckBox* m_ftpAuto = nullptr;
    QLabel* m_addressLabel = nullptr;
    QLineEdit* m_address = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_autoExchangeLabel = nullptr;
    QLineEdit* m_autoExchange = nullptr;
    QLabel* m_autoExchangeHint = nullptr;
    QLabel* m_answerKeyLabel = nullptr;
    QLineEdit* m_answerKey = nullptr;
    QLabel* m_pathLabel = nullptr;
    QLineEdit* m_path = nullptr;
    QCheckBox* m_ftpSecure = nullptr;
    QCheckBox* m_ftpAuth = nullptr;
    QLabel* m_loginLabel = nullptr;
    QLineEdit* m_login = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_useZip = nullptr;
    QTableWidget* m_options = nullptr;
    QAction* m_ok = nullptr;
    QAction* m_cancel = nullptr;
};

// Builds the dialog over `parent`, loads it, runs it modally and frees it. True when
// "[ OK ]" saved and closed it. This is what the journal's menu entry "Настройки" runs.
bool RunSettingsDialog(QWidget* parent);

}  // namespace velmorant
