"""Pellvane from Python: the host library's application interface through ctypes.

    import pellvane
    with pellvane.Board() as board:                 # board 0, applet "Pellvane"
        board.set("FG_FORMAT", "FG_GRAY16")         # symbolic names, ints, floats, strings
        print(board.get("FG_WIDTH"), board.limits("FG_WIDTH"))
        grab = board.grab(100)                      # an iterator over the pictures
        for number, frame in grab:                  # numpy arrays when numpy is installed
            pellvane.save_png(frame, "frame-%03d.png" % number)
        print(grab.summary())                       # acquired, saved, lost, ... as pvctl's

The host library is libkestlib5.so (kestlib5.dll on Windows), found through LD_LIBRARY_PATH
(which must also name the folder of Pellvane.so), or the file named by $PELLVANE_KESTLIB or the
`library` argument. Every failure raises PellvaneError with the system's error code and its
meaning in words; a host library that cannot be loaded raises HostLibraryError naming it.
"""

import ctypes
import os
import struct
import sys
import time
import warnings
import zlib

try:
    import numpy
except ImportError:  # frames then come as bytes
    numpy = None

__all__ = ["Board", "Grab", "PellvaneError", "HostLibraryError", "PicturesLost", "save_png"]

# Node kinds of the information tree.
_CATEGORY, _UINT32, _ENUM, _STRING, _DOUBLE, _FIELD, _UINT64, _INT32, _INT64 = (
    0, 1, 3, 5, 6, 7, 9, 11, 12)
# Type codes of Fg_set/getParameterWithType.
_T_INT32, _T_UINT32, _T_INT64, _T_UINT64, _T_DOUBLE, _T_STRING, _T_ENTRY = 1, 2, 3, 4, 5, 6, 4098
_INFO_SYMBOL = 0x1100          # Info query: the value of a symbolic name
_DESCRIPTION_QUERY = 24114     # get with a parameter's name in the buffer → its description
_INVALID_PARAMETER = -2070
_SOFTWARE_TRIGGER_BUSY = -60
_ACQ_STANDARD = 1
_IN_PROGRESS = 80              # Fg_getStatusEx: pictures whose buffers are being filled
_TEXT_BUFFER = 64 * 1024       # string parameters are copied back without a size check
_MAX_TEXT = 4095


class PellvaneError(Exception):
    """A failure of the host library or the applet: `code` and its meaning, `message`."""

    def __init__(self, code, message, context=""):
        super().__init__("%s: error %d: %s" % (context, code, message) if context
                         else "error %d: %s" % (code, message))
        self.code = code
        self.message = message
        self.context = context


class HostLibraryError(OSError):
    """The host library could not be loaded; the message names the file and how it is found."""


class PicturesLost(UserWarning):
    """Pictures were overwritten in the ring of frame buffers before they were read."""


class _Node(ctypes.Structure):
    pass


class _I32(ctypes.Structure):
    _fields_ = [("first", ctypes.c_int32), ("second", ctypes.c_int32)]


class _A(ctypes.Union):
    _fields_ = [("count", ctypes.c_int32), ("i32", _I32), ("i64", ctypes.c_int64),
                ("d", ctypes.c_double)]


class _B(ctypes.Union):
    _fields_ = [("children", ctypes.POINTER(ctypes.POINTER(_Node))),
                ("strings", ctypes.POINTER(ctypes.c_char_p)), ("i32", _I32),
                ("pattern", ctypes.c_char_p), ("i64", ctypes.c_int64), ("d", ctypes.c_double)]


class _C(ctypes.Union):
    _fields_ = [("i32", ctypes.c_int32), ("values", ctypes.POINTER(ctypes.c_int32)),
                ("i64", ctypes.c_int64), ("d", ctypes.c_double)]


_Node._fields_ = [
    ("kind", ctypes.c_int32), ("index", ctypes.c_int32), ("displayName", ctypes.c_char_p),
    ("name", ctypes.c_char_p), ("access", ctypes.c_int32), ("level", ctypes.c_int32),
    ("published", ctypes.c_int32), ("id", ctypes.c_int32), ("a", _A), ("b", _B), ("c", _C),
    ("reserved64", ctypes.c_uint8 * 8), ("entrySymbols", ctypes.POINTER(ctypes.c_char_p)),
    ("previousRoot", ctypes.POINTER(_Node)), ("nextRoot", ctypes.POINTER(_Node)),
    ("depth", ctypes.c_int32), ("reserved100", ctypes.c_int32), ("parentName", ctypes.c_char_p),
    ("unit", ctypes.c_char_p), ("port", ctypes.c_int32), ("reserved124", ctypes.c_int32)]
