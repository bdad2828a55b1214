// Real message boxes, answered by a timer: owner, caption, icon, buttons and answers.
#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>

#include "core/db/Notifier.h"
#include "screens/widgets/MainWindow.h"
#include "screens/widgets/MessageBoxNotifier.h"
#include "screens/widgets/Translations.h"
#include "support/ModalAnswer.h"

using namespace velmorant;

Q_DECLARE_METATYPE(velmorant::MessageIcon)
Q_DECLARE_METATYPE(velmorant::MessageButtons)
Q_DECLARE_METATYPE(velmorant::MessageAnswer)

class MessageBoxNotifierTest : public QObject {
    Q_OBJECT
private slots:
    void boxesLookAndAnswer_data();
    void boxesLookAndAnswer();
    void ownerAndCaption();
    void buttonsSpeakRussian_data();
    void buttonsSpeakRussian();
};

void MessageBoxNotifierTest::boxesLookAndAnswer_data() {
    QTest::addColumn<MessageIcon>("icon");
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<int>("press");  // a QMessageBox::StandardButton, 0: close the box
    QTest::addColumn<QMessageBox::Icon>("shownIcon");
    QTest::addColumn<int>("shownButtons");
    QTest::addColumn<MessageAnswer>("answer");
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("plain message")
        << MessageIcon::None << MessageButtons::Ok << int(QMessageBox::Ok) << QMessageBox::NoIcon
        << int(QMessageBox::Ok) << MessageAnswer::Ok;
    QTest::newRow("failed start-up")
        << MessageIcon::Error << MessageButtons::Ok << int(QMessageBox::Ok) << QMessageBox::Critical
        << int(QMessageBox::Ok) << MessageAnswer::Ok;
    QTest::newRow("refusal") << MessageIcon::Warning << MessageButtons::Ok << 0
                             << QMessageBox::Warning << int(QMessageBox::Ok) << MessageAnswer::Ok;
    QTest::newRow("question, yes")
        << MessageIcon::Question << MessageButtons::YesNo << int(QMessageBox::Yes)
        << QMessageBox::Question << yesNo << MessageAnswer::Yes;
    QTest::newRow("question, no") << MessageIcon::Question << MessageButtons::YesNo
                                  << int(QMessageBox::No) << QMessageBox::Question << yesNo
                                  << MessageAnswer::No;
    QTest::newRow("question closed is No") << MessageIcon::Question << MessageButtons::YesNo << 0
                                           << QMessageBox::Question << yesNo << MessageAnswer::No;
    QTest::newRow("three answers, cancel")
        << MessageIcon::Question << MessageButtons::YesNoCancel << int(QMessageBox::Cancel)
        << QMessageBox::Question << (yesNo | QMessageBox::Cancel) << MessageAnswer::Cancel;
    QTest::newRow("retry") << MessageIcon::Warning << MessageButtons::RetryCancel
                           << int(QMessageBox::Retry) << QMessageBox::Warning
                           << int(QMessageBox::Retry | QMessageBox::Cancel) << MessageAnswer::Retry;
}

void MessageBoxNotifierTest::boxesLookAndAnswer() {
    QFETCH(MessageIcon, icon);
    QFETCH(MessageButtons, buttons);
    QFETCH(int, press);
    QFETCH(QMessageBox::Icon, shownIcon);
    QFETCH(int, shownButtons);
    QFETCH(MessageAnswer, answer);
    MessageBoxNotifier boxes;
    Notifier* previous = setNotifier(&boxes);
    QString text;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    int seenButtons = 0;
    test::whenModalOpens<QMessageBox>([&](QMessageBox* box) {
        text = box->text();
        seenIcon = box->icon();
        seenButtons = int(box->standardButtons());
        if (press)
            QTest::mouseClick(box->button(QMessageBox::StandardButton(press)), Qt::LeftButton);
        else
            box->close();
    });
    const MessageAnswer got = notifier().show("Ошибка при открытии БД.", icon, buttons);
    setNotifier(previous);
    QCOMPARE(text, QString::fromUtf8("Ошибка при открытии БД."));
    QCOMPARE(seenIcon, shownIcon);
    QCOMPARE(seenButtons, shownButtons);
    QCOMPARE(got, answer);
}

