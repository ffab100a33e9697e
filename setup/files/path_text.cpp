#include "path_text.h"
#include "common/text.h"

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
    p = NameEnd(p);
    if (*p)
        *p++ = '\0';
    *cursor = p;
    return start;
}
