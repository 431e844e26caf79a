// qefgen: writes one deterministic sample module-info file.
#include "tools/damaged_files.h"

#include "dump/line_writer.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* Program = "qefgen";
constexpr int ExitUsage = 2;
constexpr int ExitOutputError = 3;

struct GenOptions {
    SampleShape shape = SAMPLE_MIXED;
    uint32_t seed = 1;
    uint32_t size = 1000000;
    const char* output = nullptr; // stdout when null
    bool damaged = false;
    DamageKind damage = DAMAGE_CUT;
};

constexpr int ShowHelp = -1;

const char Usage[] =
    "usage: qefgen [--shape mixed|one-record|empty-records] [--seed N] [--size BYTES]\n"
    "              [--damage KIND] [-o OUT]\n";

const char HelpText[] =
    "\n"
    "Writes a sample module-info file of exactly BYTES bytes (29 to 32000000; 1000000 by\n"
    "default) to OUT or standard output: a signature record, then records of the shape\n"
    "asked for. The same options always give the same bytes.\n"
    "\n"
    "  --shape mixed          known, top-byte and unknown tags, sizes 0, 16, 17 and more\n"
    "                         (the default)\n"
    "  --shape one-record     one record filling the rest of the file\n"
    "  --shape empty-records  only records without data\n"
    "  --seed N               another choice of tags and data (1)\n"
    "  --damage KIND          then damage the file as files break: cut, size-small,\n"
    "                         size-large, size-zero, size-ones, inserted, deleted,\n"
    "                         zeroed, overwritten or two (two of them at once); the\n"
    "                         seed chooses where\n"
    "  -h, --help             show this help and exit\n";

int UsageError(const char* message, const char* argument) {
    std::fprintf(stderr, "%s: %s '%s'\n%s", Program, message, argument, Usage);
    return ExitUsage;
}

bool ParseUint32(const char* text, uint32_t& value) {
    const char* end = text + std::strlen(text);
    auto [last, error] = std::from_chars(text, end, value);
    return error == std::errc() && last == end && last != text;
}

// Returns 0 when the options are good, ShowHelp for the help, else the exit status.
int ParseGenOptions(int argc, char** argv, GenOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string_view option = argv[i];
        if (option == "-h" || option == "--help")
            return ShowHelp;
        bool takesValue = option == "--shape" || option == "--seed" || option == "--size" ||
                          option == "--damage" || option == "-o" || option == "--output";
        if (!takesValue)
            return UsageError("unknown option", argv[i]);
        if (i + 1 == argc)
            return UsageError("missing value for", argv[i]);
        const char* value = argv[++i];
        if (option == "--shape" && !ParseSampleShape(value, options.shape))
            return UsageError("unknown shape", value);
        if (option == "--seed" && !ParseUint32(value, options.seed))
            return UsageError("bad seed", value);
        if (option == "--size" && (!ParseUint32(value, options.size) || options.size < 29 ||
                                   options.size > MaxModuleInfoLength))
            return UsageError("size must be 29 to 32000000 bytes, not", value);
        if (option == "--damage" && !(options.damaged = ParseDamageKind(value, options.damage)))
            return UsageError("unknown damage", value);
        if (option == "-o" || option == "--output")
            options.output = value;
    }
    return 0;
}

int WriteSample(const GenOptions& options) {
    std::vector<unsigned char> file =
        options.damaged
            ? DamageSample(options.shape, options.seed, options.size, options.damage).bytes
            : GenerateSample(options.shape, options.seed, options.size);
    const char* name = options.output ? options.output : "(stdout)";
    std::FILE* out = options.output ? std::fopen(options.output, "wb") : stdout;
    if (!out) {
        std::fprintf(stderr, "%s: %s: %s\n", Program, name, std::strerror(errno));
        return ExitOutputError;
    }
    bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    written = std::fflush(out) == 0 && written;
    int writeError = errno;
    if (std::fclose(out) != 0 && written) {
        written = false;
        writeError = errno;
    }
    if (!written) {
        std::fprintf(stderr, "%s: %s: %s\n", Program, name, std::strerror(writeError));
        return ExitOutputError;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    GenOptions options;
    int status = ParseGenOptions(argc, argv, options);
    if (status == ShowHelp) {
        std::printf("%s%s", Usage, HelpText);
        return std::fflush(stdout) == 0 ? 0 : ExitOutputError;
    }
    return status != 0 ? status : WriteSample(options);
}
