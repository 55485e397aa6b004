// STTextView against QPlainTextEdit doing the same work in the same run, offscreen:
//  1. open a 50 MB, ~2 M-line JSON (content set to first paint), time and memory, no wrapping
//  2. the same with wrapping on
//  3. open a 50 MB single-line (minified) JSON
//  4. one keystroke plus repaint in the middle of the 50 MB and of a 2 MB file (median, p95)
//  5. re-colouring a 2,000,000-unit text after a one-character edit, plus repaint
// Each case runs in its own forked process so that peak memory is its own; QPlainTextEdit cases
// that exceed a time cap are reported as such. Then Google Benchmark micro benchmarks of the
// storage. Set CORVANE_BENCH_SKIP_QT=1 to skip the (slow) QPlainTextEdit side.
#include "textview/stextview.h"
#include "textview/textstorage.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSyntaxHighlighter>
#include <QTextBlock>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

double seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

long statusKb(const char *field)
{
    FILE *file = std::fopen("/proc/self/status", "r");
    if (!file)
        return 0;
    char line[256];
    long value = 0;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, file)) {
        if (std::strncmp(line, field, n) == 0) {
            value = std::atol(line + n + 1);
            break;
        }
    }
    std::fclose(file);
    return value;
}

// ~50 MB of pretty-printed JSON with about 24 bytes per line, as UTF-16 straight away.
template<typename Append>
void generateJson(std::size_t targetBytes, Append append)
{
    std::size_t written = 0;
    auto put = [&](const std::string &s) {
        append(s);
        written += s.size();
    };
    put("[\n");
    for (std::size_t i = 0; written < targetBytes; ++i) {
        put("  {\n    \"id\": " + std::to_string(i) + ",\n    \"name\": \"item number " + std::to_string(i)
            + "\",\n    \"active\": " + (i % 3 ? "true" : "false") + ",\n    \"value\": " + std::to_string(i % 997) + ".25,\n"
            + "    \"tags\": [\"alpha\", \"beta\"]\n  },\n");
    }
    put("  {}\n]\n");
}

template<typename Append>
void generateMinified(std::size_t targetBytes, Append append)
{
    std::size_t written = 0;
    append("[");
    for (std::size_t i = 0; written < targetBytes; ++i) {
        const std::string s = "{\"id\":" + std::to_string(i) + ",\"name\":\"item " + std::to_string(i) + "\",\"ok\":true},";
        append(s);
        written += s.size();
    }
    append("{}]");
}

Base::U16Buffer jsonBuffer(std::size_t bytes, bool minified, std::size_t *size)
{
    Base::U16Buffer buffer(bytes + bytes / 16 + 4096);
    auto append = [&](const std::string &s) {
        for (char c : s)
            buffer.push_back(char16_t(c));
    };
    if (minified)
        generateMinified(bytes, append);
    else
        generateJson(bytes, append);
    *size = buffer.size();
    return buffer;
}

QString jsonString(std::size_t bytes, bool minified)
{
    QString out;
    out.reserve(qsizetype(bytes + bytes / 16 + 4096));
    auto append = [&](const std::string &s) { out.append(QLatin1StringView(s.data(), qsizetype(s.size()))); };
    if (minified)
        generateMinified(bytes, append);
    else
        generateJson(bytes, append);
    return out;
}

struct Result {
    double paints = 0;
    double openSeconds = -1;
    double bytesPerByte = -1;
    double median = -1;
    double p95 = -1;
    double cpuMedian = -1;
    double cpuP95 = -1;
    int lines = 0;
};

enum class Widget { St, Plain };

void typeKey(QWidget *target, QWidget *viewport)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(target, &release);
    viewport->repaint();
}

