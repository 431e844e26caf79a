// Times File > Open in the viewer's own windows: from OK in the Open dialog to "Opened..." in
// the status bar, and the three steps behind it one by one. Not a test: run it by hand, e.g.
//   document_open_bench [[SHAPE:]BYTES...]   (default: 1 MB, 8 MB and 32,000,000 bytes mixed)
// e.g. empty-records:32000000 for the longest dump a file can give.
#include "document/document.h"
#include "dump/formatter.h"
#include "files/files.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/sample_files.h"
#include "tests/win/modal_driver.h"
#include "tests/win/window_testing.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Keeps the dump instead of showing it, so that formatting can be timed alone.
class KeepingTarget : public DumpTarget {
  public:
    bool SetText(const char* newText, size_t length) override {
        text.assign(newText, length);
        return true;
    }
    void ShowProgress(const char*) override {}
    void ShowMessage(const DumpMessage& message) override {
        std::fprintf(stderr, "message: %s\n", message.text);
    }
    void* AllocateOutput(size_t bytes) override { return GlobalAlloc(GPTR, bytes); }
    bool ReleaseOutput(void* block) override { return GlobalFree(block) == nullptr; }

    std::string text;
};

struct Sample {
    SampleShape shape;
    uint32_t size;
};

// "BYTES" or "SHAPE:BYTES" with a shape name of qefgen; a size of 0 for a bad shape.
Sample ParseSample(const std::string& argument) {
    Sample sample = {SAMPLE_MIXED, 0};
    size_t colon = argument.find(':');
    size_t digits = 0;
    if (colon != std::string::npos) {
        if (!ParseSampleShape(argument.substr(0, colon), sample.shape))
            return sample;
        digits = colon + 1;
    }
    sample.size = uint32_t(std::strtoul(argument.c_str() + digits, nullptr, 10));
    return sample;
}

bool WriteSample(const std::string& path, Sample sample) {
    std::vector<unsigned char> bytes = GenerateSample(sample.shape, 1, sample.size);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL wrote = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

double TimeReading(const std::string& path, std::vector<unsigned char>& bytes) {
    LARGE_INTEGER start = Now();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    DWORD size = GetFileSize(file, nullptr);
    bytes.assign(size + 1, 0);
    DWORD read = 0;
    ReadFile(file, bytes.data(), size, &read, nullptr);
    CloseHandle(file);
    double seconds = Seconds(start, Now());
    bytes.resize(size);
    return seconds;
}

HWND ActiveDocument() {
    return reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0));
}

// Open dialog OK to the status report, through the frame's command as the user gives it.
double TimeOpen(HWND frame, const std::string& path) {
    LARGE_INTEGER pressed = {};
    RunWithDialogs([frame] { SendMessageA(frame, WM_COMMAND, CMD_FILE_OPEN, 0); },
                   {[&path, &pressed](HWND dialog) {
                       SetDlgItemTextA(dialog, 0x47C, path.c_str());
                       PressButton(dialog, IDOK);
                       pressed = Now();
                   }});
    double seconds = Seconds(pressed, Now());
    if (StatusText(GetDlgItem(frame, ID_STATUSBAR), 0) != "Opened...")
        std::fprintf(stderr, "the file was not opened\n");
    return seconds;
}

double TimeShowing(HWND frame, const std::string& text) {
    SendMessageA(frame, WM_COMMAND, CMD_FILE_NEW, 0);
    HWND edit = EditOf(ActiveDocument());
    LARGE_INTEGER start = Now();
    SetWindowTextA(edit, text.c_str());
    double seconds = Seconds(start, Now());
    SendMessageA(frame, WM_COMMAND, CMD_FILE_CLOSE, 0);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Sample> samples = {
        {SAMPLE_MIXED, 1u << 20}, {SAMPLE_MIXED, 8u << 20}, {SAMPLE_MIXED, MaxModuleInfoLength}};
    if (argc > 1) {
        samples.clear();
        for (int index = 1; index < argc; ++index)
            samples.push_back(ParseSample(argv[index]));
    }
    RegisterViewerClasses();
    HWND frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string path = std::string(temp) + "qef-open-bench.qef";

    std::printf("%12s %12s %10s %10s %10s %14s %10s\n", "file bytes", "text bytes", "read s",
                "format s", "show s", "OK->Opened s", "sum s");
    for (Sample sample : samples) {
        uint32_t size = sample.size;
        if (size < 29 || size > MaxModuleInfoLength || !WriteSample(path, sample)) {
            std::fprintf(stderr, "cannot make a sample of %u bytes\n", size);
            continue;
        }
        std::vector<unsigned char> bytes;
        double reading = TimeReading(path, bytes);
        KeepingTarget kept;
        LARGE_INTEGER start = Now();
        FormatModuleInfo(kept, bytes.data(), uint32_t(bytes.size()));
        double formatting = Seconds(start, Now());
        double showing = TimeShowing(frame, kept.text);
        size_t textBytes = kept.text.size();
        kept.text = std::string();

        double opening = TimeOpen(frame, path);
        SendMessageA(frame, WM_COMMAND, CMD_FILE_CLOSE, 0);
        std::printf("%12u %12zu %10.3f %10.3f %10.3f %14.3f %10.3f\n", size, textBytes, reading,
                    formatting, showing, opening, reading + formatting + showing);
        std::fflush(stdout);
    }
    DeleteFileA(path.c_str());
    DestroyWindow(frame);
    PumpMessages();
    return 0;
}
