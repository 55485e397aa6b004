#pragma once

// Timing helpers shared by the window benchmarks.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

namespace BenchTiming {

using Clock = std::chrono::steady_clock;

inline double milliseconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

struct Figures {
    double median = 0;
    double p95 = 0;
    double worst = 0;
};

inline Figures summarise(std::vector<double> samples)
{
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[std::min(samples.size() - 1, samples.size() * 95 / 100)],
            samples.back()};
}

// Runs the event loop until `done()` holds; false after `timeoutMs`.
template<typename Done>
bool spinUntil(Done done, int timeoutMs = 60'000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

// The longest gap between ticks of a 1 ms timer on the main thread while it runs: how long the
// main thread was busy at a stretch.
class StallMeter {
public:
    StallMeter()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            m_longest = std::max(m_longest, milliseconds(m_last, now));
            m_last = now;
        });
    }
    void start()
    {
        m_last = Clock::now();
        m_tick.start();
    }
    void stop() { m_tick.stop(); }
    double longest() const { return m_longest; }

private:
    QTimer m_tick;
    Clock::time_point m_last = Clock::now();
    double m_longest = 0;
};

} // namespace BenchTiming
