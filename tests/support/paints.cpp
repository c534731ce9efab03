#include "support/paints.h"

#include "platform/form.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

// Far beyond any frame: only a paint that never comes takes this long.
constexpr qint64 kPatienceMs = 5000;

} // namespace

bool waitForPaints(const std::function<bool()>& done)
{
    QElapsedTimer waited;
    waited.start();
    platform::DoEvents();
    while (!done()) {
        if (waited.elapsed() > kPatienceMs)
            return false;
        QThread::msleep(1);
        platform::DoEvents();
    }
    return true;
}
