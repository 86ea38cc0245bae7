#include "mul/Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "mul/Error.h"

namespace vorlak {
namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Cursor over the text that steps over the skipped characters.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) { Skip(); }
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Next() {
        ++pos_;
        Skip();
    }

  private:
    void Skip() {
        while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
    }
    std::string_view text_;
    size_t pos_ = 0;
};

double HexValue(Cursor& c) {
    // Digits beyond the low 32 bits are dropped.
    uint64_t bits = 0;
    for (int d = HexDigit(c.Peek()); d >= 0; d = HexDigit(c.Peek())) {
        bits = ((bits << 4) | static_cast<uint64_t>(d)) & 0xFFFFFFFFull;
        c.Next();
    }
    if (bits <= 0xFFFF)
        return static_cast<double>(static_cast<int16_t>(static_cast<uint16_t>(bits)));
    return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(bits)));
}

// Rounds half to even and checks the range [lo, hi].
double RoundChecked(double value, double lo, double hi, std::string_view what) {
    double r = std::nearbyint(value);  // default rounding mode: to nearest, ties to even
    if (!std::isfinite(value) || r < lo || r > hi) {
        throw Error::Overflow("Overflow: " + std::string(what) + " " + FormatShortest(value) +
                              " does not fit");
    }
    return r;
}

}  // namespace

double NumericValue(std::string_view text) {
    Cursor c(text);
    if (c.Peek() == '&') {
        c.Next();
        if (c.Peek() == 'H' || c.Peek() == 'h') {
            c.Next();
            return HexValue(c);
        }
        return 0;
    }
    // Gather the number's characters without the skipped ones, then let strtod convert.
    std::string s;
    if (c.Peek() == '+' || c.Peek() == '-') {
        s += c.Peek();
        c.Next();
    }
    bool digits = false, point = false;
    for (;;) {
        char ch = c.Peek();
        if (ch >= '0' && ch <= '9') {
            digits = true;
        } else if (ch == '.' && !point) {
            point = true;
        } else {
            break;
        }
        s += ch;
        c.Next();
    }
    if (!digits) return 0;
    char e = c.Peek();
    if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
        std::string exp = "e";
        c.Next();
        if (c.Peek() == '+' || c.Peek() == '-') {
            exp += c.Peek();
            c.Next();
        }
        bool expDigits = false;
        // Cap the exponent's digits: anything longer is far past the double range anyway.
        while (c.Peek() >= '0' && c.Peek() <= '9') {
            if (exp.size() < 12) exp += c.Peek();
            expDigits = true;
            c.Next();
        }
        if (expDigits) s += exp;
    }
    return std::strtod(s.c_str(), nullptr);
}

int32_t ToInt32(double value, std::string_view what) {
    return static_cast<int32_t>(RoundChecked(value, -2147483648.0, 2147483647.0, what));
}

int16_t ToInt16(double value, std::string_view what) {
    return static_cast<int16_t>(RoundChecked(value, -32768.0, 32767.0, what));
}

uint8_t ToUInt8(double value, std::string_view what) {
    return static_cast<uint8_t>(RoundChecked(value, 0.0, 255.0, what));
}

std::string FormatShortest(double value) {
    if (value == 0) return "0";  // also folds -0
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

}  // namespace vorlak