// Counts paint events, to prove that every measured repaint really painted.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void keystrokeStats(QWidget *target, QWidget *viewport, Result &r)
{
    PaintCounter counter;
    viewport->installEventFilter(&counter);
    std::vector<double> times, cpu;
    for (int i = 0; i < 50; ++i) {
        rusage u0{}, u1{};
        getrusage(RUSAGE_THREAD, &u0);
        const auto t0 = Clock::now();
        const double c0 = threadCpuMs();
        typeKey(target, viewport);
        cpu.push_back(threadCpuMs() - c0);
        times.push_back(seconds(t0, Clock::now()) * 1000);
        getrusage(RUSAGE_THREAD, &u1);
        if (std::getenv("CORVANE_BENCH_VERBOSE"))
            std::fprintf(stderr, "%.2fms cpu %.2f minflt %ld majflt %ld nvcsw %ld nivcsw %ld\n", times.back(), cpu.back(),
                         u1.ru_minflt - u0.ru_minflt, u1.ru_majflt - u0.ru_majflt, u1.ru_nvcsw - u0.ru_nvcsw,
                         u1.ru_nivcsw - u0.ru_nivcsw);
    }
    viewport->removeEventFilter(&counter);
    r.paints = counter.paints;
    if (std::getenv("CORVANE_BENCH_VERBOSE")) {
        for (double t : times)
            std::fprintf(stderr, "%.2f ", t);
        std::fprintf(stderr, "(%d paints)\n", counter.paints);
    }
    std::sort(times.begin(), times.end());
    std::sort(cpu.begin(), cpu.end());
    r.median = times[times.size() / 2];
    r.p95 = times[std::size_t(double(times.size()) * 0.95) - 1];
    r.cpuMedian = cpu[cpu.size() / 2];
    r.cpuP95 = cpu[std::size_t(double(cpu.size()) * 0.95) - 1];
}

// Cases 1-4: open (wrap on or off), optionally type in the middle.
Result openCase(Widget widget, std::size_t bytes, bool minified, bool wrap, bool type)
{
    int argc = 1;
    char name[] = "bench_textview";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    Result r;
    if (widget == Widget::St) {
        TextView::TextDocument document;
        STTextView view(document);
        view.resize(1000, 700);
        view.setHorizontallyResizable(!wrap);
        view.setShowsLineNumbers(true);
        view.show();
        QCoreApplication::processEvents();
        const long baseline = statusKb("VmRSS");
        std::size_t size = 0;
        Base::U16Buffer text = jsonBuffer(bytes, minified, &size);
        const auto t0 = Clock::now();
        view.setText(std::move(text));
        view.viewport()->repaint();
        r.openSeconds = seconds(t0, Clock::now());
        r.bytesPerByte = double(statusKb("VmHWM") - baseline) * 1024.0 / double(size);
        r.lines = int(view.textContentManager().lineCount());
        if (type) {
            view.setTextSelection({size / 2, 0});
            view.scrollRangeToVisible({size / 2, 0});
            view.viewport()->repaint();
            keystrokeStats(&view, view.viewport(), r);
        }
    } else {
        QPlainTextEdit view;
        view.resize(1000, 700);
        view.setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        view.setFont(QFont("monospace"));
        view.show();
        QCoreApplication::processEvents();
        const long baseline = statusKb("VmRSS");
        long sourceKb = 0;
        {
            QString text = jsonString(bytes, minified);
            sourceKb = long(text.size()) * 2 / 1024;
            const auto t0 = Clock::now();
            view.setPlainText(text);
            view.viewport()->repaint();
            r.openSeconds = seconds(t0, Clock::now());
        }
        // The source string is gone now; what remains belongs to the document.
        r.bytesPerByte = double(statusKb("VmRSS") - baseline) * 1024.0 / double(sourceKb * 512);
        r.lines = view.blockCount();
        if (type) {
            QTextCursor cursor = view.textCursor();
            cursor.setPosition(view.document()->characterCount() / 2);
            view.setTextCursor(cursor);
            view.ensureCursorVisible();
            view.viewport()->repaint();
            keystrokeStats(&view, view.viewport(), r);
        }
    }
    return r;
}

