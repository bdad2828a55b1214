// The widget layer: menu bar, dialog base, image lists, view helpers, folder chooser, soft
// keyboard and screen fitting, on real widgets offscreen.
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStyle>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <map>
#include <memory>

#include "screens/widgets/ActiveWindowOrder.h"
#include "screens/widgets/Dialog.h"
#include "screens/widgets/FolderChooser.h"
#include "screens/widgets/Form.h"
#include "screens/widgets/ImageList.h"
#include "screens/widgets/MenuBar.h"
#include "screens/widgets/ProgramIcon.h"
#include "screens/widgets/ScreenFitter.h"
#include "screens/widgets/SoftKeyboard.h"
#include "screens/widgets/ViewHelpers.h"
#include "support/ModalAnswer.h"
#include "support/TestSupport.h"

using namespace velmorant;

class WidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void menuBarCommandsAndSubMenus();
    void menuBarDefaultIsBoldAndDisabledIsInert();
    void subMenuDropsUpAboveTheBar();
    void dialogResults_data();
    void dialogResults();
    void formRoutesEnterAndEscape();
    void closeDialogByKindOfWidget();
    void imageLists_data();
    void imageLists();
    void fitLastColumn_data();
    void fitLastColumn();
    void treeHelpers();
    void treeHelpersTakeADeepFolderChain();
    void plainTreeDrawsNoBranchesOnAnyLevel();
    void folderChooser_data();
    void folderChooser();
    void softKeyboardFollowsFocus();
    void fittedGeometry_data();
    void fittedGeometry();
    void fitterResizesFullScreenWindowsOnly();
    void softKeys_data();
    void softKeys();
    void focusedBarButtonTakesEnter();
    void stretchedColumnKeepsItsMinimum();
    void programIconAtEverySize();
    void activeWindowOrder_data();
    void activeWindowOrder();
};

void WidgetsTest::menuBarCommandsAndSubMenus() {
    MenuBar bar;
    QAction* ok = bar.addCommand(" [ Ok ] ");
    QMenu* more = bar.addMenu("  ...  ");
    QAction* first = bar.addItem(more, "First & second");
    bar.addSeparator(more);
    QAction* last = bar.addItem(more, "Last");
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));

    QCOMPARE(bar.commands().size(), 2);
    QCOMPARE(bar.buttonOf(ok)->text(), QString(" [ Ok ] "));
    QCOMPARE(bar.findCommand("Last"), last);
    QCOMPARE(bar.findCommand("First & second"), first);
    QCOMPARE(bar.findCommand("missing"), nullptr);
    QCOMPARE(bar.menuOf(bar.commands().at(1)), more);
    QCOMPARE(bar.buttonOf(last), nullptr);

    int oks = 0;
    connect(ok, &QAction::triggered, [&] { ++oks; });
    QTest::mouseClick(bar.buttonOf(ok), Qt::LeftButton);
    QCOMPARE(oks, 1);
    // A renamed or hidden action changes its button.
    ok->setText("Ок");
    QCOMPARE(bar.buttonOf(ok)->text(), QString("Ок"));
    ok->setVisible(false);
    QVERIFY(!bar.buttonOf(ok)->isVisible());
    // "&" is shown as it stands, not taken for a mnemonic.
    QAction* amp = bar.addCommand("A&B");
    QCOMPARE(bar.buttonOf(amp)->text(), QString("A&&B"));
}

