/* kestlib5: the application interface of the virtual board's host library.
 *
 * An acquisition program opens a board with an applet, sets the applet's parameters, hands the
 * board frame buffers and acquires pictures into them. The host library does what a frame
 * grabber's host library does: it loads the applet library by name, asks it what it is (Info),
 * creates the applet object for the board (Std_entry) and keeps that object in the first word
 * of the board record; from then on every call with the record goes to the applet's export of
 * the same name, which in turn calls back into this library with its own inner handle. The
 * pictures come from the virtual board's behavioural model (docs/virtual-board.md).
 *
 * Conventions: functions answering int32_t return 0 for success or a negative error code;
 * Fg_getLastErrorNumber(fg) gives the code of the last call on a record, and
 * Fg_getErrorDescription turns any code into words. Picture numbers count from 1 for each
 * acquisition. Every function may be called from any thread; calls on one record are
 * serialised by the applet and the host.
 *
 * Link with libkestlib5 (lib/host/) and put the applet library (Pellvane.so, Pellvane.dll) on
 * the library search path.
 */
#ifndef KESTLIB5_H
#define KESTLIB5_H

#include <pellvane/ParameterInfoNode.h>

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(KESTLIB5_BUILDING)
#define KEST_APP_API __declspec(dllexport)
#else
#define KEST_APP_API __declspec(dllimport)
#endif
#else
#define KEST_APP_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A board opened with an applet. Its first member is the applet's object; the rest belongs to
   the host library. */
typedef struct Fg_Struct Fg_Struct;

/* A set of frame buffers for one DMA channel. */
typedef struct dma_mem dma_mem;

/* Picture numbers and counts. */
typedef int64_t frameindex_t;

/* Type codes of the ...WithType calls. */
enum {
    FG_PARAM_TYPE_INT32_T = 1,
    FG_PARAM_TYPE_UINT32_T = 2,
    FG_PARAM_TYPE_INT64_T = 3,
    FG_PARAM_TYPE_UINT64_T = 4,
    FG_PARAM_TYPE_DOUBLE = 5,
    FG_PARAM_TYPE_CHAR_PTR = 6,
    FG_PARAM_TYPE_STRUCT_FIELDPARAMINT = 4096,
    FG_PARAM_TYPE_STRUCT_FIELDPARAMINT_ENTRY = 4098
};

/* Acquisition modes of Fg_AcquireEx: the buffers form a ring that later pictures overwrite. */
enum { ACQ_STANDARD = 1 };

/* Count for Fg_AcquireEx: acquire until Fg_stopAcquireEx. */
#define GRAB_INFINITE ((frameindex_t)-1)

/* Queries of Fg_getStatusEx. */
enum {
    NUMBER_OF_GRABBED_IMAGES = 10,
    NUMBER_OF_LOST_IMAGES = 20,
    NUMBER_OF_BLOCK_LOST_IMAGES = 30,
    NUMBER_OF_ACT_IMAGE = 50,
    NUMBER_OF_LAST_IMAGE = 60,
    NUMBER_OF_NEXT_IMAGE = 70,
    NUMBER_OF_IMAGES_IN_PROGRESS = 80,
    GRAB_ACTIVE = 100
};

/* Error codes of the host library (the applet's own codes pass through unchanged; see
   Fg_getErrorDescription for all of them). */
enum {
    FG_ERR_APPLET_NOT_FOUND = -2003, /* Fg_Init: the applet library cannot be loaded */
    FG_ERR_APPLET_INVALID = -2004,   /* Fg_Init: the library is not an applet */
    FG_ERR_NO_MEMORY = -2020,        /* Fg_AllocMemEx: bad size or count, out of memory */
    FG_ERR_MEMORY_IN_USE = -2021,    /* Fg_FreeMemEx while an acquisition uses the buffers */
    FG_ERR_INVALID_MEMORY = -2022,   /* a dma_mem that this board did not allocate */
    FG_ERR_NOT_ACQUIRING = -2121     /* waiting for a picture that can no longer come */
};

/* ---- Boards ---- */

/* Opens board `boardIndex` of the virtual board with the applet library named `applet`
   ("Pellvane" loads Pellvane.so or Pellvane.dll from the library search path; a name with a
   path or an extension is used as it is). Null on failure; Fg_getLastErrorNumber(NULL) then
   tells why. */
KEST_APP_API Fg_Struct* Fg_Init(const char* applet, unsigned int boardIndex);

/* Stops any acquisition, frees the board's frame buffers, lets the applet tear down and unloads
   it. The record is invalid afterwards. No other thread may be inside a call on the same record
   meanwhile: to close a board that a thread waits on, stop the acquisition first
   (Fg_stopAcquireEx ends every wait with FG_ERR_NOT_ACQUIRING) and let the wait return. */
KEST_APP_API int32_t Fg_FreeGrabber(Fg_Struct* fg);

/* The error of the last call on `fg`; with a null `fg`, that of the last failed Fg_Init. */
KEST_APP_API int32_t Fg_getLastErrorNumber(Fg_Struct* fg);

