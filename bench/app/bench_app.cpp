// The document window offscreen, each figure beside the bare text view in the same run:
//  1. open to first paint and open to "Valid" of a 50 MB JSON file (the bare side: the same
//     background decode, then the text handed to a bare view and painted);
//  2. keystroke + repaint (median, p95 over 40 keystrokes) in a 2 MB and a 50 MB JSON while the
//     background jobs run: each keystroke lands 260 ms after the previous one, when the jobs
//     scheduled by it have fired and are reading the text;
//     The window is measured twice, with the recovery journal off and on (every keystroke then
//     also queues a journal record, and the writer thread starts, appends and syncs the journal
//     every 0.5 s beside the jobs);
//  3. the longest gap between ticks of a 1 ms timer on the main thread while those jobs run;
//  4. the process's peak resident memory with the 50 MB JSON open and every job done.
#include "app/services/fileassociations.h"
#include "app/services/preferences.h"
#include "app/services/updatechecker.h"
#include "app/window/contentview.h"
#include "app/window/documentjournal.h"
#include "app/window/documentwindow.h"

#include "benchtiming.h"

#include "documents/fileio.h"
#include "textview/stextview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace BenchTiming;

// Pretty-printed JSON records, about `bytes` long, written in pieces so that making the file
// does not raise the process's peak memory.
void writeJson(const QString &path, std::size_t bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << "[\n";
    std::size_t written = 2;
    std::string record;
    for (std::size_t id = 0; written + 200 < bytes; ++id) {
        record = "  {\"id\": " + std::to_string(id)
                 + ", \"name\": \"record \\u00e9\", \"score\": 12.5, \"tags\": [\"a\", \"b\"], \"ok\": true},\n";
        out << record;
        written += record.size();
    }
    out << "  {}\n]\n";
}

long peakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Counts paints of a widget.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *widget) { widget->installEventFilter(this); }
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop for `ms` and returns the longest gap between ticks of a 1 ms timer.
double longestStall(int ms)
{
    StallMeter meter;
    meter.start();
    // Asleep between events, as the editor's own loop is: a loop that spins would take a
    // processor from the background jobs, which an editor waiting for keys leaves to them.
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return meter.longest();
}

struct Typing {
    Figures keystroke;
    double stall = 0;
};

// Keystrokes at the middle of the text, each after the jobs of the previous one started.
Typing typeWhileJobsRun(STTextView *view, bool measureStalls)
{
    const std::size_t middle = view->textContentManager().length() / 2;
    view->setTextSelection({middle, 0});
    view->setFocus();
    std::vector<double> samples;
    Typing typing;
    for (int i = 0; i < 40; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, "1");
        const auto start = Clock::now();
        QApplication::sendEvent(view, &press);
        view->viewport()->repaint();
        samples.push_back(milliseconds(start, Clock::now()));
        const double stall = longestStall(260);
        if (measureStalls)
            typing.stall = std::max(typing.stall, stall);
    }
    typing.keystroke = summarise(samples);
    return typing;
}

struct WindowRun {
    double firstPaint = 0;
    double valid = 0;
    long peakKiB = 0;
    Typing typing;
};

WindowRun runWindow(const QString &path, bool measureOpen, const QString &journalFolder)
{
    WindowRun run;
    App::DocumentJournal::setFolder(journalFolder);
    App::ContentView::Options options;
    options.skipSessionRestore = true;
    App::DocumentWindow window(options);
    window.show();
    QApplication::processEvents();
    App::ContentView *content = window.contentView();
    PaintWatch paints(content->textView()->viewport());
    bool loaded = false;
    QObject::connect(content, &App::ContentView::documentLoaded, [&] {
        loaded = true;
        paints.paints = 0;
    });
    const auto start = Clock::now();
    content->loadPath(path);
    if (!spinUntil([&] { return loaded && paints.paints > 0; }))
        std::abort();
    run.firstPaint = milliseconds(start, Clock::now());
    if (!spinUntil([&] { return content->jsonValidation().isValid(); }))
        std::abort();
    run.valid = milliseconds(start, Clock::now());
    if (measureOpen) {
        longestStall(1000); // Every job done.
        run.peakKiB = peakResidentKiB();
    }
    run.typing = typeWhileJobsRun(content->textView(), true);
    if (!journalFolder.isEmpty()) {
        // The last records reach the journal; it must hold the text as typed.
        content->session().journal().flushNow();
        content->session().journal().waitForWriter();
        if (content->session().journal().path().isEmpty())
            std::abort();
    }
    return run;
}