void WidgetsTest::menuBarDefaultIsBoldAndDisabledIsInert() {
    MenuBar bar;
    QAction* enter = bar.addCommand(" ВВОД ");
    QAction* bar1 = bar.addCommand("|");
    QMenu* menu = bar.addMenu("more");
    QAction* item = bar.addItem(menu, "item");
    bar1->setEnabled(false);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));

    bar.setDefaultCommand(enter);
    QVERIFY(bar.buttonOf(enter)->font().bold());
    QVERIFY(!bar.buttonOf(bar1)->font().bold());
    bar.setDefaultCommand(item);
    QVERIFY(!bar.buttonOf(enter)->font().bold());
    QVERIFY(item->font().bold());
    QCOMPARE(bar.defaultCommand(), item);

    int fired = 0;
    connect(bar1, &QAction::triggered, [&] { ++fired; });
    QVERIFY(!bar.buttonOf(bar1)->isEnabled());
    QTest::mouseClick(bar.buttonOf(bar1), Qt::LeftButton);
    QCOMPARE(fired, 0);
}

void WidgetsTest::subMenuDropsUpAboveTheBar() {
    QWidget window;
    window.setGeometry(0, 300, 240, 200);
    MenuBar* bar = new MenuBar(&window);
    bar->setGeometry(0, 170, 240, 30);
    bar->addCommand("a");
    QMenu* menu = bar->addMenu("  ...  ");
    for (const char* c : {"one", "two", "three"}) bar->addItem(menu, c);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(bar->buttonOf(bar->commands().at(1)), Qt::LeftButton);
    QTRY_VERIFY(menu->isVisible());
    const QPoint buttonTop = bar->buttonOf(bar->commands().at(1))->mapToGlobal(QPoint(0, 0));
    QVERIFY2(menu->geometry().bottom() < buttonTop.y(), "the menu opens upwards");
    menu->close();
}

void WidgetsTest::dialogResults_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("confirms");  // times the default command ran
    QTest::newRow("Enter runs the default command") << "enter" << 1 << 1;
    QTest::newRow("keypad Enter too") << "keypad enter" << 1 << 1;
    QTest::newRow("Escape runs the cancel command") << "escape" << 2 << 0;
    QTest::newRow("tap on the default command") << "tap ok" << 1 << 1;
    QTest::newRow("window closed") << "close" << 2 << 0;
    QTest::newRow("Enter on a disabled default does nothing") << "disabled enter" << 2 << 0;
    QTest::newRow("Enter in a line edit reaches the dialog") << "edit enter" << 1 << 1;
}

void WidgetsTest::dialogResults() {
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(int, confirms);
    Dialog dialog;
    auto* edit = new QLineEdit(dialog.body());
    QAction* ok = dialog.menuBar()->addCommand("[ OK ]");
    QAction* cancel = dialog.menuBar()->addCommand("[ Отмена ]");
    int okCount = 0;
    connect(ok, &QAction::triggered, [&] {
        ++okCount;
        dialog.closeDialog(true);
    });
    connect(cancel, &QAction::triggered, [&] { dialog.closeDialog(false); });
    dialog.setDefaultCommand(ok);
    dialog.setCancelCommand(cancel);
    test::whenModalOpens<Dialog>([&](Dialog* d) {
        if (how == "enter") {
            QTest::keyClick(d, Qt::Key_Return);
        } else if (how == "keypad enter") {
            QTest::keyClick(d, Qt::Key_Enter, Qt::KeypadModifier);
        } else if (how == "escape") {
            QTest::keyClick(d, Qt::Key_Escape);
        } else if (how == "tap ok") {
            QTest::mouseClick(d->menuBar()->buttonOf(ok), Qt::LeftButton);
        } else if (how == "close") {
            d->close();
        } else if (how == "disabled enter") {
            ok->setEnabled(false);
            QTest::keyClick(d, Qt::Key_Return);
            QVERIFY(d->isVisible());
            QTest::keyClick(d, Qt::Key_Escape);
        } else if (how == "edit enter") {
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_Return);
        }
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(dialog.result(), result);
    QCOMPARE(okCount, confirms);
}

void WidgetsTest::formRoutesEnterAndEscape() {
    Form form;
    QAction* def = form.menuBar()->addCommand("def");
    QAction* esc = form.menuBar()->addCommand("esc");
    form.setDefaultCommand(def);
    form.setCancelCommand(esc);
    QStringList fired;
    connect(def, &QAction::triggered, [&] { fired << "def"; });
    connect(esc, &QAction::triggered, [&] { fired << "esc"; });
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Return);
    QTest::keyClick(&form, Qt::Key_Escape);
    QTest::keyClick(&form, Qt::Key_Return, Qt::ControlModifier);  // not routed
    QCOMPARE(fired, (QStringList{"def", "esc"}));
}

