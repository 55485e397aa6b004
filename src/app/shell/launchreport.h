#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace App {

class AppDelegate;

// For the launch benchmark and the end-to-end and launch tests: with CORVANE_LAUNCH_REPORT set,
// prints "shown MS" when a window first paints, "painted MS PATH" when a window first paints
// with its document and "sheet MS" when a file-associations sheet first paints, in milliseconds
// since `sinceStart` began, one line each on standard output.
class LaunchReport : public QObject {
public:
    LaunchReport(AppDelegate &delegate, QElapsedTimer sinceStart);
    static bool isRequested();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QElapsedTimer m_sinceStart;
};

} // namespace App