void MessageBoxNotifierTest::ownerAndCaption() {
    MessageBoxNotifier boxes;
    Notifier* previous = setNotifier(&boxes);
    struct Seen {
        QString title;
        QWidget* parent = nullptr;
    };
    auto showOne = [&] {
        Seen seen;
        test::whenModalOpens<QMessageBox>([&](QMessageBox* box) {
            seen.title = box->windowTitle();
            seen.parent = box->parentWidget();
            box->accept();
        });
        notifier().message("text");
        return seen;
    };
    // Before the journal exists: no owner, empty caption.
    SetMainWindow(nullptr);
    Seen before = showOne();
    QCOMPARE(before.title, QString());
    QCOMPARE(before.parent, nullptr);
    // Then the main window owns every box and lends it its caption.
    QWidget journal;
    journal.setWindowTitle(QString::fromUtf8("Агент продаж"));
    SetMainWindow(&journal);
    Seen after = showOne();
    QCOMPARE(after.title, QString::fromUtf8("Агент продаж"));
    QCOMPARE(after.parent, &journal);
    // A screen open over the journal asks: the box is its own and keeps the journal's
    // caption; once that screen is gone the journal owns the boxes again.
    journal.show();
    QVERIFY(QTest::qWaitForWindowExposed(&journal));
    auto* editor = new QWidget(&journal, Qt::Window);
    editor->setWindowTitle(QStringLiteral("editor"));
    editor->show();
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    // The offscreen platform keeps its focus window; say which window the agent works in.
    QApplication::setActiveWindow(editor);
    QTRY_COMPARE(QApplication::activeWindow(), editor);
    Seen overEditor = showOne();
    QCOMPARE(overEditor.title, QString::fromUtf8("Агент продаж"));
    QCOMPARE(overEditor.parent, editor);
    // Nothing active for a moment (another program in front): still the screen last used.
    QApplication::setActiveWindow(nullptr);
    QCOMPARE(boxes.askingWindow(), editor);
    delete editor;
    QCOMPARE(boxes.askingWindow(), &journal);
    SetMainWindow(nullptr);
    setNotifier(previous);
}

void MessageBoxNotifierTest::buttonsSpeakRussian_data() {
    QTest::addColumn<MessageButtons>("buttons");
    QTest::addColumn<QStringList>("captions");  // in the order of the standard buttons below
    QTest::newRow("question") << MessageButtons::YesNo << QStringList{"Да", "Нет"};
    QTest::newRow("three answers")
        << MessageButtons::YesNoCancel << QStringList{"Да", "Нет", "Отмена"};
    QTest::newRow("message") << MessageButtons::Ok << QStringList{"OK"};
    QTest::newRow("retry") << MessageButtons::RetryCancel << QStringList{"Повторить", "Отмена"};
}

void MessageBoxNotifierTest::buttonsSpeakRussian() {
    QFETCH(MessageButtons, buttons);
    QFETCH(QStringList, captions);
    // Whatever the process locale is (the tests run in C.UTF-8), as the program does at start.
    static const bool installed = InstallQtTranslations(*qApp);
    QVERIFY2(installed, qPrintable("no qtbase_ru in " + QtTranslationsFolder()));
    MessageBoxNotifier boxes;
    Notifier* previous = setNotifier(&boxes);
    QStringList seen;
    test::whenModalOpens<QMessageBox>([&](QMessageBox* box) {
        for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Yes, QMessageBox::No,
                                              QMessageBox::Retry, QMessageBox::Cancel}) {
            // The "&" marks the keyboard mnemonic, not a letter of the caption.
            if (QAbstractButton* button = box->button(b))
                seen << button->text().remove(QLatin1Char('&'));
        }
        box->close();
    });
    notifier().show("Завершить работу?", MessageIcon::Question, buttons);
    setNotifier(previous);
    QCOMPARE(seen, captions);
}

QTEST_MAIN(MessageBoxNotifierTest)
#include "MessageBoxNotifierTest.moc"
