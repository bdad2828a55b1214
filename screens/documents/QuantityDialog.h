#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSize>
#include <QWidget>

#include "core/db/Money.h"
#include "core/documents/QuantityInput.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

// The keypad dialog "Количество": the quantity of one goods item typed with the stylus on an
// on-screen keypad, with the price and the running sum when a price is known. Every key goes
// through the same input filter as typed characters. Modal result 1 when a valid number was
// confirmed, 2 when cancelled.
class TQuantityDialog : public Dialog {
    Q_OBJECT
public:
    // `price` negative: no price known, the price and sum lines are hidden.
    TQuantityDialog(Money quantity, Money price, QWidget* owner = nullptr);

    // Lays the dialog out for a screen of this size instead of the real one (portrait when
    // narrower than high). Used when the dialog is shown, so call it before.
    void setScreenSize(const QSize& size) { m_screenOverride = size; }

    Money quantity() const { return m_entry.Quantity(); }
    bool priceShown() const { return m_entry.PriceShown(); }
    QLineEdit* edit() const { return m_edit; }

    // The keypad's keys: types `text` into the edit box as if it had been typed there.
    void pressKey(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layOut();
    void typeChar(QChar c);
    void recompute();
    void confirm();

    QuantityEntry m_entry;
    QSize m_screenOverride;
    QLineEdit* m_edit;
    QWidget* m_keypad;
    QList<QPushButton*> m_keys;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QLabel* m_priceLabel;
    QLabel* m_sumLabel;
};

// Opens the keypad over `owner` (the main window when nullptr) for `quantity` and `price`
// (negative: none). On confirmation `quantity` takes the entered value and the result is
// true; otherwise it is left as it was.
bool EditQuantity(Money& quantity, Money price, QWidget* owner = nullptr);

}  // namespace velmorant
