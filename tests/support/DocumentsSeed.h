#pragma once

// Directories and options for the document screens' tests, written into the real base.sdb of
// a temporary program folder.

#include <QAction>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "support/Controls.h"
#include "support/TestSupport.h"

namespace velmorant::test {

inline void ExecOrFail(const std::string& sql) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q || !q->Exec(sql)) qFatal("statement failed: %s", sql.c_str());
}

inline void SetOption(const std::string& name, const std::string& value) {
    ExecOrFail("delete from MY_OPTIONS where OPT_NAME=" + SqlQuoted(Trim(name)) +
               "; insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (" + SqlQuoted(Trim(name)) +
               ", " + SqlQuoted(Trim(value)) + ")");
}

// Three clients in UNAME order "ИП Запретов" (shipment forbidden), "Иванов И.И.",
// "ООО Ромашка", and a group that is never listed.
inline void SeedClients() {
    ExecOrFail(
        "insert into SPR_CLIENTS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, INFO) "
        "values "
        "('C-ROMASHKA', 1, 0, 0, 0, 'ООО Ромашка', 'ромашка', 'ул. Садовая, 1|тел. 22-33-44'),"
        "('C-IVANOV', 2, 0, 0, 0, 'Иванов И.И.', 'иванов', 'рынок, место 7'),"
        "('C-FORBIDDEN', 3, 0, 0, 1, 'ИП Запретов', 'запретов', 'долг'),"
        "('C-GROUP', 4, 0, 1, 0, 'Иванов и группа', 'ив-группа', '')");
}

// Two top-level folders "Напитки" (with the sub-folder "Соки") and "Бакалея"; goods in
// catalogue order Квас 35.00, Вода 20.50, Рис 80.00, Сок 55.00.
inline void SeedGoods() {
    ExecOrFail(
        "insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) "
        "values "
        "('F-DRINKS', 1, 0, 1, 0, 'Напитки', '1', 0),"
        "('F-GROCERY', 2, 0, 1, 0, 'Бакалея', '2', 0),"
        "('F-JUICE', 3, 1, 1, 0, 'Соки', '3', 0),"
        "('G-KVASS', 10, 1, 0, 0, 'Квас', 'a', 35),"
        "('G-WATER', 11, 1, 0, 0, 'Вода', 'b', 20.5),"
        "('G-RICE', 12, 2, 0, 0, 'Рис', 'c', 80),"
        "('G-JUICE', 13, 3, 0, 0, 'Сок', 'd', 55)");
}

}  // namespace velmorant::test