void WidgetsTest::closeDialogByKindOfWidget() {
    // A modal dialog ends with 1 or 2.
    for (bool confirmed : {true, false}) {
        Dialog dialog;
        test::whenModalOpens<Dialog>([&](Dialog* d) { CloseDialog(d, confirmed); });
        QCOMPARE(dialog.exec(), confirmed ? 1 : 2);
    }
    // A non-modal window gets a close request, handled later.
    Form form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    CloseDialog(&form, true);
    QVERIFY(form.isVisible());
    QTRY_VERIFY(!form.isVisible());
    // A control inside a window, or nothing at all: nothing happens.
    Form host;
    auto* child = new QLineEdit(host.body());
    host.show();
    CloseDialog(child, true);
    CloseDialog(nullptr, false);
    QTest::qWait(20);
    QVERIFY(host.isVisible() && child->isVisible());
}

void WidgetsTest::imageLists_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QColor>("transparent");
    QTest::addColumn<int>("count");
    QTest::newRow("document states") << "FMAIN_IL_STATES" << 16 << 12 << QColor(Qt::black) << 5;
    QTest::newRow("folder") << "FSPRMULTISEL_IL1" << 16 << 16 << QColor() << 1;
    QTest::newRow("catalogue glyph") << "BITBTN1_BITMAP" << 16 << 16 << QColor() << 1;
    QTest::newRow("search glyph") << "BITBTN4_BITMAP" << 16 << 16 << QColor() << 1;
    QTest::newRow("program icon") << "APP_ICON" << 32 << 32 << QColor() << 1;
    QTest::newRow("missing bitmap") << "NO_SUCH_BITMAP" << 16 << 16 << QColor() << 0;
    QTest::newRow("pictures wider than the bitmap")
        << "BITBTN4_BITMAP" << 17 << 16 << QColor() << 0;
}

void WidgetsTest::imageLists() {
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QColor, transparent);
    QFETCH(int, count);
    const ImageList list = ImageList::fromBitmap(name, width, height, transparent);
    QCOMPARE(list.count(), count);
    QVERIFY(list.image(count).isNull());
    QVERIFY(list.icon(-1).isNull());
    if (count == 0) return;
    const QImage source = ImageList::bitmap(name);
    const QRgb key =
        transparent.isValid() ? transparent.rgb() : source.pixel(0, source.height() - 1);
    int clear = 0, solid = 0;
    for (int i = 0; i < count; ++i) {
        const QImage picture = list.image(i);
        QCOMPARE(picture.size(), QSize(width, height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool isKey =
                    (source.pixel(i * width + x, y) | 0xff000000u) == (key | 0xff000000u);
                QCOMPARE(qAlpha(picture.pixel(x, y)), isKey ? 0 : 255);
                (isKey ? clear : solid)++;
            }
        }
        QVERIFY(!list.pixmap(i).isNull());
    }
    QVERIFY(clear > 0 && solid > 0);  // each bitmap has a picture on a see-through ground
}

void WidgetsTest::fitLastColumn_data() {
    QTest::addColumn<int>("viewWidth");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<bool>("fits");  // false: the minimum wins
    QTest::newRow("room to spare") << 300 << 10 << true;
    QTest::newRow("narrow view keeps the minimum") << 120 << 40 << false;
}

