// FormatModuleInfo on any input, in each numeration mode: a success must give exactly the
// model's text, a refusal must leave the target's text alone and show the one right message.
// A fourth run, chosen by the input, makes the allocation, the release or the text fail.
#include "fuzz/fuzz_support.h"
#include "fuzz/reference_dump.h"

#include "dump/formatter.h"
#include "dump/module_info.h"
#include "tests/support/recording_target.h"

#include <string>
#include <vector>

namespace {

const char Sentinel[] = "the text before the run\r\n";

void CheckLineShape(const std::string& text, uint64_t lineCount) {
    Require(text.size() % DumpLineLength == 0, "text length is a multiple of 103");
    Require(text.size() == lineCount * DumpLineLength, "text has PlanDump's line count");
    for (size_t start = 0; start < text.size(); start += DumpLineLength) {
        const char* line = text.data() + start;
        Require(line[101] == '\r' && line[102] == '\n', "line ends in CR LF");
        Require(line[100] == ' ', "space at column 100");
        Require(line[82] == '|', "bar at column 82");
        Require(line[30] == '|', "bar at column 30");
        Require(line[8] == ':' && line[9] == ' ', "colon and space after the number");
        Require(std::string(line + 55, 3) == " - ", "hyphen between the byte halves");
    }
}

// Every text is "Opened... N%" with N below 100 (a position is always before the end) and
// never going back; an accepted file starts at 0%.
void CheckProgress(const RecordingTarget& target) {
    int last = -1;
    for (const std::string& text : target.progress) {
        Require(StartsWith(text, "Opened... ") && text.back() == '%', "progress text shape");
        std::string digits = text.substr(10, text.size() - 11);
        Require(!digits.empty() && digits.size() <= 2 &&
                    digits.find_first_not_of("0123456789") == std::string::npos,
                "progress is a percentage below 100");
        int percent = std::stoi(digits);
        Require(percent >= last, "progress never goes back");
        Require(last != -1 || percent == 0, "progress starts at 0%");
        last = percent;
    }
}

bool IsMessage(const RecordedMessage& message, const char* text, MessageIcon icon) {
    return message.text == text && message.caption == "Error" && message.icon == icon;
}

struct Expectation {
    bool signature;
    bool complete;
    std::string text;
    std::vector<std::string> progress;
    uint64_t lineCount;
};

Expectation Expect(const LoadedInput& input, Numeration mode) {
    Expectation expected{};
    expected.signature = IsModuleInfoFile(input.Data(), input.Length());
    expected.text =
        ReferenceDump(input.Data(), input.Length(), mode, expected.complete, expected.progress);
    DumpPlan plan = PlanDump(input.Data(), input.Length());
    Require(plan.complete == expected.complete, "PlanDump agrees with the model on the chain");
    Require(plan.lineCount * DumpLineLength == expected.text.size(),
            "PlanDump counts the model's lines");
    expected.lineCount = plan.lineCount;
    return expected;
}

void CheckRun(const LoadedInput& input, Numeration mode) {
    Expectation expected = Expect(input, mode);
    NumerationMode = mode;
    RecordingTarget target(Sentinel);
    bool shown = FormatModuleInfo(target, input.Data(), input.Length());
    CheckProgress(target);
    Require(!expected.signature || target.progress == expected.progress,
            "progress texts equal the model's");
    if (expected.signature && expected.complete) {
        Require(shown, "a well-formed file is shown");
        Require(target.text == expected.text, "text equals the model's");
        CheckLineShape(target.text, expected.lineCount);
        Require(target.messages.empty(), "no message on success");
        Require(target.setTextCalls == 1 && target.releases == 1, "one text, one release");
        Require(target.events.back() == "text", "the text comes after all progress");
        return;
    }
    Require(!shown, "a bad file is refused");
    Require(target.text == Sentinel, "a refusal leaves the text alone");
    Require(target.setTextCalls == 0, "a refusal sets no text");
    Require(target.messages.size() == 1, "a refusal shows exactly one message");
    Require(target.events.back() == "message " + target.messages[0].text, "the message comes last");
    if (!expected.signature) {
        Require(IsMessage(target.messages[0], "No QEF format.", MESSAGE_ICON_ERROR),
                "no signature gives \"No QEF format.\"");
        Require(target.progress.empty() && target.releases == 0 && target.allocatedBytes == 0,
                "no signature: nothing reserved, no progress");
    } else {
        Require(IsMessage(target.messages[0], "QEF format error.", MESSAGE_ICON_ERROR),
                "a broken chain gives \"QEF format error.\"");
        Require(target.releases == 1, "the output is released after a format error");
        Require(!target.progress.empty(), "progress before the format error");
    }
}

enum Fault { FAULT_ALLOCATION, FAULT_RELEASE, FAULT_SET_TEXT, FAULT_COUNT };

void CheckFault(const LoadedInput& input, Numeration mode, Fault fault) {
    Expectation expected = Expect(input, mode);
    NumerationMode = mode;
    RecordingTarget target(Sentinel);
    target.failAllocation = fault == FAULT_ALLOCATION;
    target.failRelease = fault == FAULT_RELEASE;
    target.failSetText = fault == FAULT_SET_TEXT;
    bool shown = FormatModuleInfo(target, input.Data(), input.Length());
    CheckProgress(target);
    if (!expected.signature) {
        Require(!shown && target.text == Sentinel && target.messages.size() == 1 &&
                    IsMessage(target.messages[0], "No QEF format.", MESSAGE_ICON_ERROR),
                "no signature is refused before any fault can matter");
        return;
    }
    Require(target.allocatedBytes > expected.text.size(), "room for the text and its NUL");
    switch (fault) {
    case FAULT_ALLOCATION:
        Require(!shown && target.text == Sentinel && target.releases == 0,
                "no buffer: refused, nothing released");
        Require(target.progress.empty(), "no buffer: refused before any record");
        Require(target.messages.size() == 1 &&
                    IsMessage(target.messages[0], "Memory allocation error.", MESSAGE_ICON_NONE),
                "no buffer gives \"Memory allocation error.\"");
        break;
    case FAULT_RELEASE:
        Require(shown == expected.complete, "a failed release keeps the result");
        Require(target.text == (expected.complete ? expected.text : Sentinel),
                "a failed release keeps the text");
        Require(target.messages.size() == (expected.complete ? 1u : 2u) &&
                    IsMessage(target.messages.back(), "Memory free error.", MESSAGE_ICON_NONE),
                "a failed release gives \"Memory free error.\" last");
        break;
    case FAULT_SET_TEXT:
        Require(!shown && target.text == Sentinel && target.releases == 1,
                "a refused text: false, text kept, buffer released");
        Require(target.setTextCalls == (expected.complete ? 1 : 0), "text offered once");
        Require(target.messages.size() == (expected.complete ? 0u : 1u),
                "a refused text shows no message of its own");
        break;
    case FAULT_COUNT:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > MaxModuleInfoLength)
        return -1;
    LoadedInput input(bytes, size);
    for (Numeration mode : {NUMERATION_SINGLE, NUMERATION_MULTI, NUMERATION_OFFSET})
        CheckRun(input, mode);
    uint32_t hash = HashInput(bytes, size);
    CheckFault(input, Numeration(NUMERATION_SINGLE + hash % 3), Fault(hash / 3 % FAULT_COUNT));
    return 0;
}