// A classes byte per unit for JSON-like text: strings, numbers, punctuation.
std::vector<std::uint8_t> classify(std::u16string_view text)
{
    std::vector<std::uint8_t> classes(text.size(), 0);
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (inString) {
            classes[i] = 2;
            if (c == u'"')
                inString = false;
        } else if (c == u'"') {
            classes[i] = 2;
            inString = true;
        } else if (c >= u'0' && c <= u'9') {
            classes[i] = 3;
        } else if (c == u'{' || c == u'}' || c == u'[' || c == u']' || c == u',' || c == u':') {
            classes[i] = 5;
        }
    }
    return classes;
}

class ClassHighlighter : public QSyntaxHighlighter {
public:
    ClassHighlighter(QTextDocument *document, const std::vector<std::uint8_t> *classes)
        : QSyntaxHighlighter(document), m_classes(classes)
    {
        const QColor colors[] = {Qt::black, Qt::blue, Qt::darkGreen, Qt::darkRed, Qt::gray, Qt::darkGray};
        for (int i = 0; i < 6; ++i)
            m_formats[i].setForeground(colors[i]);
    }
    void highlightBlock(const QString &text) override
    {
        const std::size_t base = std::size_t(currentBlock().position());
        int runStart = 0;
        for (int i = 1; i <= text.size(); ++i) {
            const std::size_t a = std::min(base + std::size_t(runStart), m_classes->size() - 1);
            const std::size_t b = std::min(base + std::size_t(i), m_classes->size() - 1);
            if (i < text.size() && (*m_classes)[a] == (*m_classes)[b])
                continue;
            if ((*m_classes)[a])
                setFormat(runStart, i - runStart, m_formats[(*m_classes)[a] % 6]);
            runStart = i;
        }
    }

private:
    const std::vector<std::uint8_t> *m_classes;
    QTextCharFormat m_formats[6];
};

Result recolourCase(Widget widget)
{
    int argc = 1;
    char name[] = "bench_textview";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    std::size_t size = 0;
    Base::U16Buffer buffer = jsonBuffer(2'000'000, false, &size);
    // Exactly 2,000,000 units.
    buffer.resize(std::min<std::size_t>(size, 2'000'000));
    std::u16string text(buffer.data(), buffer.size());
    std::vector<std::uint8_t> classes = classify(text);
    Result r;
    std::vector<double> times;
    if (widget == Widget::St) {
        TextView::TextDocument document;
        STTextView view(document);
        view.resize(1000, 700);
        view.setSyntaxPalette({QColor(), Qt::blue, Qt::darkGreen, Qt::darkRed, Qt::gray, Qt::darkGray});
        view.show();
        QCoreApplication::processEvents();
        view.setText(std::move(buffer));
        view.textContentManager().setClasses(0, classes.data(), classes.size());
        view.setTextSelection({text.size() / 2, 0});
        view.scrollRangeToVisible({text.size() / 2, 0});
        view.viewport()->repaint();
        PaintCounter counter;
        view.viewport()->installEventFilter(&counter);
        for (int i = 0; i < 21; ++i) {
            const auto t0 = Clock::now();
            const std::size_t at = text.size() / 2;
            view.replaceCharacters({at, 1}, i % 2 ? u"1" : u"2");
            auto &storage = view.textContentManager();
            storage.beginEditing();
            storage.setClasses(0, classes.data(), classes.size());
            storage.endEditing();
            view.viewport()->repaint();
            times.push_back(seconds(t0, Clock::now()) * 1000);
        }
        view.viewport()->removeEventFilter(&counter);
        r.paints = counter.paints;
    } else {
        QPlainTextEdit view;
        view.resize(1000, 700);
        view.show();
        QCoreApplication::processEvents();
        view.setPlainText(QString::fromStdU16String(text));
        ClassHighlighter highlighter(view.document(), &classes);
        QTextCursor cursor = view.textCursor();
        cursor.setPosition(int(text.size() / 2));
        view.setTextCursor(cursor);
        view.ensureCursorVisible();
        view.viewport()->repaint();
        for (int i = 0; i < 5; ++i) {
            const auto t0 = Clock::now();
            QTextCursor edit = view.textCursor();
            edit.setPosition(int(text.size() / 2));
            edit.setPosition(int(text.size() / 2) + 1, QTextCursor::KeepAnchor);
            edit.insertText(i % 2 ? "1" : "2");
            highlighter.rehighlight();
            view.viewport()->repaint();
            times.push_back(seconds(t0, Clock::now()) * 1000);
        }
    }
    std::sort(times.begin(), times.end());
    r.median = times[times.size() / 2];
    r.p95 = times.back();
    return r;
}

