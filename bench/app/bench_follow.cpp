// Follow mode on a 50 MB log, offscreen, in a bare text view:
//  1. the worker's read + decode of 1 MB appended to the file (median of 5 rounds);
//  2. the main thread's share of the same 1 MB: insert at the end of the storage, keep the caret
//     and the scroll at the end, repaint (median and worst of 5 rounds; the target is 5 ms);
//  3. 5 s of growth at 1 MB/s in writes of 4–64 KB by another thread, followed by a LogFollower,
//     while keystrokes land in the middle of the text every 50 ms: the longest gap between ticks
//     of a 1 ms timer on the main thread, the longest keystroke and the longest insertion.
#include "app/window/logfollower.h"

#include "documents/document.h"
#include "documents/followtail.h"
#include "textview/stextview.h"

#include "benchtiming.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace BenchTiming;

// Log lines of varying length, numbered from `first`, about `bytes` in all.
std::string logLines(std::size_t &next, std::size_t bytes)
{
    static const char *levels[] = {"INFO", "DEBUG", "WARN", "ERROR"};
    std::string out;
    out.reserve(bytes + 256);
    while (out.size() < bytes) {
        const std::size_t n = next++;
        out += "2024-05-01 10:" + std::to_string(10 + n / 60000 % 50) + ":" + std::to_string(10 + n / 1000 % 50) + "."
               + std::to_string(100 + n % 900) + " " + levels[n % 4] + " [worker-" + std::to_string(n % 8)
               + "] request id=" + std::to_string(n) + " path=/api/v1/items/" + std::to_string(n * 7 % 10007)
               + " status=200 took=" + std::to_string(n % 97) + "ms";
        if (n % 5 == 0)
            out += " user=\"r\xC3\xA9my\" note=\"long tail of the line to vary its length a little\"";
        out += '\n';
    }
    return out;
}

