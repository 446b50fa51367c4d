"""The ten exports of libtallyx through ctypes, and the Counter around them."""
import ctypes
import ctypes.util
import os
from dataclasses import dataclass, field
from datetime import datetime
from typing import Callable, List, Optional

RETURN_CODES = {
    0: "RETCODE_OK", 1: "RETCODE_ABORTED", 2: "RETCODE_NOMOREVALUES", -1: "RETCODE_ERR_INVALIDHANDLE",
    -10: "RETCODE_ERR_INVALIDPROPERTY", -11: "RETCODE_ERR_INVALIDPROPERTYVALUE", -12: "RETCODE_ERR_VALUETOOBIG",
    -13: "RETCODE_ERR_READONLYPROPERTY", -14: "RETCODE_ERR_BADRANGE", -15: "RETCODE_ERR_BADPERIOD",
    -16: "RETCODE_ERR_PARTIALLASTPERIOD", -17: "RETCODE_ERR_RANGETOOBIG", -18: "RETCODE_ERR_BADSTARTDATETIME",
    -19: "RETCODE_ERR_BADENDDATETIME", -20: "RETCODE_ERR_BADSPEEDBINS", -21: "RETCODE_ERR_BADLENGTHBINS",
    -22: "RETCODE_ERR_OUTOFSEQUENCE", -30: "RETCODE_ERR_PORTCLOSED", -31: "RETCODE_ERR_CANTOPENPORT",
    -32: "RETCODE_ERR_CANTCONFIGPORT", -33: "RETCODE_ERR_CANTCONFIGPORTHS", -34: "RETCODE_ERR_FAILEDTOWAKEUP",
    -40: "RETCODE_ERR_SENDINGDATA", -41: "RETCODE_ERR_BADUNITTYPE", -42: "RETCODE_ERR_ERASEMEMORY",
    -43: "RETCODE_ERR_CONFIRMATION", -50: "RETCODE_ERR_READ", -53: "RETCODE_ERR_READNOCRC", -54: "RETCODE_ERR_CRC",
    -55: "RETCODE_ERR_BADRESPONSE", -60: "RETCODE_ERR_BADDATATYPE", -61: "RETCODE_ERR_BADFORMATTYPE",
    -62: "RETCODE_ERR_ITERNOTINITIALIZED", -100: "RETCODE_ERR_NOTIMPLEMENTED", -101: "RETCODE_ERR_BUFFERTOOSMALL",
}

READ_ACTIONS = {"all": "TALLYX_READACTION_ALL", "deviceinfo": "TALLYX_READACTION_DEVICEINFO"}
WRITE_ACTIONS = {
    "program": "TALLYX_WRITEACTION_PROGRAMSTUDY",
    "start-discharge": "TALLYX_WRITEACTION_STARTBATTERYDISCHARGE",
    "stop-discharge": "TALLYX_WRITEACTION_STOPBATTERYDISCHARGE",
}

PROMPT_CONNECT, PROMPT_DISCONNECT, PROMPT_LOW_BATTERY = 1, 2, 3

# The columns of the records, as the library's CSV header names them (and the XML form's element
# names); the bins follow the period columns as Bin_<speed class>_<length class>.
VEHICLE_COLUMNS = ("TimeStamp", "Flag", "Flag Description", "Speed", "Length")
PERIOD_COLUMNS = ("TimeStamp", "Temperature", "Occupancy", "Count", "ReverseCount")

_LINE_SIZE = 102400
_I386 = 0x014C  # the machine of a 32-bit x86 Windows file


def code_name(code: int) -> str:
    return RETURN_CODES.get(code, "RETCODE_UNKNOWN")


class TallyxError(Exception):
    """A library call failed: code is its return code, name the code's name."""

    def __init__(self, code: int, what: str):
        self.code = code
        self.name = code_name(code)
        super().__init__(f"{what}: {self.name} ({code})")


def pe_machine(path) -> Optional[int]:
    """The machine a Windows DLL or program was built for (0x014C 32-bit x86, 0x8664 x64, ...)
    from its PE header; None for a file that is not one (a Linux library, say)."""
    try:
        with open(path, "rb") as image:
            dos = image.read(64)
            if len(dos) < 64 or dos[:2] != b"MZ":
                return None
            image.seek(int.from_bytes(dos[60:64], "little"))
            pe = image.read(6)
    except (OSError, TypeError, ValueError):
        return None
    if len(pe) < 6 or pe[:4] != b"PE\0\0":
        return None
    return int.from_bytes(pe[4:6], "little")


def calling_convention(path, module=ctypes):
    """The loader and callback type maker for the library at path: a 32-bit x86 Windows DLL
    exports __stdcall functions and calls __stdcall callbacks (WinDLL, WINFUNCTYPE); every other
    library uses the C convention of its system (CDLL, CFUNCTYPE)."""
    if pe_machine(path) == _I386:
        return module.WinDLL, module.WINFUNCTYPE
    return module.CDLL, module.CFUNCTYPE


