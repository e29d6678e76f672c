/* An acquisition program in plain C99 that knows the applet only through the public headers:
   the host library's interface and <pellvane/parameters.h>. The build compiles it with
   -std=c99 -Wall -Wextra -Werror; the test runs it on the virtual board, where it sets
   parameters by their identifiers and enumeration values and reads them back. It prints one
   line per failed check and "N passed, N failed" at the end, and exits non-zero on any
   failure. */
#include <kestlib5/kestlib5.h>
#include <pellvane/parameters.h>

#include <stdio.h>

static int passed, failed;

static void check(int ok, const char* what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        printf("FAILED: %s\n", what);
    }
}

static int32_t getInt(Fg_Struct* fg, int32_t id) {
    int32_t value = -1;
    check(Fg_getParameterWithType(fg, id, &value, 0, PV_TYPE_INT32) == 0, "get an integer");
    return value;
}

int main(void) {
    Fg_Struct* fg = Fg_Init("Pellvane", 0);
    if (fg == NULL) {
        printf("Fg_Init failed with %d\n", (int)Fg_getLastErrorNumber(NULL));
        return 1;
    }

    /* Identifiers with 32-bit and double values. */
    int32_t width = 512;
    check(Fg_setParameterWithType(fg, FG_WIDTH, &width, 0, PV_TYPE_INT32) == 0, "set FG_WIDTH");
    check(getInt(fg, FG_WIDTH) == 512, "FG_WIDTH reads back");
    double fps = 25.0;
    check(Fg_setParameterWithType(fg, FG_TRIGGER_FRAMESPERSECOND, &fps, 0, PV_TYPE_DOUBLE) == 0,
          "set FG_TRIGGER_FRAMESPERSECOND");

    /* Enumeration values, also in a switch: they are integer constant expressions. */
    int32_t format = FG_GRAY16;
    check(Fg_setParameterWithType(fg, FG_FORMAT, &format, 0, PV_TYPE_INT32) == 0, "set FG_FORMAT");
    switch (getInt(fg, FG_FORMAT)) {
    case FG_GRAY16: check(1, "FG_FORMAT is FG_GRAY16"); break;
    case FG_GRAY: check(0, "FG_FORMAT stayed FG_GRAY"); break;
    default: check(0, "FG_FORMAT has an unknown value"); break;
    }
    check(getInt(fg, FG_AREATRIGGERMODE) == ATM_GENERATOR, "the trigger starts in generator mode");
    check(getInt(fg, FG_TRIGGERSTATE) == TS_SYNC_STOP, "the trigger starts stopped");
    int32_t source = TRGINSRC_3;
    check(Fg_setParameterWithType(fg, FG_TRIGGERIN_SRC, &source, 0, PV_TYPE_INT32) == 0,
          "set FG_TRIGGERIN_SRC");
    check(getInt(fg, FG_TRIGGERIN_SRC) == TRGINSRC_3, "FG_TRIGGERIN_SRC reads back");

    /* A value outside the enumeration is refused and changes nothing. */
    int32_t bad = FG_GRAY + FG_GRAY16 + 100;
    check(Fg_setParameterWithType(fg, FG_FORMAT, &bad, 0, PV_TYPE_INT32) != 0,
          "an unknown FG_FORMAT value is refused");
    check(getInt(fg, FG_FORMAT) == FG_GRAY16, "FG_FORMAT kept its value");

    Fg_FreeGrabber(fg);
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