/* Words for an error code (never null; "unknown error" for codes nobody defines). */
KEST_APP_API const char* Fg_getErrorDescription(Fg_Struct* fg, int32_t error);

/* What the applet says about itself: the applet's Info query, answered for this board's applet
   (query, two indices, value pointer and data pointer as Info takes them). */
KEST_APP_API int32_t Fg_getAppletInfo(Fg_Struct* fg, int32_t query, int32_t index1, int32_t index2,
                                      void* value, const void** data);

KEST_APP_API int32_t Fg_getAppletId(Fg_Struct* fg, const char* ignored);

/* ---- Parameters ---- */

KEST_APP_API int32_t Fg_getNrOfParameter(Fg_Struct* fg);
KEST_APP_API const char* Fg_getParameterName(Fg_Struct* fg, int32_t index);
KEST_APP_API int32_t Fg_getParameterId(Fg_Struct* fg, int32_t index);
KEST_APP_API int32_t Fg_getParameterIdByName(Fg_Struct* fg, const char* name);

/* Set and get with an explicit type code (FG_PARAM_TYPE_...). */
KEST_APP_API int32_t Fg_setParameterWithType(Fg_Struct* fg, int32_t id, const void* value,
                                             uint32_t dma, int32_t type);
KEST_APP_API int32_t Fg_getParameterWithType(Fg_Struct* fg, int32_t id, void* value, uint32_t dma,
                                             int32_t type);

/* Set and get in the parameter's own type, as its information node gives it (32-bit integers
   for parameters without a node). */
KEST_APP_API int32_t Fg_setParameter(Fg_Struct* fg, int32_t id, const void* value, uint32_t dma);
KEST_APP_API int32_t Fg_getParameter(Fg_Struct* fg, int32_t id, void* value, uint32_t dma);

/* The applet's information tree for a port (port 0: the parameters), and its GenApi register
   description: with a null buffer *size receives the size needed. */
KEST_APP_API const ParameterInfoNode* Fg_getParameterInfo(Fg_Struct* fg, int32_t port);
KEST_APP_API int32_t Fg_getParameterInfoXML(Fg_Struct* fg, int32_t port, char* buffer,
                                            size_t* size);

/* Configuration files (.mcf). */
KEST_APP_API int32_t Fg_saveConfig(Fg_Struct* fg, const char* file);
KEST_APP_API int32_t Fg_loadConfig(Fg_Struct* fg, const char* file);

/* Events: a name's mask and a mask's name. */
KEST_APP_API uint64_t Fg_getEventMask(Fg_Struct* fg, const char* name);
KEST_APP_API const char* Fg_getEventName(Fg_Struct* fg, uint64_t mask);

/* ---- Frame buffers and acquisition ---- */

/* Allocates `count` frame buffers sharing `size` bytes (each holds size / count bytes, at
   least one byte); null on failure. */
KEST_APP_API dma_mem* Fg_AllocMemEx(Fg_Struct* fg, size_t size, frameindex_t count);
KEST_APP_API int32_t Fg_FreeMemEx(Fg_Struct* fg, dma_mem* mem);

/* Starts acquiring `count` pictures (GRAB_INFINITE: until stopped) on DMA channel `dma` into
   `mem`, in mode ACQ_STANDARD. The applet decides, the host carries it out. */
KEST_APP_API int32_t Fg_AcquireEx(Fg_Struct* fg, uint32_t dma, frameindex_t count, int32_t flags,
                                  dma_mem* mem);
KEST_APP_API int32_t Fg_stopAcquireEx(Fg_Struct* fg, uint32_t dma, dma_mem* mem, int32_t flags);

/* The number of the last picture delivered (0 before the first). */
KEST_APP_API frameindex_t Fg_getLastPicNumberEx(Fg_Struct* fg, uint32_t dma, dma_mem* mem);

/* Waits at most `timeout` seconds for picture `picture`; answers the last picture number (at
   least `picture`) or an error code: the timeout's, or FG_ERR_NOT_ACQUIRING when the
   acquisition ended without it. */
KEST_APP_API frameindex_t Fg_getLastPicNumberBlockingEx(Fg_Struct* fg, frameindex_t picture,
                                                        uint32_t dma, int32_t timeout,
                                                        dma_mem* mem);

/* The buffer that holds (or last held) picture `picture`; null for a number not yet delivered
   or memory of another board. Right after a picture arrived, the parameter FG_TRANSFER_LEN (id
   5210, 64-bit) tells how many bytes of it reached the buffer: width × height × bytes per pixel
   of the output format, unless the buffer is smaller. */
KEST_APP_API void* Fg_getImagePtrEx(Fg_Struct* fg, frameindex_t picture, uint32_t dma,
                                    dma_mem* mem);

KEST_APP_API frameindex_t Fg_getStatusEx(Fg_Struct* fg, int32_t query, frameindex_t data,
                                         uint32_t dma, dma_mem* mem);

#ifdef __cplusplus
}
#endif

#endif
