"""Which library file the search picks (the loader is replaced by a recorder)."""

from __future__ import annotations

from pathlib import Path

import pytest

from counterkit._loader import load_library

# Files in each COUNTERKIT_LIBDIR folder -> (folder, file) loaded.
ROWS = [
    ([["libslipdrv.so"]], (0, "libslipdrv.so")),
    ([["libslipdrv.so", "libslipdrv.so.1"]], (0, "libslipdrv.so.1")),
    ([[], ["libslipdrv.so"]], (1, "libslipdrv.so")),
    ([["libslipdrv.so"], ["libslipdrv.so.1"]], (0, "libslipdrv.so")),
]


@pytest.mark.parametrize("folders,chosen", ROWS)
def test_search_order(tmp_path: Path, monkeypatch: pytest.MonkeyPatch, folders, chosen) -> None:
    dirs = []
    for i, files in enumerate(folders):
        folder = tmp_path / str(i)
        folder.mkdir()
        for name in files:
            (folder / name).write_bytes(b"")
        dirs.append(str(folder))
    monkeypatch.setenv("COUNTERKIT_LIBDIR", ":".join(dirs))
    _, path = load_library("slipdrv", lambda p: p)  # type: ignore[arg-type,return-value]
    assert path == str(tmp_path / str(chosen[0]) / chosen[1])
