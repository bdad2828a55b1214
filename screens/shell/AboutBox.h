#pragma once

#include <QLabel>
#include <QList>

#include "screens/widgets/Dialog.h"

namespace velmorant {

// The modal window "О программе": the program's name and version and who made it with what,
// between two gradient stripes, half transparent where the window system allows it.
class AboutBox : public Dialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // The seven centred lines from the top.
    const QList<QLabel*>& lines() const { return m_lines; }
    // Below them: "База данных:" and the path of the database this copy works on.
    QLabel* databasePathLabel() const { return m_databasePath; }

private:
    QList<QLabel*> m_lines;
    QLabel* m_databasePath = nullptr;
};

// Shows the About box modally over `parent` and destroys it when it is closed.
void RunAboutBox(QWidget* parent);

}  // namespace velmorant
