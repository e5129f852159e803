"""Spoken announcements through the ``vocalcue`` program."""

from __future__ import annotations

import os
import subprocess
from pathlib import Path

from ._loader import find_program
from .errors import AnnouncementError


def find_vocalcue() -> Path:
    """The ``vocalcue`` program: in ``COUNTERKIT_BINDIR``, on ``PATH``, beside
    this package, or in the ``bin`` folder of an install prefix (``sys.prefix``,
    ``/usr/local``, ``/usr``), in that order.

    Raises AnnouncementError when none has it.
    """
    program = find_program("vocalcue")
    if program is None:
        raise AnnouncementError("vocalcue not found (set COUNTERKIT_BINDIR to its folder or put it on PATH)")
    return program


def announce(
    request: str,
    folder: str | os.PathLike[str],
    *,
    program: str | os.PathLike[str] | None = None,
    timeout: float = 120.0,
) -> None:
    """Speaks one announcement and returns when it has been spoken.

    ``request`` is vocalcue's command line, such as
    ``"您本次消费合计为/m/35.50/谢谢光临"``; ``folder`` is the folder that holds
    ``setting.ini`` and ``wav/``, where vocalcue runs. ``program`` names the
    vocalcue to run instead of looking for one (``find_vocalcue``).

    vocalcue itself reports nothing: a request it cannot read, a switched-off
    ``setting.ini`` or a missing sound file are silence. Raises
    AnnouncementError when the program cannot be run, or does not end within
    ``timeout`` seconds (it is then stopped), or ends other than as it always does.
    """
    executable = Path(program) if program is not None else find_vocalcue()
    if not Path(folder).is_dir():
        raise AnnouncementError(f"no folder {os.fspath(folder)!r} to announce in")
    try:
        completed = subprocess.run(
            [os.fspath(executable), request],
            cwd=folder,
            stdin=subprocess.DEVNULL,
            timeout=timeout,
            check=False,
        )
    except OSError as error:
        raise AnnouncementError(f"cannot run {executable}: {error}") from error
    except subprocess.TimeoutExpired as error:
        raise AnnouncementError(f"{executable} did not end within {timeout} s") from error
    if completed.returncode != 0:
        raise AnnouncementError(f"{executable} ended with status {completed.returncode}")
