#include "receivehandler.h"

#include "commcontrol.h"
#include "drawercommand.h"
#include "kickdrawer.h"
#include "logging.h"
#include "statustext.h"
#include "statusview.h"

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

// True when a byte waits. A transport cuts a command wherever its chunk ends (a USB adapter's
// latency timer, a UART's FIFO timeout), so a text that is only a command's opening is given a
// moment for its next byte; any other text is decided at once.
bool moreToCome(CommControl &mscomm1, const ReceivedText &text, const EventPump &pump)
{
    if (mscomm1.inBufferCount() > 0)
        return true;
    if (!IsDrawerCommandOpening(text.opening()))
        return false;
    pump.waitUntil([&mscomm1] { return mscomm1.inBufferCount() > 0; }, commandOpeningWaitMs);
    return mscomm1.inBufferCount() > 0;
}

} // namespace

void DrainInput(CommControl &mscomm1, StatusView &view, const StartOptions &options,
                DrawerLibrary &library, const EventPump &pump)
{
    try {
        if (mscomm1.commEvent() != CommControl::comEvReceive)
            return;
        ReceivedText text;
        for (;;) {
            pump.processEvents();
            if (!moreToCome(mscomm1, text, pump))
                break;
            const QByteArray bytes = mscomm1.input();
            if (bytes.isEmpty())
                throw CommError("a waiting byte could not be read");
            text.append(bytes.at(0));
        }
        if (!IsDrawerCommand(text.opening()))
            return;
        const qint32 result = KickDrawer(options, library);
        if (result != 0)
            qCWarning(lcTralvo, "Device: the drawer library returned %d", result);
        view.setCaption(Field::Label8,
                        result == 0 ? StatusText::receiveSuccess() : StatusText::receiveFailed());
    } catch (...) {
        qCWarning(lcTralvo, "Device: %s", currentFailure().c_str());
        view.setCaption(Field::Label8, StatusText::receiveFailed());
    }
}