assert ctypes.sizeof(_Node) == 128, "the information node is 128 bytes"

_TYPE_OF_KIND = {_UINT32: "uint32", _ENUM: "enum", _STRING: "string", _DOUBLE: "double",
                 _FIELD: "lut", _UINT64: "uint64", _INT32: "int32", _INT64: "int64"}


def _text(raw):
    # The applet's texts are Latin-1 (the micro sign of "µs").
    return None if raw is None else raw.decode("latin-1")


_DEFAULT_LIBRARY = "kestlib5.dll" if sys.platform == "win32" else "libkestlib5.so"


def _load(library):
    path = library or os.environ.get("PELLVANE_KESTLIB") or _DEFAULT_LIBRARY
    try:
        lib = ctypes.CDLL(path)
    except OSError as e:
        search = "PATH" if sys.platform == "win32" else "LD_LIBRARY_PATH"
        how = ("the file named" if os.sep in path or (os.altsep and os.altsep in path) else
               "found through %s=%s" % (search, os.environ.get(search, "")))
        raise HostLibraryError(
            "cannot load the host library %s (%s): %s. Name its folder in %s (e.g. "
            "build/dev/lib/host, with build/dev/lib for the applet), or its path in "
            "$PELLVANE_KESTLIB or Board(library=...)" % (path, how, e, search)) from None
    P, I32, U32, I64, SZ = (ctypes.c_void_p, ctypes.c_int32, ctypes.c_uint32, ctypes.c_int64,
                           ctypes.c_size_t)
    signatures = {
        "Fg_Init": ([ctypes.c_char_p, ctypes.c_uint], P),
        "Fg_FreeGrabber": ([P], I32),
        "Fg_getLastErrorNumber": ([P], I32),
        "Fg_getErrorDescription": ([P, I32], ctypes.c_char_p),
        "Fg_getAppletInfo": ([P, I32, I32, I32, P, ctypes.POINTER(ctypes.c_void_p)], I32),
        "Fg_getNrOfParameter": ([P], I32),
        "Fg_getParameterName": ([P, I32], ctypes.c_char_p),
        "Fg_getParameterId": ([P, I32], I32),
        "Fg_setParameterWithType": ([P, I32, P, U32, I32], I32),
        "Fg_getParameterWithType": ([P, I32, P, U32, I32], I32),
        "Fg_getParameterInfo": ([P, I32], ctypes.POINTER(_Node)),
        "Fg_getParameterInfoXML": ([P, I32, P, ctypes.POINTER(SZ)], I32),
        "Fg_saveConfig": ([P, ctypes.c_char_p], I32),
        "Fg_loadConfig": ([P, ctypes.c_char_p], I32),
        "Fg_AllocMemEx": ([P, SZ, I64], P),
        "Fg_FreeMemEx": ([P, P], I32),
        "Fg_AcquireEx": ([P, U32, I64, I32, P], I32),
        "Fg_stopAcquireEx": ([P, U32, P, I32], I32),
        "Fg_getLastPicNumberBlockingEx": ([P, I64, U32, I32, P], I64),
        "Fg_getImagePtrEx": ([P, I64, U32, P], P),
        "Fg_getLastPicNumberEx": ([P, U32, P], I64),
        "Fg_getStatusEx": ([P, I32, I64, U32, P], I64),
    }
    for name, (args, result) in signatures.items():
        f = getattr(lib, name)
        f.argtypes, f.restype = args, result
    return lib


