#pragma once

// What the days of the agent's typical day share: the program started on a temporary program
// folder loaded with the demo directories, the office simulator's FTP server, the message
// boxes answered by clicking, and the taps on the program's real windows.

#include <QJsonObject>
#include <QMessageBox>
#include <QSignalSpy>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OfficeServer.h"
#include "core/db/Notifier.h"
#include "screens/shell/Startup.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/QtText.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

class QTreeWidget;
class QWidget;

namespace velmorant {
class ExchangeScreen;
class JournalWindow;
class MenuBar;
class TGoodsPicker;
}  // namespace velmorant

namespace velmorant::test {

// The demo client chosen by typing the start of its name; quotes and "ё" travel to the
// office inside an XML attribute.
inline const QString kClientName = ToQString("АО \"Кедр\", Вышний Волочёк");
inline const std::string kClientGuid = "CC2BB516-A34E-49C0-910A-688DFC945A70";
inline const QString kNote = ToQString("Звонить <до 10> & \"срочно\"");
inline const QString kOfficeMessage = ToQString("Хорошего дня!");

// ---- message boxes -------------------------------------------------------------------------

struct ShownBox {
    QString text;
    MessageIcon icon;
    MessageButtons buttons;
    QString caption;
};

// Shows the core's boxes as the program does (real QMessageBox over the journal) and clicks
// the answer set for the box's text; other boxes get OK, No or Cancel. Records every box.
class AnsweringBoxes : public Notifier {
public:
    AnsweringBoxes() { m_previous = setNotifier(this); }
    ~AnsweringBoxes() override { setNotifier(m_previous); }

    void answer(const QString& text, MessageAnswer a) { m_answers[text] = a; }
    const std::vector<ShownBox>& shown() const { return m_shown; }
    QStringList texts() const;
    void clear() { m_shown.clear(); }

    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

private:
    static MessageAnswer fallback(MessageButtons buttons);
    static QMessageBox::StandardButton standardButton(MessageAnswer a);

    MessageBoxNotifier m_real;
    Notifier* m_previous = nullptr;
    std::map<QString, MessageAnswer> m_answers;
    std::vector<ShownBox> m_shown;
    std::shared_ptr<std::vector<ShownBox>*> m_alive =
        std::make_shared<std::vector<ShownBox>*>(&m_shown);
};

// ---- driving the controls ------------------------------------------------------------------
// These report a control that is missing or disabled (false, with a warning) instead of
// stopping the run, so that the day's own checks tell what went wrong.

// Taps the top-level command `caption` of a menu bar.
bool Tap(MenuBar* bar, const QString& caption);
// Opens the drop-up menu `top` with a tap and taps its entry `item`.
bool Choose(MenuBar* bar, const QString& top, const QString& item);
// Taps row `row` of a list; true when it became the current row.
bool SelectRowByTap(QTreeWidget* list, int row);
// Opens the folder `name` through the picker's drop-down folder tree.
bool OpenFolder(TGoodsPicker* picker, const QString& name);
// The state picture of a journal row (the index in the journal's state images), -1 for none.
int StateIcon(const JournalWindow& journal, int row);
// The texts of the exchange log's entries, without their time stamps.
QStringList LogTexts(ExchangeScreen* screen);

// ---- the database --------------------------------------------------------------------------

bool Exec(const std::string& sql);
bool SetOption(const std::string& name, const std::string& value);
// The value of `column` in the first row of `sql`; "<none>" without rows.
std::string Value(const std::string& sql, const std::string& column);
int Count(const std::string& table, const std::string& where = "1=1");

// ---- the office side -----------------------------------------------------------------------

std::string Quote(const std::string& s);
// The export file the office received, read by the office simulator's strict XML reader.
std::optional<QJsonObject> ReadReceived(const std::filesystem::path& file, QString* error);
QString TodayIso(const Clock& clock);

// ---- the day -------------------------------------------------------------------------------

// One run of the day, in one of the ways the office and the device may be set up, and what
// its steps hand on to each other.
struct TypicalDay {
    // The data row.
    bool zip = false;
    std::string path;        // FTPPath; empty: the server root
    bool automatic = false;  // FTPAuto: the screen exchanges and closes by itself
    QString login;           // FTPAuth with this login; empty: anonymous
    std::string password = "s3cr;et Пароль";

    // The program's clock stands still, so that a run across midnight sees one day throughout.
    FixedClock clock;
    TempProgramFolder program;
    TempDir work;
    std::string src = VELMORANT_SOURCE_DIR;
    std::filesystem::path officeRoot;
    std::filesystem::path officeFolder;
    std::vector<std::string> serverArgs;  // the server's arguments of every day
    std::unique_ptr<OfficeServer> office;
    std::unique_ptr<AnsweringBoxes> boxes;
    std::unique_ptr<StartedProgram> started;
    JournalWindow* journal = nullptr;
    std::unique_ptr<QSignalSpy> loads;  // the journal's rowsLoaded
    MenuBar* journalBar = nullptr;
    QString more;  // the journal's "..." menu

    // Handed on from the first day to the later one.
    std::string guid;            // the document written on the first day
    std::string doc;             // "GUID='...'" of it
    std::filesystem::path sent;  // where the office receives the export
    std::string lastLoad;        // LLD_Def after the first day's load
    QString success;             // the automatic exchange's closing message
};

// The morning: the program folder with the demo directories, the office's server with its
// first answer, the options, and the program started with its journal loaded.
void StartDay(TypicalDay& day);
// The exchange screen from the journal's menu, run to its end.
void ExchangeFromJournal(TypicalDay& day);
// The first day: an order written, sent, taken over by the office, no longer editable.
void FirstDay(TypicalDay& day);
// A later day: the office orders old documents deleted and sends a message.
void LaterDay(TypicalDay& day);

}  // namespace velmorant::test
