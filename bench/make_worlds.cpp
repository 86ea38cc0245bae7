// Writes a Zedra3 item world file of COUNT items lying on the ground, spread evenly over the
// world, in the shape that melt writes (16 lines per item, CR LF line ends).
// Usage: bench_make_worlds FILE COUNT [SEED]
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "mul/World.h"

namespace {

void Put(std::string& out, const char* text, long long number) {
    char digits[24];
    out += text;
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
    out += "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FILE COUNT [SEED]\n", argv[0]);
        return 2;
    }
    long count = std::atol(argv[2]);
    std::mt19937 rng(argc > 3 ? static_cast<unsigned>(std::atoi(argv[3])) : 1u);
    std::uniform_int_distribution<int32_t> x(0, vorlak::world::kWidth - 1);
    std::uniform_int_distribution<int32_t> y(0, vorlak::world::kHeight - 1);
    std::uniform_int_distribution<int32_t> id(1, 0x3FFF), z(-40, 100);

    FILE* file = std::fopen(argv[1], "wb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::string out =
        "//o------------------------------------------------------------------------------\r\n"
        "//| Zedra3 - Item World Script\r\n";
    Put(out, "INITMEM ", count);
    for (long i = 0; i < count; ++i) {
        Put(out, "SECTION WORLDITEM ", i);
        out += "{\r\n";
        Put(out, "SERIAL ", 1073741824LL + i);
        out += "NAME #\r\nNAME2 #\r\n";
        Put(out, "TYPE ", 255);
        Put(out, "ID ", id(rng));
        Put(out, "X ", x(rng));
        Put(out, "Y ", y(rng));
        Put(out, "Z ", z(rng));
        out += "CONT -1\r\nAMOUNT 1\r\nOWNER -1\r\nSPAWN -1\r\n}\r\n\r\n";
        if (out.size() > (1u << 20)) {
            std::fwrite(out.data(), 1, out.size(), file);
            out.clear();
        }
    }
    out += "EOF\r\n";
    std::fwrite(out.data(), 1, out.size(), file);
    return std::fclose(file) == 0 ? 0 : 1;
}