// Runs `work` in a child process; nothing when it crashed or ran past `capSeconds`.
std::optional<Result> isolated(const std::function<Result()> &work, int capSeconds)
{
    std::fflush(stdout);
    int fds[2];
    if (pipe(fds) != 0)
        return std::nullopt;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const Result r = work();
        (void)!write(fds[1], &r, sizeof r);
        _exit(0);
    }
    close(fds[1]);
    const auto start = Clock::now();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (seconds(start, Clock::now()) > capSeconds) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            close(fds[0]);
            return std::nullopt;
        }
        usleep(20000);
    }
    Result r;
    const bool ok = read(fds[0], &r, sizeof r) == ssize_t(sizeof r);
    close(fds[0]);
    if (!ok)
        return std::nullopt;
    return r;
}

std::string fmt(double v, const char *unit, int precision = 3)
{
    if (v < 0)
        return "-";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f %s", precision, v, unit);
    return buffer;
}

void row(const char *name, const std::optional<Result> &st, const std::optional<Result> &plain, int cap,
         double Result::*field, const char *unit, double scale = 1.0)
{
    const std::string a = st ? fmt((*st).*field * scale, unit) : "failed";
    const std::string b = plain ? fmt((*plain).*field * scale, unit) : (cap ? "> " + std::to_string(cap) + " s (stopped)" : "skipped");
    std::string ratio = "-";
    if (st && plain && (*st).*field > 0 && (*plain).*field > 0) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1fx", (*plain).*field / ((*st).*field));
        ratio = buffer;
    }
    std::printf("%-44s %16s %26s %10s\n", name, a.c_str(), b.c_str(), ratio.c_str());
}

