#pragma once

// Answers real modal dialogs in GUI tests: the answer runs inside the dialog's own modal
// loop, as soon as a modal widget of the wanted type is active.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace velmorant::test {

// Runs `answer` once on the next active modal widget of type T (polling every 10 ms for at
// most `timeoutMs`). Call it before the code that opens the dialog.
template <class T = QWidget>
void whenModalOpens(std::function<void(T*)> answer, int timeoutMs = 5000) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, answer, timeoutMs] {
        if (T* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(widget);
        } else if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

}  // namespace velmorant::test
