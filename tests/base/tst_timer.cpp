// The windows' timers on a clock the test drives: nothing fires before its time, everything due
// fires in order, restarts push a timer back, and the event loop's time is used otherwise.
#include "base/timer.h"

#include <QtTest>

class TestTimer : public QObject {
    Q_OBJECT
private slots:
    void manualClockFiresInOrder();
    void restartPushesBackAndStopCancels();
    void repeatingTimerFiresEachInterval();
    void timerStartedByAnotherFiresWithinTheSameAdvance();
    void singleShotGoesWithItsContext();
    void withoutAManualClockTheEventLoopFires();
};

void TestTimer::manualClockFiresInOrder()
{
    Base::ManualClock clock;
    QStringList fired;
    Base::Timer late, early, alsoEarly;
    for (auto [timer, name, ms] : {std::tuple{&late, "late", 300}, {&early, "early", 100}, {&alsoEarly, "also", 100}}) {
        timer->setSingleShot(true);
        connect(timer, &Base::Timer::timeout, this, [&fired, name = QString(name), &clock] {
            fired << QStringLiteral("%1@%2").arg(name).arg(clock.now());
        });
        timer->start(ms);
    }
    QCOMPARE(clock.untilNextTimer(), 100);
    clock.advance(99);
    QCOMPARE(early.remainingTime(), 1);
    QCOMPARE(late.remainingTime(), 201);
    QVERIFY(fired.isEmpty());
    clock.advance(200);
    QCOMPARE(fired, (QStringList{"early@100", "also@100"}));
    QVERIFY(late.isActive() && !early.isActive());
    clock.advance(1);
    QCOMPARE(fired.last(), QString("late@300"));
    QCOMPARE(late.remainingTime(), -1);
    QCOMPARE(clock.untilNextTimer(), -1);
}

void TestTimer::restartPushesBackAndStopCancels()
{
    Base::ManualClock clock;
    int fired = 0;
    Base::Timer save;
    save.setSingleShot(true);
    save.setInterval(5000);
    connect(&save, &Base::Timer::timeout, this, [&] { ++fired; });
    save.start();
    clock.advance(4900);
    save.start(); // another keystroke
    clock.advance(4999);
    QCOMPARE(fired, 0);
    clock.advance(1);
    QCOMPARE(fired, 1);
    save.start();
    save.stop();
    clock.advance(10'000);
    QCOMPARE(fired, 1);
    QVERIFY(!save.isActive());
}

void TestTimer::repeatingTimerFiresEachInterval()
{
    Base::ManualClock clock;
    int fired = 0;
    Base::Timer poll;
    poll.setInterval(250);
    connect(&poll, &Base::Timer::timeout, this, [&] { ++fired; });
    poll.start();
    clock.advance(1000);
    QCOMPARE(fired, 4);
    QVERIFY(poll.isActive());
}

void TestTimer::timerStartedByAnotherFiresWithinTheSameAdvance()
{
    Base::ManualClock clock;
    Base::Timer first, second;
    first.setSingleShot(true);
    second.setSingleShot(true);
    std::int64_t secondAt = -1;
    connect(&first, &Base::Timer::timeout, this, [&] { second.start(50); });
    connect(&second, &Base::Timer::timeout, this, [&] { secondAt = clock.now(); });
    first.start(100);
    clock.advance(200);
    QCOMPARE(secondAt, std::int64_t(150));
    QCOMPARE(clock.now(), std::int64_t(200));
}

void TestTimer::singleShotGoesWithItsContext()
{
    Base::ManualClock clock;
    int fired = 0;
    auto context = std::make_unique<QObject>();
    Base::Timer::singleShot(10, context.get(), [&] { ++fired; });
    Base::Timer::singleShot(10, this, [&] { ++fired; });
    context.reset();
    clock.advance(10);
    QCOMPARE(fired, 1);
}

void TestTimer::withoutAManualClockTheEventLoopFires()
{
    QVERIFY(!Base::ManualClock::current());
    bool fired = false;
    Base::Timer::singleShot(1, this, [&] { fired = true; });
    QTRY_VERIFY(fired);
}

QTEST_MAIN(TestTimer)
#include "tst_timer.moc"
