// Indentation in the document window, driven with real keys through ContentView offscreen, on
// real files in a temporary folder: Enter and closers, Tab and Shift+Tab over a selection,
// Backspace, the status bar's item and its menu, converting and undoing the conversion.
#include "app/window/contentview.h"
#include "app/window/documentstatusbar.h"
#include "windowtestsupport.h"

#include "textview/stextview.h"

#include <QMenu>
#include <QtTest>

using namespace App;

namespace {

QString q(const std::u16string &text)
{
    return QString::fromStdU16String(text);
}

QAction *actionNamed(QMenu *menu, const char *name)
{
    return menu ? menu->findChild<QAction *>(QString::fromLatin1(name)) : nullptr;
}

} // namespace

class TestIndentWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void enterIndentsAfterABraceAndTheCloserDedents();
    void enterAfterAYAMLKey();
    void tabAndShiftTabOverASelectionAreOneUndoStepEach();
    void tabAndBackspaceFollowTheDocumentsSpaces();
    void chosenSpacesThenConvertIsUndoneByOneUndo();
    void tabsAreNotOfferedForYAML();
    void eachDocumentKeepsItsOwnIndentation();

private:
    // A shown window with `bytes` loaded from `name`, its text focused.
    std::unique_ptr<ContentView> open(const QString &name, const QByteArray &bytes)
    {
        auto view = std::make_unique<ContentView>();
        view->resize(1000, 700);
        view->show();
        const QString file = writeFile(m_folder->filePath(name), bytes);
        view->loadPath(file);
        if (!waitForLoad(*view, file))
            return nullptr;
        view->textView()->setFocus();
        return view;
    }
    std::unique_ptr<QTemporaryDir> m_folder;
    QTemporaryDir m_settings;
};

void TestIndentWindow::initTestCase()
{
    setUpWindowTests(m_settings.path(), "IndentWindow");
}

void TestIndentWindow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    Preferences::shared().setLastOpenPath(QString());
}

void TestIndentWindow::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(widget) || qobject_cast<QDialog *>(widget))
            widget->close();
}

void TestIndentWindow::enterIndentsAfterABraceAndTheCloserDedents()
{
    auto view = open("a.json", "{\n  \"a\": 1\n}\n");
    QVERIFY(view);
    STTextView *text = view->textView();
    text->setTextSelection({1, 0}); // after {
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(q(view->text()), QStringLiteral("{\n  \n  \"a\": 1\n}\n"));
    type(*view, "\"b\": [");
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(q(view->text()), QStringLiteral("{\n  \"b\": [\n    \n  \"a\": 1\n}\n"));
    type(*view, "2");
    QTest::keyClick(text, Qt::Key_Return);
    type(*view, "],");
    QCOMPARE(q(view->text()), QStringLiteral("{\n  \"b\": [\n    2\n  ],\n  \"a\": 1\n}\n"));
    QCOMPARE(view->caretLine(), 4);
    QCOMPARE(view->caretColumn(), 5);

    // Between a brace and its closer, the closer gets a line of its own.
    text->setTextSelection({0, text->document().length()});
    type(*view, "{}");
    text->setTextSelection({1, 0});
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(q(view->text()), QStringLiteral("{\n  \n}"));
    QCOMPARE(text->caretPosition(), std::size_t(4));
}

void TestIndentWindow::enterAfterAYAMLKey()
{
    auto view = open("c.yaml", "root:\n  a: 1\n");
    QVERIFY(view);
    STTextView *text = view->textView();
    text->setTextSelection({text->document().length(), 0});
    type(*view, "  b: # later");
    QTest::keyClick(text, Qt::Key_Return);
    type(*view, "c: 2");
    QCOMPARE(q(view->text()), QStringLiteral("root:\n  a: 1\n  b: # later\n    c: 2"));
    // A key with its value keeps the level.
    QTest::keyClick(text, Qt::Key_Return);
    type(*view, "d: 3");
    QCOMPARE(q(view->text()), QStringLiteral("root:\n  a: 1\n  b: # later\n    c: 2\n    d: 3"));
}

