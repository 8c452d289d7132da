// The floor of a whole run: what no evaluation can avoid. It reads the
// measurement file once, in large blocks, counting its records, and then issues
// the same one-record writes to plot.dat that the program's default run issues
// (the origin row and n/2 + 1 data rows, each a system call of its own), with
// fixed contents. Standard input gives the file name, as in the dialogue.
//
// usage: whole_run_floor < answers

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main() {
    std::string name;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
        name.push_back(static_cast<char>(c));
    }
    const int input = ::open(name.c_str(), O_RDONLY);
    if (input < 0) {
        return 1;
    }
    std::vector<char> block(1 << 20);
    long records = 0;
    for (ssize_t got; (got = ::read(input, block.data(), block.size())) > 0;) {
        for (ssize_t i = 0; i < got; ++i) {
            records += block[static_cast<std::size_t>(i)] == '\n' ? 1 : 0;
        }
    }
    ::close(input);
    const int plot = ::open("plot.dat", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (plot < 0) {
        return 1;
    }
    static const char kRow[] = "  1.2345      6.7890    \n";
    const long rows = 1 + (records > 0 ? records / 2 + 1 : 0);
    for (long i = 0; i < rows; ++i) {
        if (::write(plot, kRow, sizeof kRow - 1) != static_cast<ssize_t>(sizeof kRow - 1)) {
            return 1;
        }
    }
    return ::close(plot) == 0 ? 0 : 1;
}
