// A recording stand-in for the dialog program, used by the dialog client's tests: it writes
// its argument vector, each word followed by a NUL byte, to the file named by the
// environment variable QM_DIALOG_RECORD (complete or not at all: written aside, then
// renamed) and then waits until it is ended by a signal.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const char* record = std::getenv("QM_DIALOG_RECORD");
    if (record == nullptr || record[0] == '\0') return 2;
    const std::string aside = std::string(record) + ".part";
    FILE* out = std::fopen(aside.c_str(), "wb");
    if (out == nullptr) return 1;
    for (int i = 0; i < argc; ++i) std::fwrite(argv[i], 1, std::string(argv[i]).size() + 1, out);
    if (std::fclose(out) != 0 || std::rename(aside.c_str(), record) != 0) return 1;
    for (;;) pause();
}