void WidgetsTest::fitLastColumn() {
    QFETCH(int, viewWidth);
    QFETCH(int, minimum);
    QFETCH(bool, fits);
    QTableWidget table(3, 3);
    table.resize(viewWidth, 200);
    table.setColumnWidth(0, 50);
    table.setColumnWidth(1, 30);
    table.setColumnWidth(2, 5);
    table.horizontalHeader()->setMinimumSectionSize(1);
    FitLastColumn(&table, 2, minimum);
    const int scrollBar = table.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &table);
    const int expected = viewWidth - 2 * table.frameWidth() - 80 - scrollBar - 2;
    QCOMPARE(table.columnWidth(2), fits ? expected : minimum);
    QCOMPARE(table.columnWidth(0), 50);

    QTreeWidget tree;
    tree.setColumnCount(2);
    tree.resize(viewWidth, 200);
    tree.header()->setMinimumSectionSize(1);
    tree.header()->setStretchLastSection(false);
    tree.header()->resizeSection(1, 80);
    FitLastColumn(&tree, 0, minimum);
    QCOMPARE(tree.header()->sectionSize(0),
             std::max(minimum, viewWidth - 2 * tree.frameWidth() - 80 - scrollBar - 2));
    FitLastColumn(&tree, 5, minimum);  // no such column: nothing happens
}

void WidgetsTest::treeHelpers() {
    QTreeWidget tree;
    tree.resize(200, 300);
    QCOMPARE(TreeRowHeight(&tree), 4);
    QCOMPARE(ExpandOrCollapseAll(&tree, true), 0);
    auto* a = new QTreeWidgetItem(&tree, {"a"});
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    const int single = tree.visualItemRect(a).height();
    QCOMPARE(TreeRowHeight(&tree), single + 4);
    auto* a1 = new QTreeWidgetItem(a, {"a1"});
    new QTreeWidgetItem(a1, {"a1x"});
    new QTreeWidgetItem(a, {"a2"});
    auto* b = new QTreeWidgetItem(&tree, {"b"});
    new QTreeWidgetItem(b, {"b1"});
    // Depth first over every node: a, a1, a1x, a2, b, b1.
    QCOMPARE(ExpandOrCollapseAll(&tree, true), 6);
    QVERIFY(a->isExpanded() && a1->isExpanded() && b->isExpanded());
    // With more than one node: from the bottom of the first row to that of its next sibling.
    QCOMPARE(TreeRowHeight(&tree),
             std::abs(tree.visualItemRect(a).bottom() - tree.visualItemRect(b).bottom()));
    QCOMPARE(ExpandOrCollapseAll(&tree, false), 6);
    QVERIFY(!a->isExpanded() && !a1->isExpanded() && !b->isExpanded());
    QCOMPARE(TreeRowHeight(&tree), single);
}

void WidgetsTest::treeHelpersTakeADeepFolderChain() {
    // A chain far deeper than a recursive walk (or Qt's own recursive item deletion) survives.
    constexpr int kDepth = 100000;
    QTreeWidget tree;
    auto* item = new QTreeWidgetItem(&tree, {"0"});
    QTreeWidgetItem* deepest = item;
    for (int i = 1; i < kDepth; ++i) deepest = new QTreeWidgetItem(deepest, {QString::number(i)});
    QCOMPARE(ExpandOrCollapseAll(&tree, true), kDepth);
    QVERIFY(item->isExpanded() && deepest->parent()->isExpanded());
    QCOMPARE(ExpandOrCollapseAll(&tree, false), kDepth);
    QVERIFY(!item->isExpanded() && !deepest->parent()->isExpanded());
    // Bounded: levels 0 and 1 expanded, levels 0 to 2 visited, the rest left as it was.
    QCOMPARE(ExpandOrCollapseAll(&tree, true, 2), 3);
    QVERIFY(item->isExpanded() && item->child(0)->isExpanded());
    QVERIFY(!item->child(0)->child(0)->isExpanded());
    DeleteTreeItems(&tree);
    QCOMPARE(tree.topLevelItemCount(), 0);
    DeleteTreeItems(&tree);  // an empty tree is fine too
}

