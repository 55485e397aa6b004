#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace App {

class AppDelegate;

// For the launch benchmark and the end-to-end and launch tests: with CORVANE_LAUNCH_REPORT set,
// prints "shown MS" when a window first paints, "painted MS PATH" when a window first paints
// with its document and "sheet MS" when a file-associations sheet first paints, in milliseconds
// since `sinceStart` began, one line each on standard output. Ordinary launches never read these
// variables.
class LaunchReport : public QObject {
public:
    LaunchReport(AppDelegate &delegate, QElapsedTimer sinceStart);
    static bool isRequested();
    // With CORVANE_AUTOSAVE_DELAY_MS set as well (100 ms or more), the auto-save waits that long
    // after the last edit: a scenario that must see unsaved edits for a while is not overtaken
    // by a save. Call before the first window.
    static void applyTimings();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_sinceStart;
};

} // namespace App
