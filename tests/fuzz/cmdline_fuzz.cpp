// cmdline_fuzz.cpp -- libFuzzer target: the explorer's command line and its usage name
//
// The input is split at NUL bytes into an argument vector. Whatever it
// holds, reading it must not crash, and its verdict must agree with the
// argument count and with reading each number on its own.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "tests/fuzz/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    arguments args = split_arguments(data, size, {""}, 12);
    std::vector<std::string> &words = args.words;
    std::vector<char *> &argv = args.argv;
    const int argc = args.argc();

    std::string name = usage_name(argv[0]);
    if (name.size() > words[0].size())
        std::abort();
    double numbers[5] = {};
    int bad = -1;
    const command_line_verdict v = read_command_line(argc, argv.data(), numbers, &bad);
    if ((argc != 1 && argc != 6) != (v == COMMAND_LINE_USAGE))
        std::abort();
    if (v == COMMAND_LINE_NOT_A_NUMBER) {
        double ignored;
        if (bad < 1 || bad >= argc || read_number(argv[bad], &ignored))
            std::abort();
    }
    return 0;
}
