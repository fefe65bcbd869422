/* Hosts written in C include the public header as it is. */
#include "wexdial.h"

int wexdialHeaderIsC(void);

int wexdialHeaderIsC(void) {
    SetupRecord record = {"QX0042", 500, 0x1C};
    return (int)sizeof record;
}
