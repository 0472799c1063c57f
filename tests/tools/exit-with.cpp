/*
 * Test child for the launcher: writes its arguments to standard output, a
 * line to standard error, and exits with the code given as its first
 * argument.
 */
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    for (int i = 2; i < argc; i++)
        std::printf("arg%d=[%s]\n", i - 1, argv[i]);
    std::fprintf(stderr, "stderr line\n");
    return argc > 1 ? (int)std::strtoul(argv[1], nullptr, 0) : 0;
}
