#pragma once

#include <QLoggingCategory>

#include <string>

// The program's one logging category, "tralvo": every failure's reason and, for a hidden
// instance, every state it would have shown.
Q_DECLARE_LOGGING_CATEGORY(lcTralvo)

// The text of the exception being handled, for the log; call it only inside a catch block.
std::string currentFailure();
