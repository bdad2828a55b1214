#pragma once

#include <QAction>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "core/exchange/ExchangeGuard.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/HeldMessages.h"
#include "core/exchange/ImportLoop.h"
#include "screens/exchange/QtTransferLoop.h"
#include "screens/widgets/Form.h"

namespace velmorant {

// The texts of the exchange screen, exactly as the agent sees them.
namespace exchange_text {
inline constexpr char kCaption[] = "Обмен с сервером";
inline constexpr char kMenuExchange[] = " Обмен... ";
inline constexpr char kMenuSend[] = "FTP - отправить";
inline constexpr char kMenuFetch[] = "FTP - получить";
inline constexpr char kMenuExport[] = "Выгрузить";
inline constexpr char kMenuImport[] = "Загрузить";
inline constexpr char kMenuClose[] = " Закрыть ";
inline constexpr char kMenuAbort[] = " Прервать ";
inline constexpr char kChooseFolder[] = "Выберите папку";
// Why "FTP - отправить" and "FTP - получить" are greyed: said in the empty log and as their
// tooltips.
inline constexpr char kFtpNotSet[] =
    "FTP не настроен: включите «FTP - соединение» и укажите сервер (… → Настройки → Связь)";
inline constexpr char kFetchQuestion[] = "Загрузить данные с сервера?";
inline constexpr char kSuccess[] = "Успешно!\r\n";
inline constexpr char kFailure[] = "Произошла ошибка!\r\nПоследнее сообщение: \r\n";
inline constexpr char kBusy[] = "Идёт обмен с сервером. Дождитесь его окончания.";
}  // namespace exchange_text

// The exchange screen "Обмен с сервером": a progress bar across the top, the time-stamped
// exchange log below it, and the menu " Обмен... " (send and fetch over FTP, export into and
// import from a chosen folder) and " Закрыть ". It is the ExchangePort that the export, the
// import and the FTP transfer report to. Every time it is shown it reloads its settings from
// MY_OPTIONS; with FTPAuto it starts a full exchange by itself 200 ms later and reports the
// outcome (success closes the screen, failure offers Retry and Cancel).
//
// Every operation runs on the user-interface thread. The export blocks the screen; an FTP
// transfer runs the event loop while it waits, and an import serves it between the answer's
// statements and from inside long ones (the screen is its ImportLoop), so the screen stays
// alive and offers " Прервать ", which stops the transfer or the import. Message boxes and
// transfers run nested event loops, so the busy flag refuses every command, the close command,
// closing the window and the start timer while an operation runs. The screen deletes itself when it
// is closed.
//
// The screens of the program share one ExchangeGuard with the automatic exchange (which runs
// on a screen of this kind that is never shown): a command given while another screen's
// exchange runs is refused with kBusy.
class ExchangeScreen : public Form, public ExchangePort, public ImportLoop {
    Q_OBJECT
public:
    static constexpr int kStartDelayMs = 200;

    // How an exchange run by RunAutomaticExchange() went.
    struct AutomaticRun {
        bool started = false;                  // false: another exchange ran, or FTP is not set up
        bool ok = false;                       // sent, and the answer fetched and run to its end
        int sent = 0;                          // documents the upload delivered
        std::string lastMessage;               // the last log entry, without its time
        std::vector<HeldMessages::Box> boxes;  // what the run would have shown
    };

    // Builds the screen hidden; the caller shows it. `clock` outlives the screen, and so does
    // `guard`, the guard it shares with other exchanges (none: a guard of its own).
    explicit ExchangeScreen(const Clock& clock, QWidget* parent = nullptr,
                            ExchangeGuard* guard = nullptr);
    ~ExchangeScreen() override;

    // ExchangePort
    void AddLogLine(const std::string& text) override;
    const Clock& ExchangeClock() const override { return m_clock; }
    std::string ChooseFolder() override;
    ExchangeProgress& Progress() override;
    const TAppOptions& Options() const override { return m_options; }

    // ImportLoop: " Прервать " is offered while an import runs its statements.
    void running(bool on) override;
    bool serve() override;
    // The day's copy an import owes is made on the event loop after it (DayCopy), under the
    // screen's parent, which outlives the screen (the journal).
    bool copyDayLater(DateTime day) override;

    // Sends over FTP and, when the agent agrees, fetches and imports; in automatic mode
    // reports the outcome. Does nothing while busy.
    void RunFullExchange();
    // The whole exchange without the agent: the settings read afresh (FTPAuto starts
    // nothing), the log emptied, the documents sent, the answer fetched and run as if
    // "Загрузить данные с сервера?" had been answered Yes. It shows no box: the boxes of the
    // run are returned (those of a failed run are also added to the log); boxes of what the
    // agent does meanwhile are shown as usual.
    AutomaticRun RunAutomaticExchange();
    // Shows the log of an earlier run in a screen that has not logged anything yet, instead of
    // starting an exchange of its own (FTPAuto); does nothing otherwise.
    void showEarlierRun(const QString& log);
    // Fetches over FTP and imports ("FTP - получить").
    void fetch();
    // Export into and import from a folder the agent chooses ("Выгрузить", "Загрузить").
    void exportToFolder();
    void importFromFolder();

    bool busy() const { return m_busy; }
    QPlainTextEdit* log() const { return m_log; }
    QProgressBar* progressBar() const { return m_progressBar; }
    QTimer* startTimer() const { return m_startTimer; }
    QAction* sendCommand() const { return m_send; }
    QAction* fetchCommand() const { return m_fetch; }
    QAction* exportCommand() const { return m_export; }
    QAction* importCommand() const { return m_import; }
    QAction* closeCommand() const { return m_close; }
    // " Прервать ": shown only while a transfer or an import runs.
    QAction* abortCommand() const { return m_abort; }
    QtTransferLoop* transferLoop() const { return m_transferLoop; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class BarProgress;
    class BusyGuard;

    // Keeps the settings just read: the FTP commands follow UseFTP, the start timer FTPAuto.
    void applyOptions(const TAppOptions& options);
    void setStartTimer(bool on);
    void onStartTimer();
    void reportOutcome(bool ok);
    // True (after saying so when another screen's exchange runs) when no operation may start.
    bool refused();
    std::string lastLogMessage() const;

    const Clock& m_clock;
    TAppOptions m_options;
    QPlainTextEdit* m_log = nullptr;
    QProgressBar* m_progressBar = nullptr;
    std::unique_ptr<BarProgress> m_progress;
    QTimer* m_startTimer = nullptr;
    QAction* m_send = nullptr;
    QAction* m_fetch = nullptr;
    QAction* m_export = nullptr;
    QAction* m_import = nullptr;
    QAction* m_close = nullptr;
    QAction* m_abort = nullptr;
    QtTransferLoop* m_transferLoop = nullptr;
    bool m_busy = false;
    ExchangeGuard m_ownGuard;
    ExchangeGuard& m_guard;
    HeldMessages* m_held = nullptr;  // during RunAutomaticExchange
    bool m_importStop = false;       // " Прервать " was chosen during the running import
};

}  // namespace velmorant
