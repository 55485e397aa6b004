#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

namespace Base {

// A main-thread timer for the windows' delays (auto-save, job debounce, polls, toasts) that runs
// on the application's clock: the event loop's time in the product, a clock the test advances
// while a ManualClock exists. The subset of QTimer the windows use, with the same meaning.
class Timer : public QObject {
    Q_OBJECT

public:
    explicit Timer(QObject *parent = nullptr);
    ~Timer() override;

    void setSingleShot(bool singleShot) { m_singleShot = singleShot; }
    bool isSingleShot() const { return m_singleShot; }
    // Milliseconds; negative counts as 0.
    void setInterval(int milliseconds);
    int interval() const { return m_interval; }
    // (Re)starts with the interval: a running timer starts over.
    void start();
    void start(int milliseconds);
    void stop();
    bool isActive() const;
    // Milliseconds until it fires, -1 when it is not running.
    int remainingTime() const;

    // Calls `action` once after `milliseconds`, unless `context` is gone by then.
    static void singleShot(int milliseconds, QObject *context, std::function<void()> action);

signals:
    void timeout();

private:
    friend class ManualClock;
    void fire();

    QTimer m_timer;
    int m_interval = 0;
    bool m_singleShot = false;
    // While a ManualClock runs: when this timer is due on it, or -1 when it is not running.
    std::int64_t m_due = -1;
    std::uint64_t m_order = 0;
};

// For tests: while one exists, every Timer started runs on this clock, which moves only when the
// test advances it. Main thread only; at most one at a time.
class ManualClock {
public:
    ManualClock();
    ~ManualClock();
    ManualClock(const ManualClock &) = delete;
    ManualClock &operator=(const ManualClock &) = delete;

    static ManualClock *current();
    // Milliseconds since the clock was made.
    std::int64_t now() const { return m_now; }
    // Moves the time on by `milliseconds`, firing every timer due by then in the order they fall
    // due (timers due at the same moment in the order they were started); a timer started by one
    // that fires runs too when it falls due within the span.
    void advance(std::int64_t milliseconds);
    // Milliseconds until the next timer is due, -1 when none runs.
    std::int64_t untilNextTimer() const;

private:
    friend class Timer;
    void schedule(Timer *timer);
    void unschedule(Timer *timer);

    std::int64_t m_now = 0;
    std::uint64_t m_started = 0;
    QList<Timer *> m_running;
};

} // namespace Base
