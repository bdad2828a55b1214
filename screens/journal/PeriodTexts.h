#pragma once

// The texts of the period dialog, exactly as the agent sees them.
namespace velmorant::period_text {

inline constexpr char kCaption[] = "Выбор периода";
inline constexpr char kOk[] = "[ OK ]";
inline constexpr char kCancel[] = "[ Отмена ]";
inline constexpr char kYear[] = "Год";
inline constexpr char kQuarter[] = "Квартал";
inline constexpr char kMonth[] = "Месяц";
inline constexpr char kDay[] = "День";
inline constexpr char kFromYearStart[] = "С начала года";
inline constexpr char kFromQuarterStart[] = "С начала квартала";
inline constexpr char kFromMonthStart[] = "С начала месяца";
inline constexpr char kInterval[] = "Интервал";
inline constexpr char kFrom[] = "с";
inline constexpr char kTo[] = "по";
inline constexpr char kAll[] = "Все документы журнала";
inline constexpr char kPrevious[] = "<";
inline constexpr char kNext[] = ">";
inline constexpr char kYearSuffix[] = " г.";
inline constexpr char kQuarterWord[] = " квартал ";
inline constexpr char kUnknownMonth[] = "???";
inline constexpr const char* kQuarterNumerals[] = {"I", "II", "III", "IV"};
inline constexpr const char* kMonthNames[] = {"Январь",   "Февраль", "Март",   "Апрель",
                                              "Май",      "Июнь",    "Июль",   "Август",
                                              "Сентябрь", "Октябрь", "Ноябрь", "Декабрь"};

}  // namespace velmorant::period_text
