"""Finding the kit's shared libraries and programs.

Libraries are looked up in this order, the first file that loads wins:

1. each folder in ``COUNTERKIT_LIBDIR`` (several separated by ``os.pathsep``);
2. the folder of this package (libraries shipped beside it);
3. the library folders of the install prefixes: ``sys.prefix``,
   ``sys.base_prefix``, ``/usr/local`` and ``/usr``, each as ``lib/<multiarch>``
   and ``lib`` (``bin`` on Windows, where DLLs sit beside the programs);
4. the system's own search (``ctypes.util.find_library``, then the dynamic
   loader's path and cache).

In each folder the versioned name (``libslipdrv.so.1``) is tried before the
plain one (``libslipdrv.so``).
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import shutil
import sys
import sysconfig
from pathlib import Path
from typing import Callable, Sequence

from .errors import LibraryNotFoundError

_WINDOWS = os.name == "nt"

# File names of each library, the preferred one first.
_FILE_NAMES = {
    "slipdrv": ("slipdrv.dll",) if _WINDOWS else ("libslipdrv.so.1", "libslipdrv.so"),
    "korvel": ("korvel.dll",) if _WINDOWS else ("libkorvel.so.1", "libkorvel.so"),
}


def _split_env(name: str) -> list[Path]:
    value = os.environ.get(name, "")
    return [Path(part) for part in value.split(os.pathsep) if part]


def _prefixes() -> list[Path]:
    found: list[Path] = []
    for prefix in (sys.prefix, sys.base_prefix, "/usr/local", "/usr"):
        path = Path(prefix)
        if path not in found:
            found.append(path)
    return found


def library_dirs() -> list[Path]:
    """The folders searched for the kit's libraries, in order (see the module's text)."""
    dirs = _split_env("COUNTERKIT_LIBDIR")
    dirs.append(Path(__file__).resolve().parent)
    multiarch = sysconfig.get_config_var("MULTIARCH")
    for prefix in _prefixes():
        if _WINDOWS:
            dirs.append(prefix / "bin")
            continue
        if multiarch:
            dirs.append(prefix / "lib" / multiarch)
        dirs.append(prefix / "lib")
    unique: list[Path] = []
    for path in dirs:
        if path not in unique:
            unique.append(path)
    return unique


def load_library(
    name: str, loader: Callable[[str], ctypes.CDLL], explicit: str | os.PathLike[str] | None = None
) -> tuple[ctypes.CDLL, str]:
    """Loads the library ``name`` ("slipdrv" or "korvel") with ``loader``.

    ``explicit`` names the file to load and skips the search. Returns the
    loaded library and the path or name it was loaded from; raises
    LibraryNotFoundError listing what was tried and why each failed.
    """
    failures: list[str] = []

    def attempt(target: str) -> ctypes.CDLL | None:
        try:
            return loader(target)
        except OSError as error:
            failures.append(f"{target}: {error}")
            return None

    if explicit is not None:
        target = os.fspath(explicit)
        library = attempt(target)
        if library is None:
            raise LibraryNotFoundError(name, failures)
        return library, target

    file_names = _FILE_NAMES[name]
    for folder in library_dirs():
        for file_name in file_names:
            path = folder / file_name
            if path.is_file():
                library = attempt(str(path))
                if library is not None:
                    return library, str(path)
    candidates: list[str] = []
    system_name = ctypes.util.find_library(name)
    if system_name:
        candidates.append(system_name)
    candidates.extend(file_names)
    for candidate in candidates:
        library = attempt(candidate)
        if library is not None:
            return library, candidate
    raise LibraryNotFoundError(name, failures or [f"no {' or '.join(file_names)} in {_describe(library_dirs())}"])


def _describe(paths: Sequence[Path]) -> str:
    return ", ".join(str(p) for p in paths)


def find_program(name: str) -> Path | None:
    """The path of one of the kit's programs (``vocalcue``), or None.

    Looked up in each folder of ``COUNTERKIT_BINDIR``, then on ``PATH``, then
    in the folder of this package, then in the ``bin`` folder of the install
    prefixes (``sys.prefix``, ``sys.base_prefix``, ``/usr/local``, ``/usr``).
    """
    file_name = name + ".exe" if _WINDOWS else name

    def runnable(path: Path) -> bool:
        return path.is_file() and os.access(path, os.X_OK)

    for folder in _split_env("COUNTERKIT_BINDIR"):
        if runnable(folder / file_name):
            return folder / file_name
    on_path = shutil.which(file_name)
    if on_path:
        return Path(on_path)
    folders = [Path(__file__).resolve().parent] + [prefix / "bin" for prefix in _prefixes()]
    for folder in folders:
        if runnable(folder / file_name):
            return folder / file_name
    return None
