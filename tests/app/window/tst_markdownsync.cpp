// The Markdown split view through a real ContentArea with a real STTextView beside the
// preview, offscreen: each pane follows the other to the same block, once per scroll, and a
// re-parse keeps the place.
#include "app/window/contentarea.h"

#include "viewers/markdownview.h"
#include "viewers/mdblock.h"

#include "highlighting/qtcolor.h"

#include "textview/stextview.h"

#include <QScrollBar>
#include <QSplitter>
#include <QtTest>

using namespace App;
using Documents::DocKind;

namespace {

// Lets the layouts, the splitter and the follow-ups each pane posts to the other run to the end.
void settle()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

} // namespace
using Viewers::MDBlock;

Q_DECLARE_METATYPE(App::ViewMode)

namespace {

// Sections with a heading, a three-line paragraph, a code block of four lines with its
// fences, two list items and blank lines: blocks of one, three and four source lines.
QString longMarkdown(int sections)
{
    QString text;
    for (int i = 0; i < sections; ++i) {
        text += QString("## Section %1\n\n"
                        "Prose of section %1 runs over\nthree source lines that the preview\njoins into one paragraph.\n\n"
                        "```cpp\nint section = %1;\nreturn section;\n```\n\n"
                        "- first point of %1\n- second point\n\n")
                    .arg(i);
    }
    return text;
}

// The line of the heading of section `section` in longMarkdown.
constexpr std::size_t linesPerSection = 14;
std::size_t headingLine(std::size_t section) { return section * linesPerSection; }

struct Split {
    TextView::TextDocument document; // outlives the editor `area` deletes
    STTextView *editor = new STTextView(document);
    ContentArea area{editor};
    Viewers::MarkdownView *preview() const { return area.markdownView(); }
    std::u16string text;

    explicit Split(int sections = 400)
    {
        area.resize(1000, 600);
        area.arrange(DocKind::Markdown, ViewMode::Split);
        text = longMarkdown(sections).toStdU16String();
        editor->setText(text);
        area.show();
    }
    void parse() { area.setBlocks(MDBlock::parse(text)); }
    std::size_t editorTopLine() const { return editor->visibleLines().front().line; }
    void scrollEditorToLine(std::size_t line) const
    {
        editor->verticalScrollBar()->setValue(int(editor->wrapRows().rowOfLine(line)));
    }
    const Viewers::MDBlockList &blocks() const { return preview()->blocks(); }
};

void applyTheme(Split &split, const Highlighting::Theme &theme)
{
    split.area.setTheme(theme);
    split.editor->setBackgroundColor(Highlighting::toQColor(theme.background()));
    split.editor->setTextColor(Highlighting::toQColor(theme.foreground()));
}

} // namespace

class TestMarkdownSync : public QObject {
    Q_OBJECT

private slots:
    void editorScrollBringsPreviewToItsBlock_data();
    void editorScrollBringsPreviewToItsBlock();
    void previewScrollBringsEditorIntoItsBlock_data();
    void previewScrollBringsEditorIntoItsBlock();
    void eachScrollIsHandledOnce();
    void reparseKeepsThePlace();
    void enteringSplitFollowsTheEditor();
    void nothingFollowsOutsideSplit_data();
    void nothingFollowsOutsideSplit();
    void scrollingALongDocumentMeasuresOnlyWhatShows();
    void halfwayShowsItsSection_data();
    void halfwayShowsItsSection();
};

void TestMarkdownSync::editorScrollBringsPreviewToItsBlock_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<double>("fraction");
    QTest::newRow("heading") << int(headingLine(120)) << 0.0;
    QTest::newRow("blankAfterHeading") << int(headingLine(120) + 1) << 0.0;
    QTest::newRow("paragraphFirstLine") << int(headingLine(120) + 2) << 0.0;
    QTest::newRow("paragraphSecondLine_aThirdIn") << int(headingLine(120) + 3) << 1.0 / 3;
    QTest::newRow("paragraphThirdLine_twoThirdsIn") << int(headingLine(120) + 4) << 2.0 / 3;
    QTest::newRow("openingFence") << int(headingLine(200) + 6) << 0.0;
    QTest::newRow("codeLine_aQuarterIn") << int(headingLine(200) + 7) << 0.25;
    QTest::newRow("closingFence_threeQuartersIn") << int(headingLine(200) + 9) << 0.75;
    QTest::newRow("listItem") << int(headingLine(30) + 11) << 0.0;
    QTest::newRow("top") << 0 << 0.0;
}

