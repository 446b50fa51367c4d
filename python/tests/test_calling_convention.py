"""The binding calls the library in the convention of the DLL it loaded: __stdcall for 32-bit x86
Windows (WinDLL, WINFUNCTYPE), the C convention for everything else. A Windows Python cannot be
had on the build machine, so the choice is tested here on the files themselves: PE headers of
each machine, the real DLLs of the Windows builds when they are there, and files that are no DLL.
"""
import ctypes
import os
import struct
import sys
import tempfile
import types
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))

from tallyx import _library  # noqa: E402

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")


def pe_image(machine: int, header_at: int = 0x80) -> bytes:
    """The start of a PE file: the MS-DOS header pointing at the PE signature and machine."""
    dos = bytearray(header_at)
    dos[:2] = b"MZ"
    struct.pack_into("<I", dos, 60, header_at)
    return bytes(dos) + b"PE\0\0" + struct.pack("<H", machine) + bytes(18)


class CallingConventionTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        # Stand-ins for ctypes' four names: on Linux, ctypes has neither WinDLL nor WINFUNCTYPE.
        self.ctypes = types.SimpleNamespace(WinDLL="WinDLL", WINFUNCTYPE="WINFUNCTYPE", CDLL="CDLL",
                                            CFUNCTYPE="CFUNCTYPE")

    def tearDown(self):
        self.folder.cleanup()

    def file(self, name: str, data: bytes) -> str:
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as out:
            out.write(data)
        return path

    def test_the_machine_of_the_dll_decides(self):
        cases = [
            ("32-bit x86 DLL", pe_image(0x014C), 0x014C, ("WinDLL", "WINFUNCTYPE")),
            ("32-bit x86 DLL, header far in", pe_image(0x014C, 0x400), 0x014C, ("WinDLL", "WINFUNCTYPE")),
            ("x64 DLL", pe_image(0x8664), 0x8664, ("CDLL", "CFUNCTYPE")),
            ("ARM64 DLL", pe_image(0xAA64), 0xAA64, ("CDLL", "CFUNCTYPE")),
            ("Linux library", b"\x7fELF\x02\x01\x01" + bytes(57), None, ("CDLL", "CFUNCTYPE")),
            ("MS-DOS header only", pe_image(0x014C)[:64], None, ("CDLL", "CFUNCTYPE")),
            ("PE signature spoiled", pe_image(0x014C).replace(b"PE\0\0", b"PX\0\0"), None, ("CDLL", "CFUNCTYPE")),
            ("header beyond the end", pe_image(0x014C, 0x80)[:0x82], None, ("CDLL", "CFUNCTYPE")),
            ("empty file", b"", None, ("CDLL", "CFUNCTYPE")),
        ]
        for name, data, machine, convention in cases:
            with self.subTest(name):
                path = self.file("library.dll", data)
                self.assertEqual(_library.pe_machine(path), machine)
                self.assertEqual(_library.calling_convention(path, self.ctypes), convention)
        # A name the system finds on its own (no file here) is a library of this system.
        self.assertIsNone(_library.pe_machine("libtallyx.so.1"))
        self.assertEqual(_library.calling_convention("libtallyx.so.1", self.ctypes), ("CDLL", "CFUNCTYPE"))

    def test_the_dlls_of_the_windows_builds(self):
        found = 0
        for build, convention in (("build-win32", ("WinDLL", "WINFUNCTYPE")), ("build-win64", ("CDLL", "CFUNCTYPE"))):
            path = os.path.join(ROOT, build, "tallyx.dll")
            if not os.path.exists(path):
                continue
            found += 1
            with self.subTest(build):
                self.assertEqual(_library.calling_convention(path, self.ctypes), convention)
        if not found:
            self.skipTest("no Windows build here")

    def test_callback_types_follow_the_convention(self):
        # The binding's callback types are made by the convention's maker; on this system that is
        # the C one, and a callback made from it can be called.
        made = []

        def maker(*signature):
            made.append(signature)
            return ctypes.CFUNCTYPE(*signature)

        binding = _library._Binding(types.SimpleNamespace(**{name: types.SimpleNamespace() for name in (
            "Init", "Term", "ReadDevice", "WriteDevice", "SetProgressCallback", "SetPromptCallback",
            "GetProperty", "SetProperty", "GetFirstValue", "GetNextValue")}), maker)
        self.assertEqual(made, [(ctypes.c_int32, ctypes.c_void_p, ctypes.c_uint32),
                                (ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32)])
        self.assertEqual(binding.progress_type(lambda handle, step: step * 2)(None, 21), 42)
        self.assertEqual(binding.library.SetProgressCallback.argtypes[1], binding.progress_type)
        self.assertEqual(binding.library.SetPromptCallback.argtypes[1], binding.prompt_type)


if __name__ == "__main__":
    unittest.main()