void TestIndentWindow::tabAndShiftTabOverASelectionAreOneUndoStepEach()
{
    const QString original = QStringLiteral("a\nb\n\nc\nd\n");
    auto view = open("list.txt", original.toUtf8());
    QVERIFY(view);
    STTextView *text = view->textView();
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 4"));
    // From inside "a" to the end of "c": four lines, the empty one left alone.
    text->setTextSelection({1, 5});
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(q(view->text()), QStringLiteral("    a\n    b\n\n    c\nd\n"));
    QCOMPARE(text->textSelection(), (TextView::TextRange{5, 13})); // still from after "a" to after "c"
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(q(view->text()), QStringLiteral("        a\n        b\n\n        c\nd\n"));
    QTest::keyClick(text, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(q(view->text()), QStringLiteral("    a\n    b\n\n    c\nd\n"));
    QCOMPARE(text->textSelection(), (TextView::TextRange{5, 13}));

    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(q(view->text()), QStringLiteral("        a\n        b\n\n        c\nd\n"));
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(q(view->text()), QStringLiteral("    a\n    b\n\n    c\nd\n"));
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(q(view->text()), original);
    QCOMPARE(view->caretLine(), 1);

    // Shift+Tab without a selection takes the caret's line back one level.
    text->setTextSelection({0, 0});
    type(*view, "      x");
    QTest::keyClick(text, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(q(view->text()).section('\n', 0, 0), QStringLiteral("    xa"));
    QCOMPARE(view->caretColumn(), 6);
}

void TestIndentWindow::tabAndBackspaceFollowTheDocumentsSpaces()
{
    auto view = open("two.json", "{\n  \"a\": {\n    \"b\": 1\n  }\n}\n");
    QVERIFY(view);
    STTextView *text = view->textView();
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 2"));
    text->setTextSelection({text->document().length(), 0});
    QTest::keyClick(text, Qt::Key_Tab);
    QTest::keyClick(text, Qt::Key_Tab);
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(q(view->text()).section('\n', -1), QStringLiteral("      "));
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(q(view->text()).section('\n', -1), QStringLiteral("    "));
    type(*view, "x");
    QTest::keyClick(text, Qt::Key_Left);
    QTest::keyClick(text, Qt::Key_Left);
    // In the indentation but not at a stop: back to the stop only.
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(q(view->text()).section('\n', -1), QStringLiteral("   x"));
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(q(view->text()).section('\n', -1), QStringLiteral(" x"));

    // After text, Backspace deletes one character.
    QTest::keyClick(text, Qt::Key_End);
    type(*view, "  ");
    QTest::keyClick(text, Qt::Key_Backspace);
    QCOMPARE(q(view->text()).section('\n', -1), QStringLiteral(" x "));
}

void TestIndentWindow::chosenSpacesThenConvertIsUndoneByOneUndo()
{
    const QString original = QStringLiteral("root:\n  list:\n    - a\n    - b\n  other: 1\n");
    auto view = open("k.yaml", original.toUtf8());
    QVERIFY(view);
    STTextView *text = view->textView();
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 2"));
    QCOMPARE(text->indentStyle(), (TextView::IndentStyle{false, 2}));
    QTest::mouseClick(view->statusBar()->indentationItem(), Qt::LeftButton);
    QMenu *menu = view->findChild<QMenu *>("indentationMenu");
    QVERIFY(menu);
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(actionNamed(menu, "indentSpaces2")->isChecked());
    QVERIFY(!actionNamed(menu, "indentSpaces4")->isChecked());
    actionNamed(menu, "indentSpaces4")->trigger();
    menu->close();
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 4"));
    QCOMPARE(text->indentStyle(), (TextView::IndentStyle{false, 4}));
    QCOMPARE(q(view->text()), original); // choosing alone changes no text

    text->setTextSelection({15, 0}); // inside the list line's indentation
    menu = view->showIndentationMenu();
    QVERIFY(actionNamed(menu, "indentSpaces4")->isChecked());
    actionNamed(menu, "convertIndentation")->trigger();
    menu->close();
    QCOMPARE(q(view->text()), QStringLiteral("root:\n    list:\n        - a\n        - b\n    other: 1\n"));
    QVERIFY(view->isDirty());
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(q(view->text()), original);
    QVERIFY(!view->isDirty());
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(q(view->text()), QStringLiteral("root:\n    list:\n        - a\n        - b\n    other: 1\n"));
}

void TestIndentWindow::tabsAreNotOfferedForYAML()
{
    auto view = open("t.yaml", "a:\n\tb: 1\n");
    QVERIFY(view);
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 4"));
    QMenu *menu = view->showIndentationMenu();
    QVERIFY(!actionNamed(menu, "indentTabs")->isEnabled());
    view->setIndentation({true, 4});
    QCOMPARE(view->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 4"));

    // Converting turns the tab into the chosen spaces.
    view->setIndentation({false, 2});
    view->convertIndentation();
    QCOMPARE(q(view->text()), QStringLiteral("a:\n  b: 1\n"));
}

void TestIndentWindow::eachDocumentKeepsItsOwnIndentation()
{
    auto tabbed = open("t.json", "{\n\t\"a\": 1\n}\n");
    auto spaced = open("s.json", "{\n  \"a\": 1\n}\n");
    QVERIFY(tabbed && spaced);
    QCOMPARE(tabbed->statusBar()->indentationItem()->text(), QStringLiteral("Tab"));
    QCOMPARE(spaced->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 2"));
    spaced->setIndentation({false, 8});
    QCOMPARE(tabbed->statusBar()->indentationItem()->text(), QStringLiteral("Tab"));
    QCOMPARE(tabbed->textView()->indentStyle(), (TextView::IndentStyle{true, 4}));

    STTextView *text = tabbed->textView();
    text->setFocus();
    text->setTextSelection({text->document().length(), 0});
    QTest::keyClick(text, Qt::Key_Tab);
    QCOMPARE(q(tabbed->text()), QStringLiteral("{\n\t\"a\": 1\n}\n\t"));

    // Another file in the same window is detected anew.
    const QString other = writeFile(m_folder->filePath("o.json"), "{\n    \"a\": 1\n}\n");
    spaced->loadPath(other);
    QVERIFY(waitForLoad(*spaced, other));
    QCOMPARE(spaced->statusBar()->indentationItem()->text(), QStringLiteral("Spaces: 4"));
}

QTEST_MAIN(TestIndentWindow)
#include "tst_indentwindow.moc"
