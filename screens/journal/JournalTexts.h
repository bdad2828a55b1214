#pragma once

// The texts of the journal window, exactly as the agent sees them.
namespace velmorant::journal_text {

inline constexpr char kCaption[] = "Агент продаж";

inline constexpr char kColumnState[] = " ";
inline constexpr char kColumnDate[] = "Дата";
inline constexpr char kColumnClient[] = "Клиент";
inline constexpr char kColumnWeight[] = "Кол-во";
inline constexpr char kColumnSum[] = "Сумма";

inline constexpr char kMenuNew[] = " Новый ";
inline constexpr char kMenuEdit[] = " Редакт. ";
inline constexpr char kMenuDelete[] = " Удалить ";
inline constexpr char kMenuMore[] = "  ...  ";
inline constexpr char kMenuRepeat[] = " Повторить ";
inline constexpr char kMenuExchange[] = "Обмен с центр. БД";
// " Сообщения ", or with unread ones " Сообщения (2) ".
inline constexpr char kMenuMessages[] = " Сообщения ";
inline constexpr char kMenuRefresh[] = "Обновить";
inline constexpr char kMenuPeriod[] = "Выбор периода";
inline constexpr char kMenuSettings[] = "Настройки";
inline constexpr char kMenuAbout[] = "О программе";
inline constexpr char kMenuExit[] = "Выход";

inline constexpr char kBadDate[] = "???";
inline constexpr char kListQueryFailed[] = "Ошибка при выполнении запроса (список документов).";
inline constexpr char kDateChanged[] = "Сменилась дата. Установить новую дату в журнале?";
inline constexpr char kDeleteQuestion[] = "Удалить документ?";
inline constexpr char kQuitQuestion[] = "Завершить работу?";

}  // namespace velmorant::journal_text
