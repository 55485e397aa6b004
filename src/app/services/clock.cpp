#include "clock.h"

#include <QDateTime>

namespace App {

double systemClock()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace App
