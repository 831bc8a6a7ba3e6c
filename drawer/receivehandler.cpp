#include "receivehandler.h"

#include "commcontrol.h"
#include "drawercommand.h"
#include "kickdrawer.h"
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

} // namespace

void DrainInput(CommControl &mscomm1, StatusView &view, const StartOptions &options,
                DrawerLibrary &library, const EventPump &processEvents)
{
    try {
        if (mscomm1.commEvent() != CommControl::comEvReceive)
            return;
        ReceivedText text;
        for (;;) {
            processEvents();
            if (mscomm1.inBufferCount() <= 0)
                break;
            const QByteArray bytes = mscomm1.input();
            if (bytes.isEmpty())
                throw CommError("a waiting byte could not be read");
            text.append(bytes.at(0));
        }
        if (!IsDrawerCommand(text.opening()))
            return;
        const qint32 result = KickDrawer(options, library);
        view.setCaption(Field::Label8,
                        result == 0 ? StatusText::receiveSuccess() : StatusText::receiveFailed());
    } catch (...) {
        view.setCaption(Field::Label8, StatusText::receiveFailed());
    }
}