void WidgetsTest::plainTreeDrawsNoBranchesOnAnyLevel() {
    // Three levels: the middle one has children, so a decorated tree draws its expand arrow
    // left of it even when the top level is undecorated.
    QTreeWidget tree;
    tree.setHeaderHidden(true);
    tree.resize(200, 120);
    auto* top = new QTreeWidgetItem(&tree, {"top"});
    auto* middle = new QTreeWidgetItem(top, {"middle"});
    new QTreeWidgetItem(middle, {"bottom"});
    const auto branchArea = [&tree, middle] {
        const QRect row = tree.visualItemRect(middle);
        const QImage shot = tree.viewport()->grab().toImage();
        const QRect area(row.left() - tree.indentation(), row.top(), tree.indentation(),
                         row.height());
        return shot.copy(area);
    };
    const auto uniform = [](const QImage& image) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != image.pixel(0, 0)) return false;
        return true;
    };
    tree.setRootIsDecorated(false);
    tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tree));
    tree.expandAll();
    QVERIFY2(!uniform(branchArea()), "the style draws no arrow: the check below proves nothing");
    HideTreeBranches(&tree);
    tree.expandAll();
    QVERIFY(uniform(branchArea()));
}

void WidgetsTest::folderChooser_data() {
    QTest::addColumn<bool>("choose");
    QTest::newRow("a folder is chosen") << true;
    QTest::newRow("cancelled") << false;
}

void WidgetsTest::folderChooser() {
    QFETCH(bool, choose);
    const QString documents = SpecialFolderPath(SpecialFolder::Documents);
    QVERIFY(!documents.isEmpty());
    QVERIFY(QDir(documents).exists());
    QCOMPARE(SpecialFolderPath(12), documents);
    QCOMPARE(SpecialFolderPath(99), QString());

    test::TempDir temp;
    const QString target = QString::fromStdString(temp.str());
    QString startedIn;
    QString title;
    test::whenModalOpens<QFileDialog>([&](QFileDialog* dialog) {
        startedIn = dialog->directory().absolutePath();
        title = dialog->windowTitle();
        QCOMPARE(dialog->objectName(), QString("folderChooser"));
        if (choose) {
            dialog->setDirectory(target);
            static_cast<QDialog*>(dialog)->accept();
        } else {
            dialog->reject();
        }
    });
    const QString chosen = ChooseFolder(nullptr, QString::fromUtf8("Выберите папку"));
    QCOMPARE(title, QString::fromUtf8("Выберите папку"));
    QCOMPARE(startedIn, QDir(documents).absolutePath());
    QCOMPARE(chosen, choose ? QDir::cleanPath(target) : QString());
}

void WidgetsTest::softKeyboardFollowsFocus() {
    Form form;
    auto* typed = new QLineEdit(form.body());
    auto* plain = new QLineEdit(form.body());
    plain->move(0, 40);
    SoftKeyboard::showOnFocus(typed);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QTRY_VERIFY(form.isActiveWindow());
    plain->setFocus();
    QVERIFY(!SoftKeyboard::requested());
    typed->setFocus();
    QTRY_VERIFY(SoftKeyboard::requested());
    plain->setFocus();
    QTRY_VERIFY(!SoftKeyboard::requested());
}

void WidgetsTest::fittedGeometry_data() {
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QRect>("keyboard");
    QTest::addColumn<QRect>("fitted");
    const QRect screen(0, 26, 240, 294);  // below a 26-pixel top bar
    QTest::newRow("keyboard hidden: the whole screen")
        << QRect(0, 26, 200, 100) << QRect() << QRect(0, 26, 240, 294);
    QTest::newRow("keyboard shown: above it")
        << QRect(0, 26, 240, 294) << QRect(0, 240, 240, 80) << QRect(0, 26, 240, 214);
    QTest::newRow("keyboard closed again")
        << QRect(0, 26, 240, 214) << QRect() << QRect(0, 26, 240, 294);
    QTest::newRow("dialog inside the screen is left alone")
        << QRect(10, 60, 200, 150) << QRect(0, 240, 240, 80) << QRect(10, 60, 200, 150);
    QTest::newRow("window lower down keeps its top")
        << QRect(0, 100, 240, 50) << QRect(0, 240, 240, 80) << QRect(0, 100, 240, 140);
    QTest::newRow("frame above the screen comes down")
        << QRect(0, 6, 240, 320) << QRect() << QRect(0, 26, 240, 294);
}

