// textview-demo: shows a file in an STTextView, for trying the component and for screenshots.
// Usage: textview-demo [FILE] [--dark] [--nowrap] [--no-numbers] [--error-line N]
//                      [--select START,LENGTH] [--find TEXT] [--size WxH] [--screenshot PNG]
#include "stextview.h"
#include "stfindbar_p.h"

#include "documents/document.h"
#include "highlighting/qtcolor.h"
#include "highlighting/theme.h"
#include "highlighting/syntaxhighlighter.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addPositionalArgument("file", "File to show");
    parser.addOptions({{"dark", "Dark theme colours"},
                       {"theme", "Theme id", "id"},
                       {"nowrap", "No line wrapping"},
                       {"no-numbers", "Hide line numbers"},
                       {"error-line", "Mark this 1-based line as the error line", "line"},
                       {"select", "Select START,LENGTH", "range"},
                       {"find", "Open the find bar with this text", "text"},
                       {"replace", "Show the replace row"},
                       {"preedit", "Show this input-method preedit text at the caret", "text"},
                       {"size", "Window size WxH", "size", "900x600"},
                       {"screenshot", "Render to this PNG and exit", "png"}});
    parser.process(app);

    TextView::TextDocument document;
    STTextView view(document);
    const QString themeId = parser.isSet("theme") ? parser.value("theme")
                                                  : (parser.isSet("dark") ? "vs-claude" : "vscode-light");
    const Highlighting::Theme *chosen = &Highlighting::Theme::resolve(themeId.toStdString());
    const QColor foreground = Highlighting::toQColor(chosen->foreground());
    STTextViewStyle style;
    for (std::size_t i = 0; i < Highlighting::syntaxClassCount; ++i)
        style.syntaxPalette.push_back(Highlighting::toQColor(chosen->color(Highlighting::SyntaxClass(i))));
    style.font = view.font();
    style.font.setPointSizeF(11);
    style.text = foreground;
    style.background = Highlighting::toQColor(chosen->background());
    style.currentLine = foreground;
    style.currentLine.setAlphaF(chosen->isDark() ? 0.06f : 0.08f);
    style.lineNumbers = foreground;
    style.lineNumbers.setAlphaF(0.4f);
    view.setTextViewStyle(style);
    view.setHighlightSelectedLine(true);
    view.setDefaultParagraphStyle({1.4});
    view.setHorizontallyResizable(parser.isSet("nowrap"));
    view.setShowsLineNumbers(!parser.isSet("no-numbers"));

    Documents::DocKind kind = Documents::DocKind::Txt;
    if (!parser.positionalArguments().isEmpty()) {
        const std::string path = parser.positionalArguments().first().toStdString();
        auto loaded = Documents::loadDocument(path);
        if (auto *message = std::get_if<Base::Message>(&loaded)) {
            std::fprintf(stderr, "%s\n", message->englishText().c_str());
            return 1;
        }
        auto &result = std::get<Documents::LoadResult>(loaded);
        kind = result.doc.kind;
        view.setText(std::move(result.text));
    } else {
        view.setText(std::u16string_view(u"{\n  \"hello\": \"world\",\n  \"n\": 42\n}\n"));
    }
    {
        auto &storage = view.textContentManager();
        if (storage.length() <= 2'000'000) {
            const std::u16string text = storage.text();
            std::vector<std::uint8_t> classes(text.size());
            if (Highlighting::SyntaxHighlighter::highlight(kind, text, classes))
                storage.setClasses(0, classes.data(), classes.size());
        }
    }
    if (parser.isSet("error-line")) {
        auto &storage = view.textContentManager();
        const std::size_t line = parser.value("error-line").toULongLong();
        if (line >= 1 && line <= storage.lineCount()) {
            storage.addDecoration({storage.lineStart(line - 1), storage.lineLength(line - 1),
                                   QColor(255, 59, 48, int(0.18 * 255)).rgba(), TextView::UnderlineStyle::Thick,
                                   QColor(255, 59, 48, int(0.85 * 255)).rgba()});
        }
    }
    if (parser.isSet("select")) {
        const QStringList parts = parser.value("select").split(',');
        if (parts.size() == 2)
            view.setTextSelection({parts[0].toULongLong(), parts[1].toULongLong()});
    }
    const QStringList size = parser.value("size").split('x');
    view.resize(size.value(0).toInt(), size.value(1).toInt());
    view.setWindowTitle("textview-demo");
    view.show();
    view.setFocus();
    if (parser.isSet("select"))
        view.scrollRangeToVisible(view.textSelection());
    if (parser.isSet("find")) {
        view.textFinder()->performAction(parser.isSet("replace") ? TextView::FindAction::ShowReplaceInterface
                                                                  : TextView::FindAction::ShowFindInterface);
        view.findBar()->findField()->setText(parser.value("find"));
        view.setSearchString(parser.value("find"), false);
        view.findNext(true);
    }
    if (parser.isSet("preedit")) {
        QInputMethodEvent preedit(parser.value("preedit"), {});
        QApplication::sendEvent(&view, &preedit);
    }
    if (parser.isSet("screenshot")) {
        QTimer::singleShot(200, [&] {
            if (qEnvironmentVariableIsSet("TEXTVIEW_DEMO_VERBOSE"))
                std::fprintf(stderr, "style %s vbar visible %d max %d\n", qPrintable(QApplication::style()->name()),
                             int(view.verticalScrollBar()->isVisible()), view.verticalScrollBar()->maximum());
            view.grab().save(parser.value("screenshot"));
            app.quit();
        });
    }
    return app.exec();
}