void TestMarkdownSync::editorScrollBringsPreviewToItsBlock()
{
    QFETCH(int, line);
    QFETCH(double, fraction);
    Split split;
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.scrollEditorToLine(std::size_t(line));
    QCOMPARE(split.editorTopLine(), std::size_t(line));
    const std::size_t block = split.blocks().blockAtLine(std::size_t(line));
    QCOMPARE(split.preview()->blockAtTop(), block);
    QVERIFY2(std::abs(split.preview()->blockAtTopFraction() - fraction) < 0.05,
             qPrintable(QString::number(split.preview()->blockAtTopFraction())));
    if (line == 0)
        QCOMPARE(split.preview()->verticalScrollBar()->value(), 0);
    // Painting does not move it.
    split.area.grab();
    QCOMPARE(split.preview()->blockAtTop(), block);
}

void TestMarkdownSync::previewScrollBringsEditorIntoItsBlock_data()
{
    QTest::addColumn<double>("part");
    QTest::newRow("tenth") << 0.1;
    QTest::newRow("third") << 0.33;
    QTest::newRow("half") << 0.5;
    QTest::newRow("twoThirds") << 0.66;
}

void TestMarkdownSync::previewScrollBringsEditorIntoItsBlock()
{
    QFETCH(double, part);
    Split split;
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.area.grab();
    QScrollBar *bar = split.preview()->verticalScrollBar();
    bar->setValue(int(bar->maximum() * part));
    const std::size_t block = split.preview()->blockAtTop();
    const std::size_t line = split.editorTopLine();
    QVERIFY2(line >= split.blocks().firstLine(block)
                 && line < split.blocks().firstLine(block) + split.blocks().lineCount(block),
             qPrintable(QString("line %1, block %2").arg(line).arg(block)));
    // In proportion: the line the preview's fraction points at.
    const double source = Viewers::sourceLineForBlock(split.blocks(), {block, split.preview()->blockAtTopFraction()});
    QCOMPARE(line, std::size_t(source));
}

// Neither pane answers the other's following: one scroll of the editor moves the preview
// without a topBlockChanged, and one scroll of the preview moves the editor once and leaves the
// preview exactly where the user put it (not re-placed from the editor's whole lines).
void TestMarkdownSync::eachScrollIsHandledOnce()
{
    Split split;
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.area.grab();
    QSignalSpy editorMoves(split.editor->verticalScrollBar(), &QScrollBar::valueChanged);
    QSignalSpy previewMoves(split.preview(), &Viewers::MarkdownView::topBlockChanged);

    split.scrollEditorToLine(headingLine(50) + 3);
    QCOMPARE(editorMoves.count(), 1);
    QCOMPARE(previewMoves.count(), 0);
    const std::size_t previewBlock = split.preview()->blockAtTop();
    const std::int64_t previewOffset = split.preview()->firstVisibleRowOffset();
    settle();
    split.area.grab();
    QCOMPARE(split.editorTopLine(), headingLine(50) + 3);
    QCOMPARE(split.preview()->blockAtTop(), previewBlock);
    QCOMPARE(split.preview()->firstVisibleRowOffset(), previewOffset);

    editorMoves.clear();
    QScrollBar *bar = split.preview()->verticalScrollBar();
    const int target = bar->value() + 7; // A few pixels: inside one block.
    bar->setValue(target);
    QCOMPARE(bar->value(), target); // Not re-placed from the editor's whole lines.
    QCOMPARE(previewMoves.count(), 1);
    QVERIFY(editorMoves.count() <= 1);
    const std::size_t block = split.preview()->blockAtTop();
    const std::int64_t offset = split.preview()->firstVisibleRowOffset();
    const std::size_t line = split.editorTopLine();
    settle();
    split.area.grab();
    QCOMPARE(previewMoves.count(), 1);
    QCOMPARE(split.preview()->blockAtTop(), block);
    QCOMPARE(split.preview()->firstVisibleRowOffset(), offset);
    QCOMPARE(split.editorTopLine(), line);

    // Small steps through headings, paragraphs and code: the preview stays exactly where each
    // step put it while the editor moves line by line.
    for (int step = 0; step < 60; ++step) {
        const int next = bar->value() + 5;
        bar->setValue(next);
        QCOMPARE(bar->value(), next);
    }
    QVERIFY(split.editorTopLine() > line);

    // A wheel step on the preview: again one step, one follow.
    previewMoves.clear();
    editorMoves.clear();
    QWheelEvent wheel(QPointF(50, 50), split.preview()->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(),
                      QPoint(0, -360), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    const int beforeWheel = bar->value();
    QApplication::sendEvent(split.preview()->viewport(), &wheel);
    QCOMPARE(bar->value(), beforeWheel + 3 * QApplication::wheelScrollLines() * bar->singleStep());
    QCOMPARE(previewMoves.count(), 1);
    QCOMPARE(editorMoves.count(), 1);
}

// Typing three lines above the place shifts the editor's top line; the new parse puts the
// preview back on the same section. A parse of unchanged text leaves the preview untouched.
void TestMarkdownSync::reparseKeepsThePlace()
{
    Split split;
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.scrollEditorToLine(headingLine(150));
    QCOMPARE(split.preview()->blockAtTop(), split.blocks().blockAtLine(headingLine(150)));
    const std::u16string heading(split.blocks().content(split.preview()->blockAtTop()));
    QCOMPARE(QString::fromStdU16String(heading), QString("Section 150"));

    const std::size_t before = split.preview()->blockAtTop();
    const std::int64_t offset = split.preview()->firstVisibleRowOffset();
    split.parse();
    QCOMPARE(split.preview()->blockAtTop(), before);
    QCOMPARE(split.preview()->firstVisibleRowOffset(), offset);

    QVERIFY(split.editor->replaceCharacters({0, 0}, u"# Added\n\nnew words\n"));
    split.text = split.editor->textContentManager().text();
    QCOMPARE(split.editorTopLine(), headingLine(150) + 3);
    split.parse();
    QCOMPARE(split.preview()->blockAtTop(), split.blocks().blockAtLine(headingLine(150) + 3));
    QCOMPARE(QString::fromStdU16String(std::u16string(split.blocks().content(split.preview()->blockAtTop()))),
             QString("Section 150"));
}

void TestMarkdownSync::enteringSplitFollowsTheEditor()
{
    Split split;
    split.area.arrange(DocKind::Markdown, ViewMode::Text);
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.scrollEditorToLine(headingLine(77));
    split.area.arrange(DocKind::Markdown, ViewMode::Split);
    QVERIFY(split.area.isSplit());
    QCOMPARE(split.preview()->blockAtTop(), split.blocks().blockAtLine(headingLine(77)));
    // Still there once the splitter has sized the panes.
    settle();
    split.area.grab();
    QCOMPARE(split.preview()->blockAtTop(), split.blocks().blockAtLine(headingLine(77)));
    QVERIFY(split.preview()->width() >= ContentArea::minimumPaneWidth);
}

void TestMarkdownSync::nothingFollowsOutsideSplit_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<ViewMode>("mode");
    QTest::newRow("markdownText") << int(DocKind::Markdown) << ViewMode::Text;
    QTest::newRow("markdownPreview") << int(DocKind::Markdown) << ViewMode::Preview;
    QTest::newRow("jsonSplit_notMarkdown") << int(DocKind::Json) << ViewMode::Split;
}

