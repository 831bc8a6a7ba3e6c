#include "kickdrawer.h"

#include "decimal.h"
#include "logging.h"
#include "startoptions.h"
#include "statusboard.h"
#include "statustext.h"

const GpioProfile &gpioProfile0()
{
    static const GpioProfile profile{QByteArray("53a"), QByteArray("5"), QByteArray("538"),
                                     QByteArray("6")};
    return profile;
}

const GpioProfile &gpioProfile1()
{
    static const GpioProfile profile{QByteArray("50d"), QByteArray("6"), QByteArray("501"),
                                     QByteArray("5")};
    return profile;
}

qint32 KickDrawer(const StartOptions &options, DrawerLibrary &library)
{
    const double selector = toDecimalOrFail(options.profileField, "the profile field");
    return library.cashBoxNormalGpio(selector == 0 ? gpioProfile0() : gpioProfile1());
}

bool kickAndShow(const StartOptions &options, DrawerLibrary &library, StatusBoard &board,
                 Field stateField)
{
    const qint32 result = KickDrawer(options, library);
    if (result != 0)
        qCWarning(lcTralvo, "%s: the drawer library returned %d", roleName(stateField), result);
    board.setText(stateField,
                  result == 0 ? StatusText::receiveSuccess() : StatusText::receiveFailed());
    return result == 0;
}
