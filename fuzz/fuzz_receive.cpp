// Feeds arbitrary bytes, cut into arbitrary chunks, through DrainInput over the scripted port:
// one communication event per chunk. A pulse must happen exactly for the chunks that begin with
// ESC p, and the Device state field must tell its outcome.
//
// Input layout: byte 0 picks the profile field; then frames, each a header byte followed by the
// chunk. Header bits 0-4: chunk length (31: the rest of the input); bit 5: the second half of
// the chunk arrives only after the first byte has been read (as if during the drain); bit 6: the
// library returns non-zero for this chunk; bit 7: a send event is raised first, which must leave
// the chunk untouched.

#include "countinglibrary.h"
#include "fakecommcontrol.h"
#include "kickdrawer.h"
#include "receivehandler.h"
#include "recordingview.h"
#include "startoptions.h"
#include "statustext.h"
#include "statusview.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void violated(const char *what, const QByteArray &chunk)
{
    std::fprintf(stderr, "fuzz_receive: invariant violated: %s (chunk %s)\n", what,
                 chunk.toHex(' ').constData());
    std::abort();
}

struct ProfileCase
{
    const char *field;
    const GpioProfile *profile; // null: the field is no number, so no pulse at all
};

ProfileCase profileCase(std::uint8_t selector)
{
    switch (selector % 4) {
    case 0:
        return {"0", &gpioProfile0()};
    case 1:
        return {"1", &gpioProfile1()};
    case 2:
        return {" -2.5e1 ", &gpioProfile1()};
    default:
        return {"x", nullptr};
    }
}

bool beginsWithEscP(const QByteArray &chunk)
{
    return chunk.size() >= 2 && chunk.at(0) == '\x1b' && chunk.at(1) == 'p';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const ProfileCase profile = profileCase(data[0]);
    StartOptions options;
    options.hideField = QStringLiteral("1");
    options.profileField = QString::fromLatin1(profile.field);

    FakeCommControl port;
    port.setPortOpen(true);
    port.setInputLen(1);
    RecordingView view;
    view.setCaption(Field::DeviceState, StatusText::openSuccess());
    CountingLibrary library;
    // Chunks come far apart in time: a drain that waits for the rest of a command gets none.
    const EventPump pump{[] {}, [](const std::function<bool()> &, int) {}};
    QObject::connect(&port, &CommControl::onComm,
                     [&] { DrainInput(port, view, options, library, pump); });

    std::size_t pos = 1;
    while (pos < size) {
        const std::uint8_t header = data[pos++];
        const std::size_t wanted = header & 0x1f;
        const std::size_t length = wanted == 0x1f ? size - pos : std::min(wanted, size - pos);
        const QByteArray chunk(reinterpret_cast<const char *>(data + pos),
                               static_cast<qsizetype>(length));
        pos += length;
        const bool lateHalf = (header & 0x20) != 0 && chunk.size() >= 2;
        library.result = (header & 0x40) != 0 ? 1 : 0;
        const bool sendEventFirst = (header & 0x80) != 0;

        const QByteArray early = lateHalf ? chunk.left((chunk.size() + 1) / 2) : chunk;
        const QByteArray late = lateHalf ? chunk.mid(early.size()) : QByteArray();
        port.hold(early);
        const QString stateBefore = view.caption(Field::DeviceState);
        const qsizetype callsBefore = library.calls.size();
        const int readsBefore = port.inputReads();

        if (sendEventFirst) {
            port.raise(CommControl::comEvSend);
            if (port.inputReads() != readsBefore || port.waiting() != early)
                violated("a send event read the port", chunk);
            if (library.calls.size() != callsBefore ||
                view.caption(Field::DeviceState) != stateBefore)
                violated("a send event had an effect", chunk);
        }

        bool lateHeld = late.isEmpty();
        port.afterInput = [&] {
            if (!lateHeld) {
                port.hold(late);
                lateHeld = true;
            }
        };
        port.raise(CommControl::comEvReceive);
        port.afterInput = nullptr;

        if (!port.waiting().isEmpty())
            violated("bytes left waiting after a drain", chunk);
        if (port.inputReads() - readsBefore != chunk.size())
            violated("not one read per byte", chunk);

        const bool command = beginsWithEscP(chunk);
        const qsizetype pulses = library.calls.size() - callsBefore;
        const QString state = view.caption(Field::DeviceState);
        if (!command) {
            if (pulses != 0)
                violated("a pulse without a command", chunk);
            if (state != stateBefore)
                violated("the state changed without a command", chunk);
        } else if (profile.profile == nullptr) {
            if (pulses != 0)
                violated("a pulse with an unreadable profile field", chunk);
            if (state != StatusText::receiveFailed())
                violated("an unreadable profile field not reported", chunk);
        } else {
            if (pulses != 1)
                violated("a command did not give exactly one pulse", chunk);
            if (library.calls.last() != *profile.profile)
                violated("the wrong profile", chunk);
            const QString expected =
                library.result == 0 ? StatusText::receiveSuccess() : StatusText::receiveFailed();
            if (state != expected)
                violated("the state does not tell the pulse's result", chunk);
        }
    }
    return 0;
}
