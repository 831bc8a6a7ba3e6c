#pragma once

#include <QString>

// Shows the user a text the command line asked for (--help, --version) or a reason it was
// refused: on standard output or standard error where the program has them; on Windows, where a
// GUI program has none, on the console that started it, else in a message box.
void showUserMessage(const QString &text, bool isError);

struct CommandLine;

// Answers a command line that asks for no run (--help, --version, --list-printers,
// --https-certificate-path, or one that is refused, whose reason goes into the log too) and
// returns the exit status.
int answerCommandLine(const CommandLine &commandLine);
