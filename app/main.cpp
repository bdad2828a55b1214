// The order-taking program. For now a window that opens and closes; the start-up sequence
// with the journal replaces it.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("Агент продаж"));
    window.resize(240, 320);
    window.show();
    return app.exec();
}
