// Pictures of the structured views alone (the CSV table, the JSON tree, the Markdown preview) on
// the viewers' test fixtures, of the CSV delimiter picker, and of the theme chooser, each in the
// state worth a look after a change to how it draws.
#include "viewershots.h"

#include "app/window/chrome.h"

#include "highlighting/theme.h"
#include "highlighting/themepicker.h"
#include "viewers/csvdelimiterpicker.h"
#include "viewers/csvtableview.h"
#include "viewers/jsontreeview.h"
#include "viewers/markdownview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QMenu>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include <cstdio>
#include <string>

using namespace Viewers;

namespace {

std::u16string readFixture(const QString &name)
{
    QFile file(QStringLiteral(CORVANE_VIEWER_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read the fixture %s\n", qPrintable(file.fileName()));
        return {};
    }
    return QString::fromUtf8(file.readAll()).toStdU16String();
}

const Highlighting::Theme &theme(const char *id)
{
    return *Highlighting::Theme::byId(id);
}

class ViewerShots {
public:
    explicit ViewerShots(QString output) : m_output(std::move(output)) {}

    void take()
    {
        csvTable();
        jsonTree();
        markdown();
        csvRaggedAndPicker("dark", "vs-claude");
        csvRaggedAndPicker("light", "vscode-light");
        themePicker();
    }

private:
    void save(QWidget &widget, const QString &name)
    {
        const QString path = QDir(m_output).filePath(name + ".png");
        if (widget.grab().save(path))
            std::printf("%s\n", qPrintable(path));
        else
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }

    // The whole screen, so that popups are in the picture; only under a real display.
    void saveScreen(const QString &name)
    {
        const QString path = QDir(m_output).filePath(name + ".png");
        if (QGuiApplication::primaryScreen()->grabWindow(0).save(path))
            std::printf("%s\n", qPrintable(path));
    }

    static void show(QWidget &widget)
    {
        widget.show();
        if (!QTest::qWaitForWindowExposed(&widget))
            std::fprintf(stderr, "a view was never shown\n");
    }

    void csvTable()
    {
        {
            CSVTableView view;
            view.resize(760, 300);
            view.setTable(CSVParser::parse(readFixture("csv/people.csv")));
            show(view);
            save(view, "csv-people");

            // Long prose wrapping within its column.
            std::u16string wide = u"id,summary,status\n1,";
            for (int i = 0; i < 12; ++i)
                wide += u"The quick brown fox jumps over the lazy dog. ";
            wide += u",done\n2,short,open\n";
            view.setTable(CSVParser::parse(wide));
            save(view, "csv-wrapping");
        }
        {
            CSVTableView view;
            view.resize(400, 300);
            view.setTable(CSVParser::parse(u"\n\n"));
            show(view);
            save(view, "csv-empty");
        }
        {
            std::u16string text = u"id,name,value\n";
            text.reserve(24'000'000);
            for (int i = 0; i < 1'000'000; ++i) {
                const std::string row = std::to_string(i) + ",name " + std::to_string(i) + "," + std::to_string(i * 7) + "\n";
                text.append(row.begin(), row.end());
            }
            CSVTableView view;
            view.resize(600, 400);
            view.setTable(CSVParser::parse(text));
            show(view);
            view.grab(); // measures the rows first shown, as a person scrolling down would
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
            view.grab();
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
            save(view, "csv-million-bottom");
        }
        {
            CSVTableView view;
            view.resize(760, 300);
            view.setTable(CSVParser::parse(readFixture("csv/people.csv")));
            show(view);
            view.setFocus();
            view.setSelectedCell(CSVTableView::Cell{1, 3}); // Bob's note
            save(view, "csv-selected");
        }
        {
            std::u16string text = u"a,b,c\n";
            for (int i = 0; i < 1000; ++i)
                text += u"1,2,3\n";
            CSVTableView view;
            view.resize(220, 200);
            view.setTable(CSVParser::parse(text));
            show(view);
            for (int i = 0; i < 41; ++i)
                QTest::keyClick(&view, Qt::Key_Down);
            for (int i = 0; i < 3; ++i)
                QTest::keyClick(&view, Qt::Key_Right);
            save(view, "csv-keyboard");
        }
    }

    void jsonTree()
    {
        {
            JSONTreeView view;
            view.resize(520, 300);
            view.setTheme(theme("solarized-light"));
            show(view);
            view.setResult(JSONTreeBuilder::build(u"{\"a\": tru}"));
            save(view, "json-invalid");
        }
        {
            JSONTreeView view;
            view.resize(500, 400);
            view.setResult(JSONTreeBuilder::build(readFixture("json/catalog.json")));
            show(view);
            save(view, "json-catalog");
            view.setSelectedRow(5); // $.books, collapsed and opened again, then its first book
            QTest::keyClick(&view, Qt::Key_Left);
            QTest::keyClick(&view, Qt::Key_Right);
            QTest::keyClick(&view, Qt::Key_Down);
            QTest::keyClick(&view, Qt::Key_Return);
            view.setTheme(theme("vscode-light"));
            save(view, "json-catalog-light-expanded");
        }
    }

    void markdown()
    {
        {
            MarkdownView view;
            view.resize(640, 620);
            view.setFontSize(13);
            view.setBlocks(MDBlock::parse(readFixture("md/guide.md")));
            show(view);
            save(view, "md-guide-dark");
            view.setTheme(theme("novel"));
            save(view, "md-guide-novel");
        }
        {
            QString text;
            for (int i = 0; i < 20'000; ++i)
                text += QString("## Section %1\nSome *prose* for section %1 with `code`.\n- item\n\n").arg(i);
            MarkdownView view;
            view.resize(600, 500);
            view.setBlocks(MDBlock::parse(text.toStdU16String()));
            show(view);
            view.grab();
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
            save(view, "md-many-bottom");
        }
    }

    // The colours the document window gives the table for `theme`.
    static void applyTheme(QWidget &widget, const Highlighting::Theme &theme)
    {
        widget.setPalette(App::Chrome::tablePalette(widget.palette(), theme));
    }

    // A sorted table with ragged rows under the delimiter picker; on a real display also the
    // ragged row's tooltip and the picker's open menu.
    void csvRaggedAndPicker(const QString &tag, const char *themeId)
    {
        const Highlighting::Theme &chosen = theme(themeId);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *bar = new QHBoxLayout;
        auto *picker = new CSVDelimiterPicker(&window);
        picker->setTheme(chosen);
        picker->setDetectedDelimiter(u';');
        bar->addStretch();
        bar->addWidget(picker);
        layout->addLayout(bar);
        auto *view = new CSVTableView(&window);
        layout->addWidget(view);
        applyTheme(window, chosen);
        window.resize(720, 320);
        view->setTable(CSVParser::parse(u"city;population;area km²;note\n"
                                        u"Bergen;285900;465;rainy\n"
                                        u"Oslo;709000;454;capital\n"
                                        u"Tromsø;77500\n"
                                        u"Trondheim;212700;342;\"old; wooden\"\n"
                                        u"Stavanger;n/a;71;oil\n"
                                        u"Bodø;53700;1395;north;extra\n",
                                        u";"));
        view->setSort(1, CSVSortOrder::Descending);
        view->setSelectedCell(CSVTableView::Cell{1, 0});
        show(window);
        view->setFocus();
        save(window, "csv-sorted-ragged-" + tag);
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            return;
        const int y = view->headerCellRect(0).bottom() + 4 + 5 * QFontMetrics(view->cellFont()).lineSpacing();
        QToolTip::showText(view->viewport()->mapToGlobal(QPoint(300, y)), view->raggedRowToolTip(5), view->viewport());
        QTest::qWait(600); // the tooltip fades in
        saveScreen("csv-tooltip-" + tag);
        QToolTip::hideText();
        picker->menu()->popup(picker->mapToGlobal(QPoint(0, picker->height() + 2)));
        QTest::qWait(400); // the window manager maps the menu
        saveScreen("csv-menu-" + tag);
        picker->menu()->hide();
    }

    void themePicker()
    {
        Highlighting::ThemePicker picker;
        picker.setSelected(QStringLiteral("solarized-light"));
        picker.resize(picker.sizeHint());
        show(picker);
        save(picker, "themepicker");
    }

    QString m_output;
};

} // namespace

void takeViewerShots(const QString &output)
{
    ViewerShots(output).take();
}