void WidgetsTest::fittedGeometry() {
    QFETCH(QRect, window);
    QFETCH(QRect, keyboard);
    QFETCH(QRect, fitted);
    QCOMPARE(ScreenFitter::fittedGeometry(window, QRect(0, 26, 240, 294), keyboard), fitted);
}

void WidgetsTest::fitterResizesFullScreenWindowsOnly() {
    ScreenFitter* fitter = ScreenFitter::install();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    Form full;
    full.resize(100, 100);
    full.move(available.topLeft());  // the outer corner at the screen's
    Form inside;
    inside.resize(100, 100);
    inside.move(available.left() + 30, available.top() + 30);
    full.show();
    inside.show();
    QVERIFY(QTest::qWaitForWindowExposed(&full));
    fitter->setHandheldOverride(1);
    fitter->fitWindow(&full);
    fitter->fitWindow(&inside);
    QTRY_COMPARE(full.frameGeometry().width(), available.width());
    QCOMPARE(full.frameGeometry().bottom(), available.bottom());
    QCOMPARE(full.frameGeometry().top(), available.top());
    QCOMPARE(inside.geometry().size(), QSize(100, 100));
    // A drop-up menu at the left edge is a pop-up, not a screen.
    QMenu popup;
    popup.addAction("item");
    popup.popup(available.topLeft());
    QTRY_VERIFY(popup.isVisible());
    const QSize popupSize = popup.size();
    fitter->fitWindow(&popup);
    QCOMPARE(popup.size(), popupSize);
    popup.close();
    // On a desktop nothing is fitted; the main window gets a handheld's portrait size.
    fitter->setHandheldOverride(0);
    Form main;
    fitter->placeMainWindow(&main);
    QCOMPARE(main.size(), ScreenFitter::kDesktopMainWindowSize);
    fitter->setHandheldOverride(-1);
}

void WidgetsTest::softKeys_data() {
    QTest::addColumn<QStringList>("bar");  // captions; "-x" disabled, "~x" hidden, "x>" a menu
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("triggered");  // "" nothing; "menu:x" the menu opens on item x
    const QStringList three = {"A", "B", "C"};
    QTest::newRow("F1 the first") << three << int(Qt::Key_F1) << "A";
    QTest::newRow("F2 the last") << three << int(Qt::Key_F2) << "C";
    QTest::newRow("F2 skips a hidden last")
        << QStringList{"A", "B", "~C"} << int(Qt::Key_F2) << "B";
    QTest::newRow("F1 skips a hidden first") << QStringList{"~A", "B"} << int(Qt::Key_F1) << "B";
    QTest::newRow("disabled first is inert") << QStringList{"-A", "B"} << int(Qt::Key_F1) << "";
    QTest::newRow("F2 opens the last menu")
        << QStringList{"A", "M>"} << int(Qt::Key_F2) << "menu:item 2";
    QTest::newRow("F1 opens the first menu")
        << QStringList{"M>", "B"} << int(Qt::Key_F1) << "menu:item 2";
}

