#pragma once

namespace velmorant {

// The whole life of the GUI program: prepares the database (exit code 1 with
// "Ошибка при открытии БД." when it cannot), creates the journal, hands over to a running
// copy (exit code 0), prepares the database again, shows the journal and runs the event loop
// until the agent confirms "Завершить работу?". Returns the exit code.
int RunProgram(int argc, char** argv);

}  // namespace velmorant
