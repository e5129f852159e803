"""announce runs vocalcue in the folder with the request: with ALSA's default
device a file, what it played must be the sound the request names."""

from __future__ import annotations

import os
import wave
from pathlib import Path

import pytest

from counterkit import AnnouncementError, announce


def test_announce_plays_the_requested_sound(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    if not os.environ.get("COUNTERKIT_BINDIR"):
        pytest.skip("COUNTERKIT_BINDIR does not name the folder of vocalcue")
    folder = tmp_path / "counter"
    (folder / "wav").mkdir(parents=True)
    (folder / "setting.ini").write_text("[setting]\nvocalcue=1\n")
    frames = os.urandom(882)  # 20 ms of noise, 16-bit mono at 22050 Hz
    with wave.open(str(folder / "wav" / "欢迎光临.wav"), "wb") as sound:
        sound.setnchannels(1)
        sound.setsampwidth(2)
        sound.setframerate(22050)
        sound.writeframes(frames)
    capture = tmp_path / "out.raw"
    conf = tmp_path / "asound.conf"
    conf.write_text(
        f'pcm.!default {{ type file; slave.pcm {{ type null }}; file "{capture}"; format "raw"; truncate false }}\n'
    )
    monkeypatch.setenv("ALSA_CONFIG_PATH", str(conf))

    announce("欢迎光临///", folder)

    played = b"".join(p.read_bytes() for p in sorted(tmp_path.glob("out.raw*")))
    assert frames in played


def test_announce_in_a_missing_folder_raises(tmp_path: Path) -> None:
    with pytest.raises(AnnouncementError, match="no folder"):
        announce("欢迎光临///", tmp_path / "missing", program="/bin/true")