void sideBySide()
{
    const bool skipQt = std::getenv("CORVANE_BENCH_SKIP_QT") != nullptr;
    constexpr std::size_t Big = 50'000'000, Small = 2'000'000;
    auto plain = [&](std::function<Result()> work, int cap) -> std::optional<Result> {
        if (skipQt)
            return std::nullopt;
        return isolated(work, cap);
    };
    std::printf("%-44s %16s %26s %10s\n", "measurement", "STTextView", "QPlainTextEdit", "ratio");
    {
        auto st = isolated([] { return openCase(Widget::St, Big, false, false, true); }, 120);
        auto qt = plain([] { return openCase(Widget::Plain, Big, false, false, true); }, 90);
        std::printf("(50 MB JSON: %d lines; repaints counted during the 50 keystrokes: %d)\n", st ? st->lines : 0,
                    st ? int(st->paints) : 0);
        row("1. open 50 MB JSON, no wrap (s)", st, qt, skipQt ? 0 : 90, &Result::openSeconds, "s");
        row("1. memory, bytes per file byte", st, qt, skipQt ? 0 : 90, &Result::bytesPerByte, "B/B");
        row("4. keystroke+repaint mid 50 MB, median", st, qt, skipQt ? 0 : 90, &Result::median, "ms");
        row("4. keystroke+repaint mid 50 MB, p95", st, qt, skipQt ? 0 : 90, &Result::p95, "ms");
        row("4.   same, thread CPU time p95", st, qt, skipQt ? 0 : 90, &Result::cpuP95, "ms");
    }
    {
        auto st = isolated([] { return openCase(Widget::St, Big, false, true, false); }, 120);
        auto qt = plain([] { return openCase(Widget::Plain, Big, false, true, false); }, 90);
        row("2. open 50 MB JSON, wrap on (s)", st, qt, skipQt ? 0 : 90, &Result::openSeconds, "s");
        row("2. memory, bytes per file byte", st, qt, skipQt ? 0 : 90, &Result::bytesPerByte, "B/B");
    }
    {
        auto st = isolated([] { return openCase(Widget::St, Big, true, true, true); }, 120);
        auto qt = plain([] { return openCase(Widget::Plain, Big, true, true, false); }, 30);
        row("3. open 50 MB single line, wrap on (s)", st, qt, skipQt ? 0 : 30, &Result::openSeconds, "s");
        row("3. keystroke at its middle, median (ST only)", st, std::nullopt, 0, &Result::median, "ms");
        row("3. keystroke at its middle, p95 (ST only)", st, std::nullopt, 0, &Result::p95, "ms");
        row("3.   same, thread CPU time p95", st, std::nullopt, 0, &Result::cpuP95, "ms");
    }
    {
        auto st = isolated([] { return openCase(Widget::St, Small, false, true, true); }, 60);
        auto qt = plain([] { return openCase(Widget::Plain, Small, false, true, true); }, 60);
        row("4. keystroke+repaint mid 2 MB, median", st, qt, skipQt ? 0 : 60, &Result::median, "ms");
        row("4. keystroke+repaint mid 2 MB, p95", st, qt, skipQt ? 0 : 60, &Result::p95, "ms");
        row("4.   same, thread CPU time p95", st, qt, skipQt ? 0 : 60, &Result::cpuP95, "ms");
    }
    {
        auto st = isolated([] { return recolourCase(Widget::St); }, 60);
        auto qt = plain([] { return recolourCase(Widget::Plain); }, 90);
        row("5. edit+recolour 2 M units+repaint, median", st, qt, skipQt ? 0 : 90, &Result::median, "ms");
        row("5. edit+recolour 2 M units+repaint, max", st, qt, skipQt ? 0 : 90, &Result::p95, "ms");
    }
    std::fflush(stdout);
}

// ---- Storage micro benchmarks -------------------------------------------------------------

void BM_StorageTypeInMiddle(benchmark::State &state)
{
    std::size_t size = 0;
    TextView::TextStorage storage;
    storage.setText(jsonBuffer(std::size_t(state.range(0)), false, &size));
    std::size_t at = size / 2;
    for (auto _ : state) {
        storage.replace(at, 0, u"a");
        ++at;
    }
    state.SetLabel(std::to_string(storage.lineCount()) + " lines");
}
BENCHMARK(BM_StorageTypeInMiddle)->Arg(2'000'000)->Arg(50'000'000);

void BM_StorageNewlineInMiddle(benchmark::State &state)
{
    std::size_t size = 0;
    TextView::TextStorage storage;
    storage.setText(jsonBuffer(50'000'000, false, &size));
    std::size_t at = size / 2;
    for (auto _ : state) {
        storage.replace(at, 0, u"\n");
        ++at;
    }
}
BENCHMARK(BM_StorageNewlineInMiddle);

// Adopting a loaded 50 MB text: the line index is built in one pass.
void BM_StorageAdopt50MB(benchmark::State &state)
{
    std::size_t size = 0;
    const Base::U16Buffer source = jsonBuffer(50'000'000, false, &size);
    for (auto _ : state) {
        state.PauseTiming();
        Base::U16Buffer copy(size + 4096);
        copy.append(source.data(), size);
        TextView::TextStorage storage;
        state.ResumeTiming();
        storage.setText(std::move(copy));
        benchmark::DoNotOptimize(storage.lineCount());
    }
}
BENCHMARK(BM_StorageAdopt50MB)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StorageLineAt(benchmark::State &state)
{
    std::size_t size = 0;
    TextView::TextStorage storage;
    storage.setText(jsonBuffer(50'000'000, false, &size));
    std::size_t position = 12345;
    for (auto _ : state) {
        benchmark::DoNotOptimize(storage.lineAt(position));
        position = (position * 7919 + 1) % size;
    }
}
BENCHMARK(BM_StorageLineAt);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    sideBySide();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
