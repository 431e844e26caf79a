// Times File > Open in the viewer's own windows: reading, formatting and showing one by one, and
// from OK in the Open dialog to "Opened..." as a whole. Not a test: `make bench-gui`, or
//   document_open_bench [[SHAPE:]BYTES...]   (default: 1 MB, 8 MB and 32,000,000 bytes mixed)
// e.g. empty-records:32000000 for the longest dump a file can give.
#include "document/document.h"
#include "frame/frame.h"
#include "frame/resource.h"
#include "tests/support/recording_target.h"
#include "tools/sample_files.h"
#include "tests/win/win_testing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Sample {
    SampleShape shape = SAMPLE_MIXED;
    uint32_t size = 0; // 0 for a shape qefgen does not know
};

// "BYTES" or "SHAPE:BYTES" with one of qefgen's shape names.
Sample ParseSample(const std::string& argument) {
    Sample sample;
    size_t colon = argument.find(':');
    if (colon != std::string::npos && !ParseSampleShape(argument.substr(0, colon), sample.shape))
        return sample;
    size_t digits = colon == std::string::npos ? 0 : colon + 1;
    sample.size = uint32_t(std::strtoul(argument.c_str() + digits, nullptr, 10));
    return sample;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Sample> samples = {
        {SAMPLE_MIXED, 1u << 20}, {SAMPLE_MIXED, 8u << 20}, {SAMPLE_MIXED, MaxModuleInfoLength}};
    if (argc > 1)
        samples.clear();
    for (int index = 1; index < argc; ++index)
        samples.push_back(ParseSample(argv[index]));
    RegisterViewerClasses();
    HWND frame = CreateFrameWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    TempFolder folder;
    std::printf("%12s %12s %10s %10s %10s %14s\n", "file bytes", "text bytes", "read s", "format s",
                "show s", "OK->Opened s");
    for (Sample sample : samples) {
        uint32_t size = sample.size;
        if (size < 29 || size > MaxModuleInfoLength) {
            std::fprintf(stderr, "cannot make a sample of %u bytes\n", size);
            continue;
        }
        std::string path = folder.MakeFile("sample.qef", SampleBytes(sample.shape, 1, size));
        Clock::time_point start = Clock::now();
        std::string bytes = ReadWholeFile(path);
        double reading = SecondsSince(start);
        RecordingTarget kept;
        start = Clock::now();
        FormatModuleInfo(kept, reinterpret_cast<const unsigned char*>(bytes.data()), size,
                         NumerationMode);
        double formatting = SecondsSince(start);
        SendMessageA(frame, WM_COMMAND, CMD_FILE_NEW, 0);
        HWND edit = EditOf(reinterpret_cast<HWND>(SendMessageA(MdiClient, WM_MDIGETACTIVE, 0, 0)));
        start = Clock::now();
        SetWindowTextA(edit, kept.text.c_str());
        double showing = SecondsSince(start);
        SendMessageA(frame, WM_COMMAND, CMD_FILE_CLOSE, 0);

        RunWithDialogs([frame] { SendMessageA(frame, WM_COMMAND, CMD_FILE_OPEN, 0); },
                       {[&](HWND dialog) {
                           ChooseFile(path)(dialog);
                           start = Clock::now();
                       }});
        double opening = SecondsSince(start);
        if (StatusText(GetDlgItem(frame, ID_STATUSBAR), 0) != "Opened...")
            std::fprintf(stderr, "the file was not opened\n");
        SendMessageA(frame, WM_COMMAND, CMD_FILE_CLOSE, 0);
        std::printf("%12u %12zu %10.3f %10.3f %10.3f %14.3f\n", size, kept.text.size(), reading,
                    formatting, showing, opening);
        std::fflush(stdout);
    }
    DestroyWindow(frame);
    PumpMessages();
    return 0;
}
