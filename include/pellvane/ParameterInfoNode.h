// The parameter-information record shared between the host library and an applet.
//
// Both sides allocate and read these 128-byte records: the applet hands its own tree to the
// host through Fg_getParameterInfo, and it reads the host's tree (same layout) to offer host
// parameters as pass-through parameters. The layout is therefore binary interface; the offsets
// below are those of a 64-bit build (LP64 and LLP64 alike) and are checked at compile time.
#ifndef PELLVANE_PARAMETER_INFO_NODE_H
#define PELLVANE_PARAMETER_INFO_NODE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Node kinds. */
enum {
    PI_KIND_CATEGORY = 0,
    PI_KIND_INT32 = 1,
    PI_KIND_ENUM = 3,
    PI_KIND_STRING = 5,
    PI_KIND_DOUBLE = 6,
    PI_KIND_INT_FIELD = 7,
    PI_KIND_INT64 = 9,
    PI_KIND_SINT32 = 11,
    PI_KIND_SINT64 = 12
};

/* Access bits: bit 0 readable, bit 1 writable, bit 2 carried through unchanged. */
enum { PI_ACCESS_READ = 1, PI_ACCESS_WRITE = 2 };

typedef struct ParameterInfoNode ParameterInfoNode;

struct ParameterInfoNode {
    int32_t kind;           /*  0 */
    int32_t index;          /*  4: position among the parent's children; unset for a root */
    char* displayName;      /*  8 */
    char* name;             /* 16: parameter name, null for categories */
    int32_t access;         /* 24 */
    int32_t level;          /* 28 */
    int32_t published;      /* 32 */
    int32_t id;             /* 36 */
    union {                 /* 40 */
        int32_t childCount; /* category */
        int32_t entryCount; /* enumeration */
        struct {
            int32_t min; /* 40: kinds 1, 11, 7 */
            int32_t max; /* 44: kinds 1, 11, 7 */
        } i32;
        int64_t min64; /* kinds 9, 12 */
        double minD;   /* kind 6 */
    } a;
    union {                           /* 48 */
        ParameterInfoNode** children; /* category */
        char** entryDisplayNames;     /* enumeration */
        struct {
            int32_t inc;  /* 48: kinds 1, 11; kind 7: number of elements */
            int32_t zero; /* 52: kind 7: 0 */
        } i32;
        char* pattern; /* kind 5 */
        int64_t max64; /* kinds 9, 12 */
        double maxD;   /* kind 6 */
    } b;
    union {                   /* 56 */
        int32_t childCounter; /* category: children created so far */
        int32_t* entryValues; /* enumeration */
        int32_t fieldMin;     /* kind 7: minimum again */
        int64_t inc64;        /* kinds 9, 12 */
        double incD;          /* kind 6 */
    } c;
    uint8_t reserved64[8];           /* 64 */
    char** entrySymbols;             /* 72: enumeration */
    ParameterInfoNode* previousRoot; /* 80: root categories only */
    ParameterInfoNode* nextRoot;     /* 88: root categories only */
    int32_t depth;                   /* 96: categories */
    int32_t reserved100;             /* 100 */
    char* parentName;                /* 104: categories below a root */
    char* unit;                      /* 112 */
    int32_t port;                    /* 120 */
    int32_t reserved124;             /* 124 */
};

#ifdef __cplusplus
}

static_assert(sizeof(void*) == 8, "the node layout is defined for 64-bit builds");
static_assert(sizeof(ParameterInfoNode) == 128);
static_assert(offsetof(ParameterInfoNode, displayName) == 8);
static_assert(offsetof(ParameterInfoNode, name) == 16);
static_assert(offsetof(ParameterInfoNode, access) == 24);
static_assert(offsetof(ParameterInfoNode, id) == 36);
static_assert(offsetof(ParameterInfoNode, a) == 40);
static_assert(offsetof(ParameterInfoNode, b) == 48);
static_assert(offsetof(ParameterInfoNode, c) == 56);
static_assert(offsetof(ParameterInfoNode, entrySymbols) == 72);
static_assert(offsetof(ParameterInfoNode, previousRoot) == 80);
static_assert(offsetof(ParameterInfoNode, nextRoot) == 88);
static_assert(offsetof(ParameterInfoNode, depth) == 96);
static_assert(offsetof(ParameterInfoNode, parentName) == 104);
static_assert(offsetof(ParameterInfoNode, unit) == 112);
static_assert(offsetof(ParameterInfoNode, port) == 120);
#endif

#endif