class Board:
    """One board opened with an applet; close it (or use `with`) to free it."""

    def __init__(self, board=0, applet="Pellvane", library=None):
        self._lib = _load(library)
        self._fg = self._lib.Fg_Init(applet.encode(), board)
        if not self._fg:
            code = self._lib.Fg_getLastErrorNumber(None)
            raise PellvaneError(code, self.error_description(code),
                                "open board %d with the applet %s" % (board, applet))
        self._nodes = {}
        self._categories = {}
        for root in self._roots():
            self._collect(root, "")
        self._params = {}
        for i in range(self._lib.Fg_getNrOfParameter(self._fg)):
            name = self._lib.Fg_getParameterName(self._fg, i)
            pid = self._lib.Fg_getParameterId(self._fg, i)
            if name is not None and pid >= 0:
                self._params[name.decode()] = pid

    # ---- opening and closing ----

    def close(self):
        if self._fg:
            self._lib.Fg_FreeGrabber(self._fg)
            self._fg = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def error_description(self, code):
        return self._lib.Fg_getErrorDescription(None, code).decode("latin-1")

    def _check(self, code, context):
        if code != 0:
            raise PellvaneError(code, self.error_description(code), context)

    # ---- what the applet is ----

    def info(self):
        """The applet's Info texts: name, version, build, design, description, properties."""
        queries = {"applet": 0x1050, "version": 0x1060, "build": 0x1070, "design": 0x1010,
                   "description": 0x1000, "properties": 0x1020, "uuid": 0x413}
        out = {}
        for key, query in queries.items():
            data = ctypes.c_void_p()
            r = self._lib.Fg_getAppletInfo(self._fg, query, 0, 0, None, ctypes.byref(data))
            out[key] = ctypes.string_at(data.value).decode("latin-1") if r >= 0 and data else ""
        return out

    def symbol(self, name):
        """The value of a symbolic name such as "FG_GRAY16" (PellvaneError when unknown)."""
        r = self._lib.Fg_getAppletInfo(self._fg, _INFO_SYMBOL, 0, 0,
                                       ctypes.c_char_p(name.encode()), None)
        if r == _INVALID_PARAMETER:
            raise PellvaneError(r, self.error_description(r), "symbolic name " + name)
        return r

    # ---- parameters ----

    def parameter_names(self):
        return list(self._params)

    def _id(self, name):
        if name not in self._params:
            raise PellvaneError(_INVALID_PARAMETER, self.error_description(_INVALID_PARAMETER),
                                "unknown parameter " + name)
        return self._params[name]

    def type_of(self, name):
        """uint32, int32, enum, uint64, int64, double, string, lut, or host (no node)."""
        self._id(name)
        node = self._nodes.get(name)
        return _TYPE_OF_KIND.get(node.kind, "host") if node is not None else "host"

    def get(self, name):
        """The value in its Python type: int, float or str."""
        pid, kind = self._id(name), self.type_of(name)
        buffers = {"uint32": (ctypes.c_uint32, _T_UINT32), "int32": (ctypes.c_int32, _T_INT32),
                   "enum": (ctypes.c_int32, _T_INT32), "int64": (ctypes.c_int64, _T_INT64),
                   "uint64": (ctypes.c_uint64, _T_UINT64), "host": (ctypes.c_uint64, _T_UINT64),
                   "double": (ctypes.c_double, _T_DOUBLE)}
        if kind == "string":
            buffer = ctypes.create_string_buffer(_TEXT_BUFFER)
            self._check(self._lib.Fg_getParameterWithType(self._fg, pid, buffer, 0, _T_STRING),
                        "get " + name)
            return buffer.value.decode("latin-1")
        if kind == "lut":
            return self.lut()
        ctype, code = buffers[kind]
        value = ctype(0)
        self._check(self._lib.Fg_getParameterWithType(self._fg, pid, ctypes.byref(value), 0,
                                                      code), "get " + name)
        return value.value

    def set(self, name, value):
        """Sets an int, a float, a str (string parameters) or a symbolic name ("FG_GRAY16")."""
        pid, kind = self._id(name), self.type_of(name)
        context = "set %s=%r" % (name, value)
        if kind == "lut":
            raise PellvaneError(_INVALID_PARAMETER, self.error_description(_INVALID_PARAMETER),
                                context + " (use set_lut_entry, load_lut)")
        if kind == "string":
            raw = str(value).encode("latin-1")
            if len(raw) > _MAX_TEXT:
                raise PellvaneError(-6000, self.error_description(-6000), context)
            self._check(self._lib.Fg_setParameterWithType(self._fg, pid, raw, 0, _T_STRING),
                        context)
            return
        if kind == "double":
            number = ctypes.c_double(float(value))
            self._check(self._lib.Fg_setParameterWithType(self._fg, pid, ctypes.byref(number), 0,
                                                          _T_DOUBLE), context)
            return
        if isinstance(value, str):
            try:
                value = int(value, 0)
            except ValueError:
                value = self.symbol(value)
        if isinstance(value, bool) or not isinstance(value, int):
            raise TypeError("%s takes an int or a symbolic name, not %r" % (name, value))
        ctypes_of = {"uint32": (ctypes.c_uint32, _T_UINT32, 0, 2**32 - 1),
                     "uint64": (ctypes.c_uint64, _T_UINT64, 0, 2**64 - 1),
                     "int64": (ctypes.c_int64, _T_INT64, -2**63, 2**63 - 1)}
        ctype, code, low, high = ctypes_of.get(kind, (ctypes.c_int32, _T_INT32, -2**31, 2**31 - 1))
        if not low <= value <= high:
            raise PellvaneError(-6000, self.error_description(-6000), context)
        number = ctype(value)
        self._check(self._lib.Fg_setParameterWithType(self._fg, pid, ctypes.byref(number), 0,
                                                      code), context)

    def describe(self, name):
        """The applet's description text of a parameter."""
        self._id(name)
        buffer = ctypes.create_string_buffer(name.encode(), 1024)
        self._check(self._lib.Fg_getParameterWithType(self._fg, _DESCRIPTION_QUERY, buffer, 0,
                                                      _T_STRING), "describe " + name)
        return buffer.value.decode("latin-1")

    # ---- the information tree ----

    def _roots(self):
        roots = []
        node = self._lib.Fg_getParameterInfo(self._fg, 0)
        while node:
            roots.insert(0, node.contents)
            node = node.contents.previousRoot
        return roots

    def _collect(self, node, path):
        if node.kind != _CATEGORY:
            if node.name is not None:
                self._nodes[node.name.decode()] = node
                self._categories[node.name.decode()] = path
            return
        here = _text(node.displayName) if not path else path + " / " + _text(node.displayName)
        for i in range(node.a.count):
            self._collect(node.b.children[i].contents, here)

    def limits(self, name):
        """The parameter's node as it is now, with the keys of pvctl's JSON: name, id, type,
        access ("rw", "ro", "wo"), display, category, unit, and min, max, inc (numbers), count
        (the lookup table), pattern (strings) or entries (enumerations: symbol, value,
        display)."""
        pid = self._id(name)
        node = self._nodes.get(name)
        if node is None:
            return {"name": name, "id": pid, "type": "host", "access": "ro"}
        readable, writable = bool(node.access & 1), bool(node.access & 2)
        access = ("rw" if writable else "ro") if readable else ("wo" if writable else "--")
        out = {"name": name, "id": pid, "type": self.type_of(name), "access": access,
               "display": _text(node.displayName), "category": self._categories[name],
               "unit": _text(node.unit)}
        k = node.kind
        if k == _UINT32:
            out.update(min=node.a.i32.first & 0xFFFFFFFF, max=node.a.i32.second & 0xFFFFFFFF,
                       inc=node.b.i32.first)
        elif k == _INT32:
            out.update(min=node.a.i32.first, max=node.a.i32.second, inc=node.b.i32.first)
        elif k == _UINT64:
            out.update(min=node.a.i64 & (2**64 - 1), max=node.b.i64 & (2**64 - 1),
                       inc=node.c.i64)
        elif k == _INT64:
            out.update(min=node.a.i64, max=node.b.i64, inc=node.c.i64)
        elif k == _DOUBLE:
            out.update(min=node.a.d, max=node.b.d, inc=node.c.d)
        elif k == _FIELD:
            out.update(min=node.a.i32.first, max=node.a.i32.second, count=node.b.i32.first)
        elif k == _STRING:
            out.update(pattern=_text(node.b.pattern))
        elif k == _ENUM:
            out["entries"] = [{"symbol": _text(node.entrySymbols[i]), "value": node.c.values[i],
                               "display": _text(node.b.strings[i])}
                              for i in range(node.a.count)]
        return out

    def tree(self):
        """The information tree: [{"category": name, "children": [...]}, ...], where a
        parameter is the dict of limits() with its current "value" added."""
        def walk(node):
            if node.kind == _CATEGORY:
                return {"category": _text(node.displayName),
                        "children": [walk(node.b.children[i].contents)
                                     for i in range(node.a.count)]}
            name = node.name.decode()
            entry = self.limits(name)
            if entry["type"] != "lut":
                try:
                    entry["value"] = self.get(name)
                except PellvaneError as e:
                    entry["error"] = e.code
            return entry
        return [walk(root) for root in self._roots()]

    def xml(self):
        """The GenApi register description."""
        size = ctypes.c_size_t(0)
        self._check(self._lib.Fg_getParameterInfoXML(self._fg, 0, None, ctypes.byref(size)),
                    "size of the GenApi document")
        buffer = ctypes.create_string_buffer(size.value + 1)
        self._check(self._lib.Fg_getParameterInfoXML(self._fg, 0, buffer, ctypes.byref(size)),
                    "GenApi document")
        return buffer.value.decode("latin-1")

    # ---- files ----

    def save_config(self, path):
        self._check(self._lib.Fg_saveConfig(self._fg, os.fspath(path).encode()),
                    "save " + os.fspath(path))

    def load_config(self, path):
        self._check(self._lib.Fg_loadConfig(self._fg, os.fspath(path).encode()),
                    "load " + os.fspath(path))

    # ---- the lookup table ----

    def lut_entry(self, index):
        entry = (ctypes.c_uint32 * 2)(0, index)  # value, index
        self._check(self._lib.Fg_getParameterWithType(self._fg, self._id("FG_LUT_VALUE"),
                                                      entry, 0, _T_ENTRY),
                    "lookup-table entry %d" % index)
        return entry[0]

    def set_lut_entry(self, index, value):
        entry = (ctypes.c_uint32 * 2)(value, index)
        self._check(self._lib.Fg_setParameterWithType(self._fg, self._id("FG_LUT_VALUE"),
                                                      entry, 0, _T_ENTRY),
                    "lookup-table entry %d=%d" % (index, value))

    def lut(self):
        return [self.lut_entry(i) for i in range(4096)]

    def save_lut(self, path):
        self.set("FG_LUT_SAVE_FILE", os.path.abspath(path))

    def load_lut(self, path):
        """Loads a lookup-table file and makes it the table in use."""
        self.set("FG_LUT_CUSTOM_FILE", os.path.abspath(path))
        if self.get("FG_LUT_TYPE") != 0:
            self.set("FG_LUT_TYPE", "LUT_TYPE_CUSTOM")

    # ---- trigger and acquisition ----

    def trigger(self, count=1):
        """Sends software trigger pulses (software trigger mode, trigger state active)."""
        pid = self._id("FG_SENDSOFTWARETRIGGER")
        if self.get("FG_TRIGGERQUEUE_MODE") == 1:
            self.set("FG_SENDSOFTWARETRIGGER", count)
            return
        for _ in range(count):
            one, deadline = ctypes.c_uint32(1), time.monotonic() + 2
            while True:
                r = self._lib.Fg_setParameterWithType(self._fg, pid, ctypes.byref(one), 0,
                                                      _T_UINT32)
                if r == 0:
                    break
                if r != _SOFTWARE_TRIGGER_BUSY or time.monotonic() > deadline:
                    self._check(r, "software trigger")
                time.sleep(0.001)

    def grab(self, count, timeout=None, buffers=16, as_list=False):
        """Acquires `count` pictures and returns a Grab: iterate over it for (number, frame)
        pairs, one picture at a time, while at most `buffers` pictures are held by the board.
        Frames are numpy arrays (height x width, uint8 or uint16) when numpy is installed, else
        bytes; each is a copy that stays valid. A picture that the board overwrote before it
        was read is skipped and counted as lost, as pvctl counts it; at the end a PicturesLost
        warning says how many. With as_list=True the frames come back as one list (all of them
        in memory at once). A stopped trigger system is started for the grab and stopped again
        afterwards; in software trigger mode one pulse is sent per picture."""
        g = Grab(self, count, timeout, buffers)
        return [frame for _, frame in g] if as_list else g

    def _frame_geometry(self):
        width, height = self.get("FG_WIDTH"), self.get("FG_HEIGHT")
        depth = 2 if self.get("FG_FORMAT") == self.symbol("FG_GRAY16") else 1
        return width, height, depth