struct BareRun {
    double firstPaint = 0;
    Typing typing;
};

BareRun runBare(const QString &path)
{
    BareRun run;
    TextView::TextDocument document; // outlives the view `window` deletes
    QWidget window;
    STTextView *view = new STTextView(document, &window);
    view->setGeometry(0, 0, 1000, 700);
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();
    PaintWatch paints(view->viewport());
    const auto start = Clock::now();
    auto checked = Documents::checkBeforeLoad(path.toStdString());
    if (!std::holds_alternative<Documents::FileAttributes>(checked))
        std::abort();
    auto decoded = Documents::decodeForLoad(path.toStdString());
    auto *text = std::get_if<Documents::LoadedText>(&decoded);
    if (!text)
        std::abort();
    paints.paints = 0;
    view->setText(text->text.view());
    if (!spinUntil([&] { return paints.paints > 0; }))
        std::abort();
    run.firstPaint = milliseconds(start, Clock::now());
    run.typing = typeWhileJobsRun(view, true);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    // Preferences and recent files of the run stay in a throwaway folder.
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setOrganizationName("CorvaneBench");
    QApplication::setApplicationName("CorvaneBench");
    // No first-run sheet over the window, no update check against the real host.
    App::Preferences::shared().settings().setValue(App::FileAssociations::hasPromptedKey, true);
    App::Preferences::shared().settings().setValue(App::UpdateChecker::lastCheckKey, 4e9);

    const QString large = home.filePath("large.json");
    const QString small = home.filePath("small.json");
    writeJson(large, 50'000'000);
    writeJson(small, 2'000'000);

    // The window first, so that its peak memory is not the bare view's.
    const QString journals = home.filePath("journal");
    const WindowRun window50 = runWindow(large, true, QString());
    const WindowRun journal50 = runWindow(large, false, journals);
    const WindowRun window2 = runWindow(small, false, QString());
    const WindowRun journal2 = runWindow(small, false, journals);
    const BareRun bare50 = runBare(large);
    const BareRun bare2 = runBare(small);

    std::printf("open to first paint, 50 MB JSON   window %.0f ms | bare view %.0f ms | ratio %.2fx\n",
                window50.firstPaint, bare50.firstPaint, window50.firstPaint / bare50.firstPaint);
    std::printf("open to \"Valid\", 50 MB JSON       window %.0f ms (%.0f ms after first paint)\n", window50.valid,
                window50.valid - window50.firstPaint);
    const auto typing = [](const char *label, const Typing &w, const Typing &b) {
        std::printf("keystroke + repaint, %-6s        window median %.2f ms p95 %.2f ms | bare view median %.2f ms p95"
                    " %.2f ms | p95 ratio %.2fx\n",
                    label, w.keystroke.median, w.keystroke.p95, b.keystroke.median, b.keystroke.p95,
                    w.keystroke.p95 / b.keystroke.p95);
    };
    typing("2 MB", window2.typing, bare2.typing);
    typing("50 MB", window50.typing, bare50.typing);
    const auto journaled = [](const char *label, const Typing &off, const Typing &on) {
        std::printf("keystroke + repaint, %-6s        journal off median %.2f ms p95 %.2f ms | journal on median %.2f ms"
                    " p95 %.2f ms | p95 ratio %.2fx\n",
                    label, off.keystroke.median, off.keystroke.p95, on.keystroke.median, on.keystroke.p95,
                    on.keystroke.p95 / off.keystroke.p95);
    };
    journaled("2 MB", window2.typing, journal2.typing);
    journaled("50 MB", window50.typing, journal50.typing);
    std::printf("longest main-thread stall while jobs run, journal on   2 MB %.1f ms | 50 MB %.1f ms\n",
                journal2.typing.stall, journal50.typing.stall);
    std::printf("longest main-thread stall while jobs run   2 MB %.1f ms | 50 MB %.1f ms (bare view, no jobs: %.1f ms)\n",
                window2.typing.stall, window50.typing.stall, bare50.typing.stall);
    std::printf("peak resident memory, 50 MB JSON open, jobs done   %.1f MiB\n", double(window50.peakKiB) / 1024.0);
    return 0;
}