def _loaded_path(library) -> str:
    """The file the system loaded: on Windows the DLL search may have found it anywhere."""
    if os.name == "nt":
        name = ctypes.create_unicode_buffer(32768)
        kernel32 = ctypes.WinDLL("kernel32", use_last_error=True)
        kernel32.GetModuleFileNameW.argtypes = [ctypes.c_void_p, ctypes.c_wchar_p, ctypes.c_uint32]
        if kernel32.GetModuleFileNameW(ctypes.c_void_p(library._handle), name, len(name)):
            return name.value
    return library._name


class _Binding:
    """The loaded library with its exports declared, and the types of its two callbacks, all in
    the calling convention of the library that was loaded."""

    def __init__(self, library, function_type):
        self.library = library
        self.progress_type = function_type(ctypes.c_int32, ctypes.c_void_p, ctypes.c_uint32)
        self.prompt_type = function_type(ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32)
        handle = ctypes.c_void_p
        signatures = {
            "Init": ([], handle),
            "Term": ([handle], ctypes.c_int32),
            "ReadDevice": ([handle], ctypes.c_int32),
            "WriteDevice": ([handle], ctypes.c_int32),
            "SetProgressCallback": ([handle, self.progress_type], ctypes.c_int32),
            "SetPromptCallback": ([handle, self.prompt_type], ctypes.c_int32),
            "GetProperty": ([handle, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_uint32], ctypes.c_int32),
            "SetProperty": ([handle, ctypes.c_char_p, ctypes.c_char_p], ctypes.c_int32),
            "GetFirstValue": ([handle, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_uint32],
                              ctypes.c_int32),
            "GetNextValue": ([handle, ctypes.c_char_p, ctypes.c_uint32], ctypes.c_int32),
        }
        for name, (arguments, result) in signatures.items():
            function = getattr(library, name)
            function.argtypes = arguments
            function.restype = result

    def __getattr__(self, name):
        return getattr(self.library, name)


def _load() -> _Binding:
    if os.name == "nt":
        candidates = [os.environ.get("TALLYX_LIBRARY"), ctypes.util.find_library("tallyx"), "tallyx.dll"]
        missing = "tallyx.dll"
    else:
        candidates = [os.environ.get("TALLYX_LIBRARY"), ctypes.util.find_library("tallyx"), "libtallyx.so.1"]
        missing = "libtallyx.so.1"
    errors = []
    for candidate in candidates:
        if not candidate:
            continue
        try:
            library = ctypes.CDLL(candidate)
            break
        except OSError as error:
            errors.append(str(error))
    else:
        raise OSError(missing + " was not found (set TALLYX_LIBRARY to its path): " + "; ".join(errors))
    # Loading is the same in both conventions; calling is not.
    path = _loaded_path(library)
    loader, function_type = calling_convention(path)
    if loader is not ctypes.CDLL:
        library = loader(path, handle=library._handle)
    return _Binding(library, function_type)


_lib = None


def _library() -> _Binding:
    global _lib
    if _lib is None:
        _lib = _load()
    return _lib


def _text(value) -> bytes:
    return str(value).encode("latin-1")


def _time(text: str) -> datetime:
    return datetime.strptime(text, "%Y-%m-%d %H:%M:%S.%f")


@dataclass
class SequentialRecord:
    """One vehicle: speed and length in the counter's units (mph and ft, or km/h and dm)."""

    time: datetime
    flags: int
    description: str
    speed: int
    length: int

    @property
    def reverse(self) -> bool:
        return "REVERSE" in self.description.split("+")


@dataclass
class PeriodicRecord:
    """One period, stamped with its end; bins[speed class][length class] counts its vehicles."""

    time: datetime
    temperature: Optional[int]
    occupancy: int
    count: int
    reverse_count: int
    bins: List[List[int]] = field(default_factory=list)


