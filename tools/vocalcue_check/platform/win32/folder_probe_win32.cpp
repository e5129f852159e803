// The folder seen as vocalcue.exe sees it: wide file names, WAV files read
// through the multimedia library's RIFF reader, formats asked of the wave
// mapper that sndPlaySoundW plays through. vocalcue-check.exe is a console
// program; it writes UTF-8.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <vector>

#include "../../folder_check.h"
#include "common/utf.h"

namespace vocalcue_check {
namespace {

LPCWSTR wide(const std::u16string& text) { return reinterpret_cast<LPCWSTR>(text.c_str()); }

// A RIFF WAVE file's format and the size of its samples.
struct WaveHeader {
    std::vector<char> format;  // WAVEFORMATEX, as long as its chunk
    DWORD dataBytes = 0;
};

bool readWaveHeader(const std::u16string& path, WaveHeader& header) {
    // mmioOpenW takes a writable name.
    std::u16string name = path;
    const HMMIO file = mmioOpenW(reinterpret_cast<LPWSTR>(name.data()), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    if (!file) return false;
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    MMCKINFO chunk{};
    chunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    bool ok = mmioDescend(file, &riff, nullptr, MMIO_FINDRIFF) == MMSYSERR_NOERROR &&
              mmioDescend(file, &chunk, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR &&
              chunk.cksize >= sizeof(PCMWAVEFORMAT);
    if (ok) {
        header.format.assign(std::max<std::size_t>(chunk.cksize, sizeof(WAVEFORMATEX)), 0);
        const LONG size = static_cast<LONG>(chunk.cksize);
        ok = mmioRead(file, header.format.data(), size) == size && mmioAscend(file, &chunk, 0) == MMSYSERR_NOERROR;
    }
    MMCKINFO data{};
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ok = ok && mmioDescend(file, &data, &riff, MMIO_FINDCHUNK) == MMSYSERR_NOERROR;
    header.dataBytes = data.cksize;
    mmioClose(file, 0);
    return ok;
}

class Win32FolderProbe final : public FolderProbe {
public:
    std::string currentFolder() override {
        std::vector<wchar_t> buffer(GetCurrentDirectoryW(0, nullptr) + 1);
        const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
        return kit::utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buffer.data()), length));
    }

    FileState fileState(const std::u16string& path) override {
        const DWORD attributes = GetFileAttributesW(wide(path));
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileState::kMissing
                                                                                  : FileState::kUnreadable;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return FileState::kNotRegular;
        const HANDLE file = open(path);
        if (file == INVALID_HANDLE_VALUE) return FileState::kUnreadable;
        const bool disk = GetFileType(file) == FILE_TYPE_DISK;
        CloseHandle(file);
        return disk ? FileState::kRegular : FileState::kNotRegular;
    }

    std::string readFile(const std::u16string& path) override {
        std::string content;
        const HANDLE file = open(path);
        if (file == INVALID_HANDLE_VALUE) return content;
        char chunk[4096];
        DWORD got = 0;
        while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) content.append(chunk, got);
        CloseHandle(file);
        return content;
    }

    SoundFacts examineSound(const std::u16string& path) override {
        SoundFacts facts;
        switch (fileState(path)) {
            case FileState::kMissing:
                facts.state = SoundFacts::State::kMissing;
                return facts;
            case FileState::kNotRegular:
                facts.state = SoundFacts::State::kNotRegular;
                facts.detail = "a folder or device, not a file";
                return facts;
            case FileState::kUnreadable:
                facts.state = SoundFacts::State::kUnreadable;
                facts.detail = "cannot be opened";
                return facts;
            case FileState::kRegular:
                break;
        }
        WaveHeader header;
        if (!readWaveHeader(path, header)) {
            facts.state = SoundFacts::State::kUnreadable;
            facts.detail = "not a RIFF WAVE file with a format and a data chunk";
            return facts;
        }
        auto* format = reinterpret_cast<WAVEFORMATEX*>(header.format.data());
        if (format->wFormatTag == WAVE_FORMAT_PCM) format->cbSize = 0;
        facts.seconds = format->nAvgBytesPerSec ? static_cast<double>(header.dataBytes) / format->nAvgBytesPerSec : 0;
        facts.format =
            std::to_string(format->nSamplesPerSec) + " Hz, " + std::to_string(format->nChannels) +
            (format->nChannels == 1 ? " channel, " : " channels, ") + std::to_string(format->wBitsPerSample) + "-bit" +
            (format->wFormatTag == WAVE_FORMAT_PCM ? " PCM" : " format " + std::to_string(format->wFormatTag));
        if (waveOutGetNumDevs() > 0) {
            const MMRESULT query = waveOutOpen(nullptr, WAVE_MAPPER, format, 0, 0, WAVE_FORMAT_QUERY);
            if (query != MMSYSERR_NOERROR) {
                facts.state = SoundFacts::State::kRefused;
                facts.detail = "the wave-output device refuses this format (error " + std::to_string(query) + ")";
            }
        }
        return facts;
    }

    bool soundDeviceOpens(std::string& detail) override {
        const UINT devices = waveOutGetNumDevs();
        detail = std::to_string(devices) + " wave-output device" + (devices == 1 ? "" : "s");
        return devices > 0;
    }

private:
    static HANDLE open(const std::u16string& path) {
        return CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
};

// Chinese file names reach a console as UTF-8; its code page is put back at the end.
class ConsoleOutputCodePage {
public:
    ConsoleOutputCodePage() : previous_(GetConsoleOutputCP()) {
        DWORD mode = 0;
        if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) && previous_ != CP_UTF8) {
            changed_ = SetConsoleOutputCP(CP_UTF8) != FALSE;
        }
    }
    ~ConsoleOutputCodePage() {
        if (changed_) SetConsoleOutputCP(previous_);
    }
    ConsoleOutputCodePage(const ConsoleOutputCodePage&) = delete;
    ConsoleOutputCodePage& operator=(const ConsoleOutputCodePage&) = delete;

private:
    UINT previous_;
    bool changed_ = false;
};

}  // namespace

std::unique_ptr<FolderProbe> makeFolderProbe() { return std::make_unique<Win32FolderProbe>(); }

}  // namespace vocalcue_check

int wmain(int argc, wchar_t** argv) {
    const vocalcue_check::ConsoleOutputCodePage utf8;
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    const int status = vocalcue_check::runVocalcueCheck(args, stdout, stderr);
    std::fflush(stdout);
    return status;
}
