#include "path_text.h"
#include "../text.h"

char *NextComponent(char **cursor)
{
    char *p = *cursor;
    while (*p == '\\')
        p++;
    if (!*p) {
        *cursor = p;
        return 0;
    }
    char *start = p;
    while (*p && *p != '\\')
        p = NextChar(p);    /* a trail byte may be the separator's byte */
    if (*p)
        *p++ = '\0';
    *cursor = p;
    return start;
}
