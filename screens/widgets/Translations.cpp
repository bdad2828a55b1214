#include "screens/widgets/Translations.h"

#include <QCalendarWidget>
#include <QCoreApplication>
#include <QDateEdit>
#include <QLibraryInfo>
#include <QTranslator>

namespace velmorant {

QString QtTranslationsFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool InstallQtTranslations(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(ProgramLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QtTranslationsFolder())) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

void UseProgramLocale(QDateEdit* picker) {
    if (!picker) return;
    picker->setLocale(ProgramLocale());
    // The calendar is a pop-up window of its own and would take the default locale.
    if (picker->calendarPopup()) {
        if (QCalendarWidget* calendar = picker->calendarWidget()) {
            calendar->setLocale(ProgramLocale());
            calendar->setFirstDayOfWeek(ProgramLocale().firstDayOfWeek());
        }
    }
}

}  // namespace velmorant