void appendToFile(const QString &path, const std::string &bytes)
{
    std::ofstream out(path.toStdString(), std::ios::binary | std::ios::app);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

// What the window does with appended text: insert it at the end as a non-user edit and keep
// the caret and the scroll at the end when they were there.
void insertAtEnd(STTextView *view, std::u16string_view text)
{
    auto &storage = view->textContentManager();
    const std::size_t end = storage.length();
    const bool caretAtEnd = view->textSelection().location == end && view->textSelection().length == 0;
    storage.replace(end, 0, text);
    if (caretAtEnd) {
        const std::size_t newEnd = storage.length();
        view->setTextSelection({newEnd, 0});
        view->scrollRangeToVisible({newEnd, 0});
    }
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    const QString path = home.filePath("app.log");
    std::size_t nextLine = 0;
    {
        std::ofstream out(path.toStdString(), std::ios::binary);
        for (std::size_t written = 0; written < 50'000'000;) {
            const std::string block = logLines(nextLine, 1'000'000);
            out.write(block.data(), std::streamsize(block.size()));
            written += block.size();
        }
    }

    TextView::TextDocument document; // outlives the view `window` deletes
    QWidget window;
    STTextView *view = new STTextView(document, &window);
    view->setGeometry(0, 0, 1000, 700);
    window.resize(1000, 700);
    window.show();
    QApplication::processEvents();

    auto decoded = Documents::decodeForLoad(path.toStdString());
    auto *loaded = std::get_if<Documents::LoadedText>(&decoded);
    if (!loaded)
        std::abort();
    Documents::FollowState state = loaded->follow;
    view->setText(std::move(loaded->text));
    const std::size_t end = view->textContentManager().length();
    view->setTextSelection({end, 0});
    view->scrollRangeToVisible({end, 0});
    view->viewport()->repaint();
    QApplication::processEvents();

    // 1 and 2: five rounds of 1 MB each.
    std::vector<double> reads, inserts, storageOnly;
    for (int round = 0; round < 5; ++round) {
        appendToFile(path, logLines(nextLine, 1'048'576));
        const auto readStart = Clock::now();
        auto result = Documents::readAppended(path.toStdString(), state);
        reads.push_back(milliseconds(readStart, Clock::now()));
        auto *appended = std::get_if<Documents::FollowAppended>(&result);
        if (!appended || appended->more)
            std::abort();
        const auto insertStart = Clock::now();
        insertAtEnd(view, appended->text);
        const auto inserted = Clock::now();
        view->viewport()->repaint();
        inserts.push_back(milliseconds(insertStart, Clock::now()));
        storageOnly.push_back(milliseconds(insertStart, inserted));
        QApplication::processEvents();
    }

    // 3: growth at 1 MB/s while typing, through the real follower.
    App::LogFollower follower;
    std::vector<double> followInserts;
    QObject::connect(&follower, &App::LogFollower::appended, [&](std::shared_ptr<const std::u16string> text) {
        const auto start = Clock::now();
        insertAtEnd(view, *text);
        view->viewport()->update();
        followInserts.push_back(milliseconds(start, Clock::now()));
    });
    bool reloaded = false;
    QObject::connect(&follower, &App::LogFollower::reloadNeeded, [&] { reloaded = true; });
    follower.start(path, state);

    std::atomic<bool> writing = true;
    std::size_t writtenBytes = 0;
    std::thread writer([&] {
        std::mt19937 random(42);
        std::uniform_int_distribution<std::size_t> size(4096, 65536);
        const auto start = Clock::now();
        std::ofstream out(path.toStdString(), std::ios::binary | std::ios::app);
        std::string pending;
        while (milliseconds(start, Clock::now()) < 5000) {
            const std::size_t chunk = size(random);
            if (pending.size() < chunk)
                pending += logLines(nextLine, 256 * 1024);
            out.write(pending.data(), std::streamsize(chunk)); // cuts lines and characters anywhere
            out.flush();
            pending.erase(0, chunk);
            writtenBytes += chunk;
            // 1 MB/s on average.
            const double due = double(writtenBytes) / 1'048'576.0 * 1000.0;
            const double now = milliseconds(start, Clock::now());
            if (due > now)
                std::this_thread::sleep_for(std::chrono::microseconds(std::int64_t((due - now) * 1000)));
        }
        writing = false;
    });

    StallMeter stalls;
    // Typing in the middle keeps the caret away from the end: the scroll stays where the user is.
    const std::size_t middle = view->textContentManager().length() / 2;
    view->setFocus();
    std::vector<double> keystrokes;
    QTimer typing;
    typing.setInterval(50);
    QObject::connect(&typing, &QTimer::timeout, [&] {
        if (keystrokes.empty())
            view->setTextSelection({middle, 0});
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        const auto start = Clock::now();
        QApplication::sendEvent(view, &press);
        view->viewport()->repaint();
        keystrokes.push_back(milliseconds(start, Clock::now()));
    });
    stalls.start();
    typing.start();
    spinUntil([&] { return !writing.load(); }, 30'000);
    writer.join();
    typing.stop();
    // Let the follower catch up with the last writes.
    const std::int64_t fileEnd = QFileInfo(path).size();
    spinUntil([&] { return reloaded || follower.state().offset == fileEnd; }, 30'000);
    stalls.stop();

    const Figures read = summarise(reads), insert = summarise(inserts), storage = summarise(storageOnly);
    const Figures key = summarise(keystrokes);
    const Figures followInsert = summarise(followInserts);
    std::printf("50 MB log, 1 MB appended: worker read + decode        median %.2f ms, worst %.2f ms\n", read.median,
                read.worst);
    std::printf("50 MB log, 1 MB appended: main thread insert + repaint median %.2f ms, worst %.2f ms (target 5 ms;"
                " storage insert alone median %.2f ms)\n",
                insert.median, insert.worst, storage.median);
    std::printf("1 MB/s for 5 s in 4-64 KB writes (%.1f MB, %zu deliveries%s): longest main-thread stall %.1f ms |"
                " keystroke + repaint median %.2f ms, worst %.2f ms | insertion worst %.2f ms\n",
                double(writtenBytes) / 1'048'576.0, followInserts.size(), reloaded ? ", RELOAD REQUESTED" : "",
                stalls.longest(), key.median, key.worst, followInsert.worst);
    return reloaded ? 1 : 0;
}
