// The widget layer: menu bar, dialog base, image lists, view helpers, folder chooser, soft
// keyboard and screen fitting, on real widgets offscreen.
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include "support/ModalAnswer.h"
#include "support/TestSupport.h"
#include "ui/Dialog.h"
#include "ui/FolderChooser.h"
#include "ui/Form.h"
#include "ui/ImageList.h"
#include "ui/MenuBar.h"
#include "ui/ScreenFitter.h"
#include "ui/SoftKeyboard.h"
#include "ui/ViewHelpers.h"

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
    QCOMPARE(dialog.modalResult(), result);
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

QTEST_MAIN(WidgetsTest)
#include "WidgetsTest.moc"
