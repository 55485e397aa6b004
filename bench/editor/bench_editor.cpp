// The editor with its bridge in place, offscreen, each figure with its floor in the same run:
//  1. one keystroke plus repaint in the middle of a 2 MB and of a 50 MB JSON (median, p95 over
//     50 keystrokes), against the same keystroke in a bare text view;
//  2. the re-colouring that runs 150 ms after a keystroke in a 2,000,000-unit JSON (highlighter,
//     class diff, repaint), against the highlighter alone over the same text;
//  3. a theme switch on that document, with repaint;
//  4. a caret report at the end of the 50 MB file.
#include "editor/editortextview.h"

#include "highlighting/syntaxhighlighter.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Pretty-printed JSON records, padded with spaces to exactly `units` UTF-16 units.
std::u16string makeJson(std::size_t units)
{
    std::u16string text = u"[\n";
    while (true) {
        const std::string record = "  {\"id\": " + std::to_string(text.size())
                                   + ", \"name\": \"record\", \"score\": 12.5, \"tags\": [\"a\", \"b\"], \"ok\": true},\n";
        if (text.size() + record.size() + 16 > units)
            break;
        text.append(record.begin(), record.end());
    }
    text += u"  {}\n]\n";
    text.append(units - text.size(), u' ');
    return text;
}

struct Figures {
    double median = 0;
    double p95 = 0;
};

Figures summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 95 / 100)]};
}

// The window an editor lives in, shown offscreen at a usual size.
struct EditorWindow {
    TextView::TextDocument document; // outlives the view `window` deletes
    QWidget window;
    Editor::Coordinator coordinator;
    Editor::EditorTextView inputs;
    STTextView *view = nullptr;

    explicit EditorWindow(const std::u16string &text)
    {
        inputs.text = std::make_shared<Base::U16Buffer>();
        inputs.text->append(text.data(), text.size());
        inputs.textGeneration = 1;
        inputs.docKind = Documents::DocKind::Json;
        inputs.documentId = "bench";
        view = coordinator.makeView(document, inputs, &window);
        view->setGeometry(0, 0, 1000, 700);
        window.resize(1000, 700);
        window.show();
        QApplication::processEvents();
    }
};

Figures typeInTheMiddle(STTextView *view)
{
    const std::size_t middle = view->textContentManager().length() / 2;
    view->setTextSelection({middle, 0});
    view->setFocus();
    view->repaint();
    std::vector<double> samples;
    for (int i = 0; i < 50; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        const auto start = Clock::now();
        QApplication::sendEvent(view, &press);
        view->viewport()->repaint();
        samples.push_back(milliseconds(start, Clock::now()));
    }
    return summarise(samples);
}

void keystrokes(std::size_t units, const char *label)
{
    const std::u16string text = makeJson(units);
    Figures bare;
    {
        TextView::TextDocument document;
        QWidget window;
        STTextView *view = new STTextView(document, &window);
        view->setText(std::u16string_view(text));
        view->setGeometry(0, 0, 1000, 700);
        window.show();
        QApplication::processEvents();
        bare = typeInTheMiddle(view);
    }
    EditorWindow editor(text);
    const Figures bridged = typeInTheMiddle(editor.view);
    std::printf("keystroke + repaint, %-6s  editor median %.3f ms p95 %.3f ms | bare view median %.3f ms p95 %.3f ms"
                " | p95 ratio %.2fx\n",
                label, bridged.median, bridged.p95, bare.median, bare.p95, bridged.p95 / bare.p95);
}

void recolourAndThemeSwitch()
{
    // Keystrokes add 20 units: stay within the colouring limit.
    const std::u16string text = makeJson(2'000'000 - 20);
    EditorWindow editor(text);
    STTextView *view = editor.view;
    std::vector<double> recolour, highlighterOnly, themeSwitch;
    std::vector<std::uint8_t> classes(text.size() + 64);
    const auto themes = Highlighting::Theme::all();
    for (int i = 0; i < 20; ++i) {
        view->setTextSelection({text.size() / 2, 0});
        view->setFocus();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, "1");
        QApplication::sendEvent(view, &press);

        auto start = Clock::now();
        editor.coordinator.applyAttributesInPlace();
        view->viewport()->repaint();
        recolour.push_back(milliseconds(start, Clock::now()));

        const std::u16string_view current = view->textContentManager().view(0, view->textContentManager().length());
        start = Clock::now();
        if (!Highlighting::SyntaxHighlighter::highlight(Documents::DocKind::Json, current, classes))
            std::abort(); // The text must be within the colouring limit for the figure to mean anything.
        highlighterOnly.push_back(milliseconds(start, Clock::now()));

        editor.inputs.theme = &themes[std::size_t(i + 1) % themes.size()];
        start = Clock::now();
        editor.coordinator.update(editor.inputs);
        view->viewport()->repaint();
        themeSwitch.push_back(milliseconds(start, Clock::now()));
    }
    const Figures r = summarise(recolour), h = summarise(highlighterOnly), t = summarise(themeSwitch);
    std::printf("re-colour 2,000,000 units after a keystroke  median %.3f ms p95 %.3f ms | highlighter alone median"
                " %.3f ms | ratio %.2fx\n",
                r.median, r.p95, h.median, r.median / h.median);
    std::printf("theme switch with repaint                    median %.3f ms p95 %.3f ms\n", t.median, t.p95);
}

void caretAtTheEnd()
{
    const std::u16string text = makeJson(50'000'000);
    EditorWindow editor(text);
    std::vector<double> samples;
    const std::size_t end = text.size();
    for (int i = 0; i < 50; ++i) {
        editor.view->setTextSelection({i % 2 ? end : end - 30, 0});
        const auto start = Clock::now();
        editor.view->setTextSelection({end - std::size_t(i % 7), 0});
        samples.push_back(milliseconds(start, Clock::now()));
    }
    const Figures f = summarise(samples);
    std::printf("caret report at the end of 50 MB              median %.3f ms p95 %.3f ms (line %lld)\n", f.median,
                f.p95, editor.coordinator.caret().line);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    keystrokes(2'000'000, "2 MB");
    keystrokes(50'000'000, "50 MB");
    recolourAndThemeSwitch();
    caretAtTheEnd();
    return 0;
}
