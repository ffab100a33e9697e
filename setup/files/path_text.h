/* Text work of the directory creation: the walk over the components. */
#ifndef MORVALEN_PATH_TEXT_H
#define MORVALEN_PATH_TEXT_H

/* Cuts the next non-empty component out of *cursor (in place) and advances
   the cursor past it; returns 0 when no component is left. Doubled and
   trailing separators thus cost nothing. */
char *NextComponent(char **cursor);

#endif
