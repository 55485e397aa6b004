#include "timer.h"

#include <algorithm>

namespace Base {

namespace {
ManualClock *manualClock = nullptr;
} // namespace

Timer::Timer(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::fire);
}

Timer::~Timer()
{
    if (manualClock)
        manualClock->unschedule(this);
}

void Timer::setInterval(int milliseconds)
{
    m_interval = std::max(0, milliseconds);
}

void Timer::start(int milliseconds)
{
    setInterval(milliseconds);
    start();
}

void Timer::start()
{
    stop();
    if (manualClock) {
        manualClock->schedule(this);
        return;
    }
    m_timer.setSingleShot(m_singleShot);
    m_timer.start(m_interval);
}

void Timer::stop()
{
    m_timer.stop();
    if (manualClock)
        manualClock->unschedule(this);
}

bool Timer::isActive() const
{
    return m_timer.isActive() || m_due >= 0;
}

int Timer::remainingTime() const
{
    if (m_due >= 0 && manualClock)
        return int(std::max<std::int64_t>(0, m_due - manualClock->now()));
    return m_timer.isActive() ? m_timer.remainingTime() : -1;
}

void Timer::fire()
{
    emit timeout();
}

void Timer::singleShot(int milliseconds, QObject *context, std::function<void()> action)
{
    auto *timer = new Timer(context);
    timer->setSingleShot(true);
    QObject::connect(timer, &Timer::timeout, timer, [timer, action = std::move(action)] {
        timer->deleteLater();
        action();
    });
    timer->start(milliseconds);
}

ManualClock::ManualClock()
{
    Q_ASSERT(!manualClock);
    manualClock = this;
}

ManualClock::~ManualClock()
{
    for (Timer *timer : m_running)
        timer->m_due = -1;
    manualClock = nullptr;
}

ManualClock *ManualClock::current()
{
    return manualClock;
}

void ManualClock::schedule(Timer *timer)
{
    unschedule(timer);
    // A repeating timer of no interval would fire forever within one advance.
    timer->m_due = m_now + std::max(timer->m_interval, timer->m_singleShot ? 0 : 1);
    timer->m_order = ++m_started;
    m_running.append(timer);
}

void ManualClock::unschedule(Timer *timer)
{
    timer->m_due = -1;
    m_running.removeAll(timer);
}

std::int64_t ManualClock::untilNextTimer() const
{
    std::int64_t next = -1;
    for (const Timer *timer : m_running)
        if (next < 0 || timer->m_due - m_now < next)
            next = timer->m_due - m_now;
    return next;
}

void ManualClock::advance(std::int64_t milliseconds)
{
    const std::int64_t target = m_now + std::max<std::int64_t>(0, milliseconds);
    while (true) {
        Timer *next = nullptr;
        for (Timer *timer : m_running)
            if (timer->m_due <= target
                && (!next || timer->m_due < next->m_due || (timer->m_due == next->m_due && timer->m_order < next->m_order)))
                next = timer;
        if (!next)
            break;
        m_now = std::max(m_now, next->m_due);
        unschedule(next);
        if (!next->m_singleShot)
            schedule(next);
        next->fire();
    }
    m_now = target;
}

} // namespace Base
