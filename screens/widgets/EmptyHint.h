#pragma once

namespace velmorant {

// What an empty list says on a device that has not exchanged with the office yet: the
// directories come with the exchange, under the journal's "..." menu.
inline constexpr char kDirectoriesEmpty[] =
    "Справочники пусты: выполните обмен с офисом (… → Обмен)";

}  // namespace velmorant
