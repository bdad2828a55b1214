#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;
class QDateEdit;

namespace velmorant {

// The program speaks Russian whatever the process locale is.

// Loads Qt's own Russian translations ("qtbase_ru" from Qt's translations folder, Debian's
// qt6-translations-l10n) into `app`, so that the standard buttons of message boxes and dialogs
// read "Да", "Нет", "Отмена". The translator belongs to `app`. Returns false when the file is
// missing (the buttons then stay in English; the program works all the same).
bool InstallQtTranslations(QCoreApplication& app);

// The folder the translations are looked up in.
QString QtTranslationsFolder();

// The locale of the program's dates, calendars and month names.
inline QLocale ProgramLocale() { return QLocale(QLocale::Russian, QLocale::Russia); }

// Makes a date picker Russian: its own locale and that of its drop-down calendar (created
// here when the picker has a calendar pop-up), so month and day names and the first day of
// the week never follow the process locale.
void UseProgramLocale(QDateEdit* picker);

}  // namespace velmorant
