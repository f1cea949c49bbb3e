// What the libraries the programs use say on their own. Qt WebEngine prints its start-up
// parameters on every start, Qt says when it picks a runtime folder or finds no sound server:
// lines a user of Corvana or pellister-cli did not ask for and cannot act on. Unless asked for
// (--verbose, or Qt's own QT_LOGGING_RULES), they are held back; every other message, and every
// line the programs print themselves, goes out as before.
#pragma once

#include <QString>
#include <QtGlobal>

// Takes "--verbose" out of the arguments (before the application object sees them); true when it
// was there.
bool TakeVerboseArgument(int &argc, char **argv);

// Whether a message of category `category` is such a library notice.
bool IsLibraryNotice(QtMsgType type, const char *category, const QString &message);

// Holds the library notices back from now on, unless `verbose` or QT_LOGGING_RULES is set.
// Called before the application object is made, so that its own start-up notices are held back too.
void HoldBackLibraryNotices(bool verbose);