void TestMarkdownSync::nothingFollowsOutsideSplit()
{
    QFETCH(int, kind);
    QFETCH(ViewMode, mode);
    Split split;
    split.area.arrange(DocKind(DocKind::Value(kind)), mode);
    QVERIFY(!split.area.isSplit());
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.preview()->scrollToBlock(10);
    split.scrollEditorToLine(headingLine(100));
    QCOMPARE(split.preview()->blockAtTop(), std::size_t(10));
    const std::size_t line = split.editorTopLine();
    split.preview()->verticalScrollBar()->setValue(split.preview()->verticalScrollBar()->maximum() / 4);
    QCOMPARE(split.editorTopLine(), line);
    split.parse();
    QCOMPARE(split.editorTopLine(), line);
}

// A long document (100,000 sections, 1.4 million lines): following costs a lookup per scroll,
// so only the blocks that come on screen are ever measured.
void TestMarkdownSync::scrollingALongDocumentMeasuresOnlyWhatShows()
{
    Split split(100'000);
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.area.grab();
    for (int step = 1; step <= 20; ++step) {
        const std::size_t line = headingLine(std::size_t(step) * 4'999);
        split.scrollEditorToLine(line);
        QCOMPARE(split.preview()->blockAtTop(), split.blocks().blockAtLine(line));
        split.area.grab();
    }
    QVERIFY2(split.preview()->measuredRowCount() < 1'000, qPrintable(QString::number(split.preview()->measuredRowCount())));
    QVERIFY(split.editor->cachedLayoutCount() < 1'000);
}

void TestMarkdownSync::halfwayShowsItsSection_data()
{
    QTest::addColumn<QString>("theme");
    QTest::newRow("dark") << "vscode-dark";
    QTest::newRow("light") << "vscode-light";
}

// Half-way down, both panes show the same section heading at their top.
void TestMarkdownSync::halfwayShowsItsSection()
{
    QFETCH(QString, theme);
    Split split(60);
    applyTheme(split, *Highlighting::Theme::byId(theme.toStdString()));
    split.area.resize(1200, 760);
    QVERIFY(QTest::qWaitForWindowExposed(&split.area));
    split.parse();
    split.scrollEditorToLine(headingLine(30));
    settle();
    QCOMPARE(QString::fromStdU16String(std::u16string(split.blocks().content(split.preview()->blockAtTop()))),
             QString("Section 30"));
}

QTEST_MAIN(TestMarkdownSync)
#include "tst_markdownsync.moc"
