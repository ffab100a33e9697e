/* Texts of the shell registration: links and DDE commands. */
#ifndef MORVALEN_SHELL_TEXT_H
#define MORVALEN_SHELL_TEXT_H

#include <stddef.h>

#define LINK_TEXT_SIZE  260

/* "Shortcut to <FILE NAME>" */
bool FormatLinkDescription(const char *fileName, char *out, size_t size);

/* "<dir>\<FILE NAME>" */
bool FormatLinkTarget(const char *dir, const char *fileName, char *out, size_t size);

/* [AddItem("<dir>\<file>","<title>")] */
bool FormatAddItemCommand(const char *dir, const char *fileName, const char *title,
                          char *out, size_t size);

#endif
