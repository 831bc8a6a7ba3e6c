#include "logging.h"

#include <exception>

Q_LOGGING_CATEGORY(lcTralvo, "tralvo")

std::string currentFailure()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "a failure that gives no reason";
    }
}
