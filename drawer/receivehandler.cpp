#include "receivehandler.h"

#include "commcontrol.h"
#include "drawercommand.h"
#include "kickdrawer.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace {

// Only the opening of a received text can decide a match, so that is all a drain keeps: a flood
// of any length costs no memory, and the outcome is that of the whole text.
class ReceivedText
{
public:
    void append(char byte)
    {
        if (m_opening.size() < longestDrawerCommand())
            m_opening.append(byte);
    }
    const QByteArray &opening() const { return m_opening; }

private:
    QByteArray m_opening;
};

// Sleeps in the event loop: every pass blocks until some event comes, and a timer makes sure
// one comes by the deadline. The timer's event alone is not enough on Windows: a precise timer
// that fires just as a pass begins is delivered before the pass blocks, and the pass would then
// sleep on with nothing left to wake it. Waking the dispatcher from the timeout ends that pass.
void waitInEventLoop(const std::function<bool()> &ready, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake, &QTimer::timeout, [] {
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
    });
    while (!ready()) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return;
        wake.start(static_cast<int>(left));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

} // namespace

bool moreToCome(CommControl &devicePort, const QByteArray &opening, const EventPump &pump)
{
    if (devicePort.inBufferCount() > 0)
        return true;
    if (!isDrawerCommandOpening(opening))
        return false;
    pump.waitUntil([&devicePort] { return devicePort.inBufferCount() > 0; }, commandOpeningWaitMs);
    return devicePort.inBufferCount() > 0;
}

EventPump EventPump::applicationLoop()
{
    return {[] { QCoreApplication::processEvents(); }, waitInEventLoop};
}

void DrainInput(CommControl &devicePort, StatusView &view, const StartOptions &options,
                DrawerLibrary &library, const EventPump &pump)
{
    try {
        if (devicePort.commEvent() != CommControl::comEvReceive)
            return;
        ReceivedText text;
        for (;;) {
            pump.processEvents();
            if (!moreToCome(devicePort, text.opening(), pump))
                break;
            const QByteArray bytes = devicePort.input();
            if (bytes.isEmpty())
                throw CommError("a waiting byte could not be read");
            text.append(bytes.at(0));
        }
        if (IsDrawerCommand(text.opening()))
            kickAndShow(options, library, view);
    } catch (...) {
        reportCurrentFailure(view, Field::DeviceState, StatusText::receiveFailed());
    }
}
