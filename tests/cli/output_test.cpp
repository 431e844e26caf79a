// qefdump in scenes of the shell: OUT in hostile surroundings, which qefdump writes whole or
// leaves byte for byte as it was, saying why and leaving no temporary behind; standard input,
// help and version, the diff's context and memory limits.
#include "cli/output.h"
#include "tests/cli/cli_testing.h"
#include "tools/sample_files.h"

#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mount.h>
#include <unistd.h>
#endif

namespace {

using Out = CliTest;

#ifndef _WIN32
// Scripts run in a folder holding in.qef, a 200,000-byte sample, and dump.txt, its dump, with
// their transcripts (stdout and stderr). `d F...` prints "F: dump", "F: old" when F holds
// exactly "old\n", or F's size. Those that mount or change owners need root.
const std::pair<const char*, const char*> Scenes[] = {
    // Names of the program's own descriptors are written through them, where they stand; a
    // folder of another name is a folder.
    {"printf 'line1\\n' >a; $Q -o /dev/stdout in.qef >>a; (echo line1; cat dump.txt) | cmp - a\n"
     "{ echo head; $Q -o /dev/fd/1 in.qef; echo tail; } >b; (echo head; cat dump.txt; echo tail)"
     " | cmp - b\n$Q -o /proc/self/fd/2 in.qef 2>c; $Q -o /dev/stderr in.qef 2>>c; cat dump.txt"
     " dump.txt | cmp - c\n$Q -o /dev/fd/1 in.qef | cat >p; echo x >e; $Q -o /dev/stdin in.qef"
     " 0>>e; (echo x; cat dump.txt) | cmp - e; $Q -o /dev/stdout in.qef <&- | cmp - dump.txt; d p\n"
     "mkdir fd; $Q -o fd/1 in.qef; d fd/1; $Q -o /dev/fd/4 in.qef 4<a; $Q -o /dev/fd/7 in.qef; "
     "echo *",
     "p: dump\nfd/1: dump\nqefdump: /dev/fd/4: descriptor 4 is open for reading only\n"
     "qefdump: /dev/fd/7: Bad file descriptor\na b c dump.txt e fd in.qef p\n"},
    // Links are followed and stay links; a loop is an error and stays a loop.
    {"echo old >real; ln -s real link; ln -s gone dangling; ln -s /dev/null null\n"
     "mkdir sub; ln -s ../real sub/up; for o in link dangling null; do $Q -o $o in.qef; done\n"
     "d real gone; echo old >real; $Q -o sub/up in.qef; d real; ln -s l2 l1; ln -s l1 l2\n"
     "ln -s self self; for o in l1 self; do $Q -o $o in.qef; echo $?; done\n"
     "test -L link -a -L dangling -a -L sub/up -a -L l1 -a -L l2 -a -L self -a -c /dev/null &&"
     " echo links; echo *",
     "real: dump\ngone: dump\nreal: dump\nqefdump: l1: Too many levels of symbolic links\n3\n"
     "qefdump: self: Too many levels of symbolic links\n3\nlinks\n"
     "dangling dump.txt gone in.qef l1 l2 link null real self sub\n"},
    // That OUT is an input is door_test's; here by an absolute name. A new OUT's mode; a name
    // that needs quotes in the diff's header (grep_ways_test has the messages').
    {"$Q -o \"$PWD/in.qef\" in.qef 2>/dev/null; echo $?; $Q -o new in.qef; stat -c %a new\n"
     "n=$(printf 'new\\nline'); $G --size 300 -o \"$n\"; $Q --diff in.qef \"$n\" | head -n 2",
     "2\n644\n--- in.qef\n+++ \"new\\nline\"\n"},
    // A replacement has OUT's owner, group and mode, set-group-id included (door_test has hard
    // links, written in place).
    {"for f in a b; do echo old >$f; done; chown 65534:65534 a; chmod 666 a; chmod 2640 b\n"
     "stat -c %i a b >i; for f in a b; do $Q -o $f in.qef; done; d a b; stat -c '%i %n %u:%g %a'"
     " a b | paste i - | awk '{print $1 == $2, $3, $4, $5}'",
     "a: dump\nb: dump\n0 a 65534:65534 666\n0 b 0:0 2640\n"},
    // As another user: a folder it cannot write, a sticky folder, and a file whose owner or
    // group it cannot give a replacement are written in place, so no bit changes hands.
    {"mkdir -m 755 bin ro; mkdir -m 1777 st; mkdir -m 777 g; cp $Q bin; Q=\"$N bin/qefdump\"\n"
     "for f in ro/f st/f g/f g/s; do echo old >$f; chmod 666 $f; done; chown 65534 ro/f g/f\n"
     "chown 65534:65534 g/s; chmod 640 g/f; chmod 2640 g/s; stat -c %i ro/f st/f g/f g/s >i\n"
     "for f in ro/f st/f g/f g/s; do $Q -o $f in.qef; done; $Q -o ro/new in.qef; echo $?\n"
     "d ro/f st/f g/f g/s; echo ro/* st/* g/*; stat -c '%i %n %u:%g %a' ro/f st/f g/f g/s |"
     " paste i - | awk '{print $1 == $2, $3, $4, $5}'",
     "qefdump: ro/new: Permission denied\n3\nro/f: dump\nst/f: dump\ng/f: dump\ng/s: dump\n"
     "ro/f st/f g/f g/s\n1 ro/f 65534:0 666\n1 st/f 0:0 666\n1 g/f 65534:0 640\n"
     "0 g/s 65534:65534 2640\n"},
    // Past the file-size limit, a temporary or a reservation in place: an error, OUT kept.
    {"echo old >out; chmod 445 out; $Q -o out in.qef; d out; chmod 644 out\n"
     "(ulimit -f 64; $Q -o out in.qef); echo $?; d out; ln out o2; (ulimit -f 64; $Q -o out"
     " in.qef); d out; rm o2; $G --size 100 >s; (ulimit -f 0; exec $Q --records -o r s 2>&-); echo "
     "$?\n"
     "echo *\n"
     "$Q -o /dev/full in.qef; $G --size 100 | $Q >/dev/full; test -c /dev/full && echo full",
     "qefdump: out: Permission denied\nout: old\nqefdump: out: File too large\n3\nout: old\n"
     "qefdump: out: File too large\nout: old\n3\ndump.txt in.qef out s\n"
     "qefdump: /dev/full: No space left on device\nqefdump: (stdout): No space left on device\n"
     "full\n"},
    // A full file system: no inode for the temporary, no room for it (one file, then several),
    // none in place; then a read-only one. OUT keeps its bytes in each, and no temporary stays.
    {"mkdir m; mount -t tmpfs -o size=1m,nr_inodes=3 qef m; echo old >m/a; echo old >m/b\n"
     "$Q -o m/a in.qef; rm m/b; $Q -o m/a in.qef; $Q --find-hex 00 -o m/a $(yes in.qef | head -7)"
     "; ln m/a m/b; $Q -o m/a in.qef; echo $?\n"
     "d m/a; ls m; mount -o remount,ro m; $Q -o m/a in.qef; $Q -o m/new in.qef; d m/a\n"
     "mount -o remount,rw m; $Q --records -o m/b in.qef; $Q --records in.qef | cmp - m/a &&"
     " echo in place; umount m",
     "qefdump: m/a: No space left on device\nqefdump: m/a: No space left on device\n"
     "qefdump: m/a: No space left on device\nqefdump: m/a: No space left on device\n3\nm/a: old\n"
     "a\nb\nqefdump: m/a: Read-only file system\n"
     "qefdump: m/new: Read-only file system\nm/a: old\nin place\n"},
    // Every signal that ends the program removes the temporary; one ignored from the start
    // stays ignored.
    {"$G --shape empty-records --size 32000000 -o big.qef; echo old >out\n"
     "for s in INT TERM HUP QUIT XCPU USR1; do env --default-signal $Q -o out big.qef & p=$!\n"
     "  until [ -e out.qefdump-$p-* ] || ! kill -0 $p; do :; done\n"
     "  kill -$s $p; wait $p 2>/dev/null; echo $?; done; d out; echo *\n"
     "env --ignore-signal=HUP $Q -o out big.qef & p=$!\n"
     "until [ -e out.qefdump-$p-* ] || ! kill -0 $p; do :; done; kill -HUP $p; wait $p\n"
     "echo $?; stat -c %s out; echo *",
     "130\n143\n129\n131\n152\n138\nout: old\nbig.qef dump.txt in.qef out\n0\n411999794\n"
     "big.qef dump.txt in.qef out\n"},
    // Standard input: past the limit, and a terminal; help, version and the diff's context;
    // a memory limit.
    {"$Q --help >h; echo $?; head -1 h; awk 'length > 79' h; $Q --version\n"
     "$G --shape empty-records --size 85 -o a; tr '\\n' X <a >b; $Q --diff a in.qef >/dev/full\n"
     "for u in '-U 0' '' '--cont 2' --context=9; do $Q --diff $u a b >o; echo $? $(grep ^@@ o); "
     "done",
     "0\nusage: qefdump [-n multi|single|offset] [-o OUT] [FILE|-]\n"
     "qefdump " QEF_EXPECTED_VERSION "\nqefdump: (stdout): No space left on device\n"
     "1 @@ -4,1 +4,1 @@ records 3 / 3 @@ -9,1 +9,1 @@ records 8 / 8\n"
     "1 @@ -3,3 +3,3 @@ records 2-4 / 2-4 @@ -8,2 +8,2 @@ records 7-8 / 7-8\n"
     "1 @@ -1,9 +1,9 @@ records 1-8 / 1-8\n1 @@ -1,9 +1,9 @@ records 1-8 / 1-8\n"},
    {"$G --shape one-record --size 32000000 -o L; $Q L >/dev/null; cat L | $Q >/dev/null; echo $?\n"
     "cat in.qef | $Q | cmp - dump.txt && cat L in.qef | $Q\n"
     "script -qec $Q /dev/null </dev/null >t; echo $?; tr -d '\\r' <t",
     "0\nqefdump: (stdin): Don't parse file greather than 32 MB. More than the limit of "
     "32000000 bytes arrived.\n2\nqefdump: standard input is a terminal; give a FILE or pipe "
     "one in\n"},
    {"$G --size 200 | (ulimit -v 40000; $Q >/dev/null); echo $?; echo old >out\n"
     "$G --shape empty-records --size 32000000 -o big.qef\n"
     "(ulimit -v 24576; $Q -o out big.qef); d out\n"
     "(ulimit -v 131072; $Q -o out big.qef); echo $?; stat -c %s out\n"
     "$G --shape empty-records --seed 2 --size 32000000 -o b2\n"
     "(ulimit -v 120000; $Q --diff big.qef b2 >/dev/null); echo $?",
     "0\nqefdump: big.qef: Memory allocation error.\nout: old\n0\n411999794\n"
     "qefdump: Memory allocation error.\n2\n"},
};

TEST_F(Out, ScenesGoAsTheirTranscriptsSay) {
    // As root a fault could replace the machine's /dev/full or /dev/stdout, or leave a mount.
    ASSERT_TRUE(geteuid() != 0 || std::getenv("QEF_PRIVATE_DEV"))
        << "as root these scenes run only in a namespace of their own: run them through "
           "tests/cli/private-dev";
    int skipped = 0;
    for (auto [script, transcript] : Scenes) {
        std::string_view text = script;
        bool skip =
            geteuid() != 0 && (text.find("chown") != text.npos || text.find("mount") != text.npos);
        skipped += skip;
        // Nor under the sanitizers, whose shadow memory outgrows ulimit -v.
        if (skip || (!QEF_ADDRESS_LIMIT && text.find("ulimit -v") != text.npos))
            continue;
        Fresh();
        std::ofstream(root_ / "scene.sh")
            << "exec 2>&1; umask 022; ulimit -c 0; Q=" << Quoted(QEFDUMP_PATH)
            << "; G=" << Quoted(QEFGEN_PATH)
            << "; N='setpriv --reuid=65534 --regid=65534 --clear-groups'\n"
               "$G --seed 3 --size 200000 -o in.qef; $Q in.qef >dump.txt\n"
               "d() { for f; do if cmp -s $f dump.txt; then echo $f: dump; elif printf 'old\\n' |"
               " cmp -s - $f; then echo $f: old; else echo $f: $(wc -c <$f) bytes; fi; done; }\n"
            << script << "\n";
        EXPECT_EQ(Run("sh", Quoted(root_ / "scene.sh")).out, transcript) << script;
    }
    if (skipped)
        GTEST_SKIP() << skipped << " scenes need root (mount, chown) and were skipped";
}

// An OUT written in place keeps the room reserved for it while another writer fills the disk,
// and ends where the output ends, its length known beforehand or not.
TEST_F(Out, InPlaceOutKeepsItsReservedRoomAndEndsWithTheOutput) {
    if (geteuid() != 0 || !std::getenv("QEF_PRIVATE_DEV"))
        GTEST_SKIP() << "mounts a file system: needs root in a namespace of its own (private-dev)";
    fs::path disk = work_ / "m";
    fs::create_directories(disk);
    ASSERT_EQ(mount("qef", disk.c_str(), "tmpfs", 0, "size=1m"), 0);
    WriteBytes(disk / "out", std::string(100000, 'o'));
    fs::create_hard_link(disk / "out", disk / "link"); // so written in place
    for (std::string text : {std::string(600000, 'x'), std::string("short\n")}) {
        Output output;
        bool written =
            OpenOutput((disk / "out").c_str(), text.size() > 9 ? text.size() : 0, output);
        std::ofstream filler(disk / "filler", std::ios::binary); // until the disk is full
        for (int block = 0; block < 300; ++block)
            filler.write(std::string(4096, 'f').data(), 4096).flush();
        written = written && WriteOutput(output, text.data(), text.size()) && FinishOutput(output);
        EXPECT_TRUE(written && ReadText(disk / "link") == text) << OutputFailureText(output);
        fs::remove(disk / "filler");
    }
    umount2(disk.c_str(), MNT_DETACH);
}
#else

// Under Wine, where a Windows program can make no link, a Unix one makes it.
using UnixName = char*(__cdecl*)(const wchar_t*);

bool MakeLink(const fs::path& link, const char* target) {
    if (CreateSymbolicLinkW(link.c_str(), fs::path(target).c_str(), 2) && fs::is_symlink(link))
        return true; // unprivileged links, where the system allows them
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(link.c_str()) : nullptr;
    if (!name)
        return false;
    std::string command = "start /wait /unix /bin/ln -s " + std::string(target) + " " + name;
    HeapFree(GetProcessHeap(), 0, name);
    return std::system(command.c_str()) == 0; // NOLINT(cert-env33-c)
}

// What Windows offers in place of owners, modes and signals (door_test has hard links): links
// followed and kept, the read-only attribute, files held open by others, and a program ended
// from outside. OUT holds "old\n" byte for byte wherever it is refused, and no temporary stays.
TEST_F(Out, WindowsReplacesOutWholeOrKeepsItAsItWas) {
    auto noTemporary = [this] {
        for (const auto& entry : fs::directory_iterator(work_))
            if (entry.path().filename().string().find(".qefdump-") != std::string::npos)
                return false;
        return true;
    };
    WriteBytes(work_ / "in.qef", SampleBytes(SAMPLE_MIXED, 3, 200000));
    for (const char* name : {"real", "readonly", "busy", "out"})
        WriteBytes(work_ / name, "old\n");
    Check({{"-o dump.txt in.qef", 0, "", ""}});
    std::string dump = ReadText(work_ / "dump.txt");

    ASSERT_TRUE(MakeLink(work_ / "link", "real"));
    Check({{"-o link in.qef", 0, "", ""}});
    EXPECT_TRUE(ReadText(work_ / "real") == dump);
    WriteBytes(work_ / "real", "new\n");
    EXPECT_EQ(ReadText(work_ / "link"), "new\n"); // the link still names it

    SetFileAttributesW((work_ / "readonly").c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held =
        CreateFileW((work_ / "busy").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    char busy[512] = {}; // the system's words, told without the full stop and line break
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   ERROR_SHARING_VIOLATION, 0, busy, sizeof busy, nullptr);
    std::string said = busy;
    Check({{"-o readonly in.qef", 3, "", "qefdump: readonly: Permission denied\n"},
           {"-o busy in.qef", 3, "",
            "qefdump: busy: " + said.erase(said.find_last_not_of(" .\r\n") + 1) + "\n"}});
    CloseHandle(held);

    WriteBytes(work_ / "big.qef", SampleBytes(SAMPLE_EMPTY_RECORDS, 1, 32000000));
    // A cross build knows the program by its build-host path; the current drive maps it.
    std::wstring command = L"\"" + fs::absolute(fs::path(QEFDUMP_PATH).make_preferred()).wstring() +
                           L"\" -o out big.qef";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               work_.c_str(), &startup, &process));
    for (int wait = 0; wait < 1000 && noTemporary(); ++wait)
        Sleep(10);
    EXPECT_FALSE(noTemporary());
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (const char* name : {"readonly", "busy", "out"})
        EXPECT_EQ(ReadText(work_ / name), "old\n") << name;
    EXPECT_TRUE(noTemporary());
}
#endif

} // namespace
