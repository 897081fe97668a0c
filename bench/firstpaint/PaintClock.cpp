// A clock for the first paint of a Qt widgets program, loaded into it with
// LD_PRELOAD so that the program itself is measured unchanged. When the
// first paint event of any widget has been handled (the whole window is
// painted and flushed in that one pass), it writes to the file named by
// FIRSTPAINT_OUT one line: the nanoseconds from FIRSTPAINT_T0_NS (the
// launcher's CLOCK_MONOTONIC just before it started the process) and the
// painted window's width and height. Then the process ends at once.
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace {

long long monotonicNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

class FirstPaint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()) {
            m_seen = true;
            m_window = static_cast<QWidget*>(watched)->window();
            // Runs once the paint pass this event belongs to has returned
            // to the event loop.
            QMetaObject::invokeMethod(this, [this] { finish(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish()
    {
        const long long now = monotonicNs();
        const char* t0 = std::getenv("FIRSTPAINT_T0_NS");
        const char* out = std::getenv("FIRSTPAINT_OUT");
        if (t0 && out) {
            if (FILE* f = std::fopen(out, "w")) {
                const QSize size = m_window ? m_window->size() : QSize();
                std::fprintf(f, "%lld %d %d\n", now - std::atoll(t0), size.width(), size.height());
                std::fclose(f);
            }
        }
        // Nothing after the first paint is measured: no clean-up either.
        _exit(0);
    }

    bool m_seen = false;
    QPointer<QWidget> m_window;
};

void installClock()
{
    QCoreApplication::instance()->installEventFilter(new FirstPaint(QCoreApplication::instance()));
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installClock)
