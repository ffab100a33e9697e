/* Queries of the platform that more than one subsystem asks. */
#ifndef MORVALEN_PLATFORM_H
#define MORVALEN_PLATFORM_H

/* The current directory's drive letter, or 0 when it has none (a network path). */
char CurrentDriveLetter();

#endif