class Grab:
    """One acquisition as an iterator over (picture number, frame). After the loop (or an
    early `close()`), `summary()` gives the counts with the keys of pvctl's grab JSON."""

    def __init__(self, board, count, timeout, buffers):
        if count < 1 or buffers < 2:
            raise ValueError("a grab takes at least 1 picture and 2 buffers")
        self._board, self._lib, self._fg = board, board._lib, board._fg
        self.requested, self.buffers = count, buffers
        self.width, self.height, depth = board._frame_geometry()
        self.bits = 8 * depth
        self._size = self.width * self.height * depth
        self._timeout = timeout if timeout is not None else max(
            5, int(3 / board.get("FG_TRIGGER_FRAMESPERSECOND")) + 1)
        self._software = board.get("FG_AREATRIGGERMODE") == board.symbol("ATM_SOFTWARE")
        self.acquired = self.delivered = self.lost = 0
        self._next, self._restore, self._mem, self._acquiring = 1, None, None, False
        self._started = time.monotonic()
        self._mem = self._lib.Fg_AllocMemEx(self._fg, self._size * buffers, buffers)
        if not self._mem:
            board._check(self._lib.Fg_getLastErrorNumber(self._fg) or -2020,
                         "allocate frame buffers")
        try:
            board._check(self._lib.Fg_AcquireEx(self._fg, 0, count, _ACQ_STANDARD, self._mem),
                         "start the acquisition")
            self._acquiring = True
            active = board.symbol("TS_ACTIVE")
            state = board.get("FG_TRIGGERSTATE")
            if state != active:
                board.set("FG_TRIGGERSTATE", active)
                self._restore = state
        except BaseException:
            self.close()
            raise

    def __iter__(self):
        return self

    def _intact(self, n):
        last = self._lib.Fg_getLastPicNumberEx(self._fg, 0, self._mem)
        # Buffers of pictures in progress are being filled already.
        started = last + max(0, self._lib.Fg_getStatusEx(self._fg, _IN_PROGRESS, 0, 0, self._mem))
        return n <= last and started - n < self.buffers

    def __next__(self):
        while self._acquiring and self._next <= self.requested:
            n = self._next
            self._next += 1
            if self._software:
                self._board.trigger(1)
            last = self._lib.Fg_getLastPicNumberBlockingEx(self._fg, n, 0, self._timeout,
                                                           self._mem)
            if last < n:
                self.close()
                self._board._check(last, "wait for picture %d" % n)
            self.acquired = n
            pointer = self._lib.Fg_getImagePtrEx(self._fg, n, 0, self._mem)
            raw = ctypes.string_at(pointer, self._size) if pointer else None
            if raw is None or not self._intact(n):
                self.lost += 1
                continue
            self.delivered += 1
            if numpy is None:
                return n, raw
            dtype = numpy.uint16 if self.bits == 16 else numpy.uint8
            return n, numpy.frombuffer(bytearray(raw), dtype=dtype).reshape(self.height,
                                                                             self.width)
        self.close()
        raise StopIteration

    def close(self):
        """Stops the acquisition and frees the buffers (the iterator does it at its end)."""
        if self._mem is None:
            return
        if self._acquiring:
            self._lib.Fg_stopAcquireEx(self._fg, 0, self._mem, 0)
            self._acquiring = False
        self._lib.Fg_FreeMemEx(self._fg, self._mem)
        self._mem = None
        self.seconds = time.monotonic() - self._started
        if self._restore is not None:
            self._board.set("FG_TRIGGERSTATE", self._restore)
        if self.lost:
            warnings.warn("%d of %d pictures were overwritten before they were read"
                          % (self.lost, self.acquired), PicturesLost, stacklevel=3)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def summary(self):
        """The counts with the keys of pvctl's grab JSON: requested, acquired, lost,
        interrupted, width, height, bits, seconds (the iterator handed out acquired - lost
        pictures; `delivered` counts them)."""
        return {"requested": self.requested, "acquired": self.acquired, "lost": self.lost,
                "interrupted": self.acquired < self.requested, "width": self.width,
                "height": self.height, "bits": self.bits,
                "seconds": getattr(self, "seconds", time.monotonic() - self._started)}


def save_png(frame, path, level=1):
    """Writes a frame (a 2-D numpy array of uint8 or uint16) as a grey PNG file, with fast
    compression by default (zlib level 1 to 9)."""
    if numpy is None:
        raise TypeError("save_png needs numpy frames")
    frame = numpy.asarray(frame)
    if frame.ndim != 2 or frame.dtype not in (numpy.uint8, numpy.uint16):
        raise TypeError("save_png takes a 2-D array of uint8 or uint16")
    height, width = frame.shape
    bits = 16 if frame.dtype == numpy.uint16 else 8
    rows = frame.astype(">u2") if bits == 16 else frame
    data = numpy.ascontiguousarray(rows).view(numpy.uint8).reshape(height, -1)
    filtered = numpy.zeros((height, data.shape[1] + 1), dtype=numpy.uint8)
    filtered[:, 1:] = data  # filter type 0: the rows as they are

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(os.fspath(path), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, 0, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(filtered.tobytes(), level)))
        f.write(chunk(b"IEND", b""))