void WidgetsTest::softKeys() {
    QFETCH(QStringList, bar);
    QFETCH(int, key);
    QFETCH(QString, triggered);
    Form form;
    form.resize(240, 320);
    QString fired;
    QMenu* menu = nullptr;
    for (QString caption : bar) {
        const bool disabled = caption.startsWith('-');
        const bool hidden = caption.startsWith('~');
        if (disabled || hidden) caption.remove(0, 1);
        QAction* action = nullptr;
        if (caption.endsWith('>')) {
            menu = form.menuBar()->addMenu(caption);
            // The first item is disabled and a separator follows: the marked one is the next.
            form.menuBar()->addItem(menu, "item 1")->setEnabled(false);
            form.menuBar()->addSeparator(menu);
            QAction* item = form.menuBar()->addItem(menu, "item 2");
            connect(item, &QAction::triggered, [&fired] { fired = "item 2"; });
            action = menu->menuAction();
        } else {
            action = form.menuBar()->addCommand(caption);
            connect(action, &QAction::triggered, [&fired, caption] { fired = caption; });
        }
        action->setEnabled(!disabled);
        action->setVisible(!hidden);
    }
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key(key));
    if (triggered.startsWith("menu:")) {
        QTRY_COMPARE(QApplication::activePopupWidget(), menu);
        QVERIFY(menu->activeAction());
        QCOMPARE(menu->activeAction()->text(), triggered.mid(5));
        QCOMPARE(fired, QString());
        QTest::keyClick(menu, Qt::Key_Return);
        QTRY_VERIFY(!menu->isVisible());
        QCOMPARE(fired, triggered.mid(5));
    } else {
        QCOMPARE(fired, triggered);
        QVERIFY(!QApplication::activePopupWidget());
    }
}

void WidgetsTest::focusedBarButtonTakesEnter() {
    Form form;
    auto* edit = new QLineEdit(form.body());
    QString fired;
    QAction* first = form.menuBar()->addCommand("First");
    QAction* second = form.menuBar()->addCommand("Second");
    connect(first, &QAction::triggered, [&] { fired += "first;"; });
    connect(second, &QAction::triggered, [&] { fired += "second;"; });
    form.setDefaultCommand(first);
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    edit->setFocus();
    // A tap does not take the focus away from the edit.
    QTest::mouseClick(form.menuBar()->buttonOf(second), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), edit);
    QCOMPARE(fired, QString("second;"));
    // Tab goes edit -> First -> Second; Enter there is Second's, not the default command.
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.menuBar()->buttonOf(first));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), form.menuBar()->buttonOf(second));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(fired, QString("second;second;"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(fired, QString("second;second;second;"));
    // Back in the edit, Enter is the default command again.
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(fired, QString("second;second;second;first;"));
}

void WidgetsTest::stretchedColumnKeepsItsMinimum() {
    QTableWidget table(3, 4);
    table.verticalHeader()->hide();
    for (int c = 0; c < 4; ++c) table.setColumnWidth(c, 30);
    StretchColumn(&table, 1, 100);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    const int scrollBar = table.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &table);
    const auto rest = [&](int width, int others) {
        return width - 2 * table.frameWidth() - others - scrollBar - 2;
    };
    // The window stays inside the 800-pixel screen with its frame (ScreenFitter).
    struct Step {
        int width;
        int expected;  // -1: the rest of the width
    };
    // Up to the handheld's 240 pixels the column keeps its width, though 240 would leave room;
    // beyond them it takes the extra pixels (the handheld layout's spare room stays spare),
    // on a window whose other columns are wider all the rest of the width.
    QVERIFY(rest(240, 90) > 100);
    QVERIFY(rest(780, 90) > 640);
    for (const Step step : {Step{200, 100}, Step{240, 100}, Step{260, 120}, Step{780, 640},
                            Step{150, 100}, Step{240, 100}}) {
        table.resize(step.width, 200);
        QApplication::processEvents();
        QCOMPARE(table.columnWidth(1), step.expected < 0 ? rest(step.width, 90) : step.expected);
    }
    table.resize(780, 200);
    QApplication::processEvents();
    // Another column growing takes its room from the stretched one.
    table.setColumnWidth(3, 80);
    QVERIFY(rest(780, 140) < 640);
    QCOMPARE(table.columnWidth(1), rest(780, 140));
    // A column added later counts too.
    table.setColumnCount(5);
    table.setColumnWidth(4, 50);
    QCOMPARE(table.columnWidth(1), rest(780, 190));
    // Out-of-range columns are ignored.
    QTableWidget other(1, 1);
    other.setColumnWidth(0, 40);
    StretchColumn(&other, 5, 10);
    other.show();
    other.resize(300, 100);
    QApplication::processEvents();
    QCOMPARE(other.columnWidth(0), 40);
}