class Counter:
    """One library context. Properties are named with or without the PROPERTY_ prefix."""

    def __init__(self, port=None, usb=None, metric: bool = False, **properties):
        self._handle = _library().Init()
        if not self._handle:
            raise TallyxError(-101, "Init")
        self._callback_error = None
        if port is not None:
            self.set("COMM_PORT", str(port).upper().removeprefix("COM"))
        if usb is not None:
            self.set("USBX_PORT", usb)
        self.metric = metric
        for name, value in properties.items():
            self.set(name, value)

    # ---- life
    def close(self):
        if self._handle:
            _library().Term(self._handle)
            self._handle = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass

    # ---- properties
    @staticmethod
    def _name(name: str) -> bytes:
        name = name.upper()
        return _text(name if name.startswith("PROPERTY_") else "PROPERTY_" + name)

    def _check(self, code: int, what: str) -> int:
        if code < 0:
            raise TallyxError(code, what)
        return code

    def set(self, name: str, value) -> None:
        self._check(_library().SetProperty(self._handle, self._name(name), _text(value)), f"SetProperty({name})")

    def get(self, name: str) -> str:
        buffer = ctypes.create_string_buffer(10240)
        self._check(_library().GetProperty(self._handle, self._name(name), buffer, len(buffer)), f"GetProperty({name})")
        return buffer.value.decode("latin-1")

    @property
    def metric(self) -> bool:
        return self.get("STUDY_MEASUREMENTUNITS").upper().endswith("METRIC")

    @metric.setter
    def metric(self, on: bool) -> None:
        self.set("STUDY_MEASUREMENTUNITS", "STUDY_MEASUREMENTUNITS_METRIC" if on else "STUDY_MEASUREMENTUNITS_US")

    # ---- operations
    def _run(self, operation, action: str, progress, prompt, what: str) -> int:
        self.set("TALLYX_READWRITEACTION", action)
        self._callback_error = None

        def on_progress(_handle, step):
            try:
                return 1 if progress(step) is False else 0
            except BaseException as error:  # kept and raised again after the call
                self._callback_error = error
                return 1

        def on_prompt(_handle, reason):
            try:
                if prompt is None:
                    return 0
                answer = prompt(reason)
                if answer is None or answer is True:
                    return 0
                if answer is False:
                    return 1
                return 0 if answer == 0 else 1
            except BaseException as error:
                self._callback_error = error
                return 1

        # The callbacks live until the operation returns.
        lib = _library()
        progress_function = lib.progress_type(on_progress) if progress is not None else lib.progress_type()
        prompt_function = lib.prompt_type(on_prompt)
        lib.SetProgressCallback(self._handle, progress_function)
        lib.SetPromptCallback(self._handle, prompt_function)
        try:
            code = operation(self._handle)
        finally:
            lib.SetProgressCallback(self._handle, lib.progress_type())
            lib.SetPromptCallback(self._handle, lib.prompt_type())
        if self._callback_error is not None:
            error, self._callback_error = self._callback_error, None
            raise error
        if code == 1:
            raise TallyxError(code, f"{what} was stopped")
        return self._check(code, what)

    def read(self, action: str = "all", progress: Optional[Callable[[int], object]] = None,
             prompt: Optional[Callable[[int], object]] = None) -> None:
        """Reads the counter. progress(step) returning False stops the read; prompt(reason) returning
        False or a non-zero number stops it at a prompt (reason 3: the battery may not last)."""
        self._run(_library().ReadDevice, READ_ACTIONS.get(action, action), progress, prompt, "ReadDevice")

    def write(self, action: str = "program", progress=None, prompt=None) -> None:
        """Programs the study of the properties ("program") or starts or stops the battery
        discharge ("start-discharge", "stop-discharge")."""
        self._run(_library().WriteDevice, WRITE_ACTIONS.get(action, action), progress, prompt, "WriteDevice")

    # ---- records
    def lines(self, kind: str = "sequential", format: str = "csv") -> List[str]:
        """The export's lines, the CSV header included."""
        data = _text("GETVALUE_DATA_" + kind.upper())
        form = _text("GETVALUE_FORMAT_" + format.upper())
        buffer = ctypes.create_string_buffer(_LINE_SIZE)
        lib = _library()
        lines = []
        code = lib.GetFirstValue(self._handle, data, form, buffer, _LINE_SIZE)
        while code == 0:
            lines.append(buffer.value.decode("latin-1"))
            code = lib.GetNextValue(self._handle, buffer, _LINE_SIZE)
        if code != 2:
            self._check(code, "GetFirstValue/GetNextValue")
        return lines

    def _records(self, kind: str, columns) -> tuple:
        """The header's bin columns and the lines after it, once the header is known to name the columns."""
        lines = self.lines(kind)
        if not lines:
            return [], []
        header = lines[0].split(",")
        if tuple(header[:len(columns)]) != columns:
            raise TallyxError(-61, f"the {kind} records begin with {lines[0]!r}, not with {','.join(columns)}")
        return header[len(columns):], lines[1:]

    def sequential(self) -> List[SequentialRecord]:
        _, lines = self._records("sequential", VEHICLE_COLUMNS)
        records = []
        for line in lines:
            time, flags, description, speed, length = line.split(",")
            records.append(SequentialRecord(_time(time), int(flags), description, int(speed), int(length)))
        return records

    def periodic(self) -> List[PeriodicRecord]:
        bins, lines = self._records("periodic", PERIOD_COLUMNS)
        cells = [tuple(int(n) for n in name.split("_")[1:]) for name in bins]  # (speed class, length class)
        rows = max((r for r, _ in cells), default=0)
        columns = max((c for _, c in cells), default=0)
        records = []
        for line in lines:
            fields = line.split(",")
            matrix = [[0] * columns for _ in range(rows)]
            for (r, c), value in zip(cells, fields[len(PERIOD_COLUMNS):]):
                matrix[r - 1][c - 1] = int(value)
            time, temperature, occupancy, count, reverse_count = fields[:len(PERIOD_COLUMNS)]
            records.append(PeriodicRecord(_time(time), int(temperature) if temperature else None, int(occupancy),
                                          int(count), int(reverse_count), matrix))
        return records

    def rows(self, kind: str = "sequential") -> List[dict]:
        """The records as dictionaries keyed by the CSV columns, for csv.DictWriter or pandas.DataFrame."""
        lines = self.lines(kind)
        if not lines:
            return []
        header = lines[0].split(",")
        return [dict(zip(header, line.split(","))) for line in lines[1:]]