void WidgetsTest::programIconAtEverySize() {
    const ImageList art = ImageList::fromBitmap("APP_ICON", 32, 32);
    QCOMPARE(art.count(), 1);
    const QImage native = art.image(0);
    const QRgb key = ImageList::bitmap("APP_ICON").pixel(0, 31);
    QCOMPARE(ProgramIconSizes(), (QList<int>{16, 32, 48, 64, 128}));
    for (int size : ProgramIconSizes()) {
        const QImage icon = ProgramIconImage(size);
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.hasAlphaChannel());
        QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);                  // the key colour's corner
        QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);  // the page
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QRgb p = icon.pixel(x, y);
                if (qAlpha(p) == 255) QVERIFY2(p != key, "the key colour shows");
            }
    }
    // Whole multiples stay sharp: every pixel of the bitmap becomes a square.
    const QImage big = ProgramIconImage(128);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) QCOMPARE(big.pixel(4 * x + 3, 4 * y + 1), native.pixel(x, y));
    QCOMPARE(ProgramIconImage(32), native.convertToFormat(QImage::Format_ARGB32));
    QVERIFY(ProgramIconImage(0).isNull());
    QCOMPARE(ProgramIcon().availableSizes().size(), ProgramIconSizes().size());
}

void WidgetsTest::activeWindowOrder_data() {
    // Windows a, b, c are activated in `activated` order, then `hidden` are hidden and
    // `deleted` destroyed; the order keeps the shown ones, the least recently active first.
    QTest::addColumn<QString>("activated");
    QTest::addColumn<QString>("hidden");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QString>("visible");
    QTest::newRow("in turn") << "abc"
                             << ""
                             << ""
                             << "abc";
    QTest::newRow("again moves to the end") << "abcab"
                                            << ""
                                            << ""
                                            << "cab";
    QTest::newRow("hidden left out") << "abc"
                                     << "c"
                                     << ""
                                     << "ab";
    QTest::newRow("destroyed left out") << "abca"
                                        << ""
                                        << "a"
                                        << "bc";
    QTest::newRow("never active") << "b"
                                  << ""
                                  << ""
                                  << "b";
    QTest::newRow("a pop-up is no screen") << "apb"
                                           << ""
                                           << ""
                                           << "ab";
}

void WidgetsTest::activeWindowOrder() {
    QFETCH(QString, activated);
    QFETCH(QString, hidden);
    QFETCH(QString, deleted);
    QFETCH(QString, visible);
    std::map<QChar, std::unique_ptr<QWidget>> windows;
    for (QChar name : QStringLiteral("abcp")) {
        auto window =
            std::make_unique<QWidget>(nullptr, name == QLatin1Char('p') ? Qt::Popup : Qt::Window);
        window->setObjectName(name);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        windows[name] = std::move(window);
    }
    // Counted from here on: the showing above activated windows as well.
    QApplication::processEvents();
    ActiveWindowOrder order;
    for (QChar name : activated) {
        QApplication::setActiveWindow(windows[name].get());
        QTRY_COMPARE(QApplication::activeWindow(), windows[name].get());
    }
    for (QChar name : hidden) windows[name]->hide();
    for (QChar name : deleted) windows[name].reset();
    QString seen;
    for (QWidget* w : order.visibleWindows()) seen += w->objectName();
    QCOMPARE(seen, visible);
    QCOMPARE(order.lastVisible(), visible.isEmpty() ? nullptr : windows[visible.back()].get());
}

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
