#include "console/readers.h"

#include "console/named_values.h"
#include "console/text_console.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <strings.h>

namespace TextConsole {
namespace {

char g_line[kLineSize];

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void SkipBlanks()
{
    size_t n = 0;
    while (IsBlank(g_line[n]))
        ++n;
    ConsumeLine(n);
}

bool LookUp(const std::string& word, float& value)
{
    return !word.empty() && NamedValueList::Global().Get(word, value);
}

// One comparison operand: a number (optionally signed) or a named value.
bool ReadOperand(float& value, uint32_t missingMessage)
{
    SkipBlanks();
    if (NextIsNumber()) {
        value = ReadFloat(0.0f);
        return true;
    }
    // A closing parenthesis may touch the last word: "(a = b)".
    std::string word = ReadWord();
    while (!word.empty() && word.back() == ')')
        word.pop_back();
    if (LookUp(word, value))
        return true;
    Print(Text(missingMessage));
    return false;
}

} // namespace

char* LineBuffer() { return g_line; }

void SetLine(const char* text)
{
    if (text == g_line)
        return;
    const size_t n = text ? strnlen(text, kLineSize - 1) : 0;
    std::memmove(g_line, text ? text : "", n);
    g_line[n] = '\0';
}

void ConsumeLine(size_t n)
{
    const size_t length = std::strlen(g_line);
    if (n >= length) {
        g_line[0] = '\0';
        return;
    }
    std::memmove(g_line, g_line + n, length - n + 1);
}

int SaturatingFloor(float value)
{
    if (std::isnan(value))
        return 0;
    const double f = std::floor(double(value));
    if (f >= double(INT_MAX))
        return INT_MAX;
    if (f <= double(INT_MIN))
        return INT_MIN;
    return int(f);
}

int ReadInt(int fallback)
{
    bool negative = false;
    auto sign = [&](long long v) {
        if (negative)
            v = -v;
        return int(v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v);
    };
    for (;;) {
        const char c = g_line[0];
        if (c == '\0')
            return sign(fallback);
        if (c == '-') {
            negative = !negative;
            ConsumeLine(1);
        } else if (IsBlank(c)) {
            ConsumeLine(1);
        } else if (IsDigit(c)) {
            // Saturates instead of wrapping on a long run of digits.
            long long v = 0;
            size_t n = 0;
            for (; IsDigit(g_line[n]); ++n)
                v = v > INT_MAX ? v : v * 10 + (g_line[n] - '0');
            while (g_line[n] && !IsBlank(g_line[n]))
                ++n;
            while (IsBlank(g_line[n]))
                ++n;
            ConsumeLine(n);
            return sign(v);
        } else {
            float value = 0.0f;
            if (LookUp(ReadWord(), value))
                return sign(SaturatingFloor(value));
            return sign(fallback);
        }
    }
}

float ReadFloat(float fallback)
{
    SkipBlanks();
    if (g_line[0] == '\0')
        return fallback;
    bool negative = false;
    if (g_line[0] == '-') {
        negative = true;
        ConsumeLine(1);
        SkipBlanks();
    }
    const bool number = IsDigit(g_line[0]) || (g_line[0] == '.' && IsDigit(g_line[1]));
    if (!number) {
        float value = 0.0f;
        return LookUp(ReadWord(), value) ? value : fallback;
    }
    float value = 0.0f;
    size_t n = 0;
    for (; IsDigit(g_line[n]); ++n)
        value = value * 10.0f + float(g_line[n] - '0');
    if (g_line[n] == '.') {
        ++n;
        float divisor = 10.0f;
        for (; IsDigit(g_line[n]); ++n) {
            value += float(g_line[n] - '0') / divisor;
            divisor *= 10.0f;
        }
    }
    ConsumeLine(n);
    return negative ? -value : value;
}

int ReadOnOff()
{
    const std::string word = ReadWord();
    if (strcasecmp(word.c_str(), "ON") == 0 || strcasecmp(word.c_str(), "TRUE") == 0)
        return 1;
    if (strcasecmp(word.c_str(), "OFF") == 0 || strcasecmp(word.c_str(), "FALSE") == 0)
        return 0;
    return 2;
}

std::string ReadWord()
{
    SkipBlanks();
    std::string word;
    size_t n = 0;
    if (g_line[0] == '"') {
        n = 1;
        while (g_line[n] && g_line[n] != '"')
            word += g_line[n++];
        if (g_line[n] == '"')
            ++n;
    } else {
        while (g_line[n] && !IsBlank(g_line[n]))
            word += g_line[n++];
    }
    ConsumeLine(n);
    return word;
}

std::string PeekWord()
{
    char saved[kLineSize];
    std::memcpy(saved, g_line, kLineSize);
    std::string word = ReadWord();
    std::memcpy(g_line, saved, kLineSize);
    return word;
}

std::string ReadRestOfLine()
{
    SkipBlanks();
    std::string rest = g_line;
    g_line[0] = '\0';
    return rest;
}

const char* RestOfLine()
{
    SkipBlanks();
    return g_line[0] ? g_line : nullptr;
}

bool NextIsNumber()
{
    size_t n = 0;
    while (IsBlank(g_line[n]))
        ++n;
    if (g_line[n] == '-')
        ++n;
    return IsDigit(g_line[n]) || g_line[n] == '.';
}

int NextIsWord()
{
    SkipBlanks();
    const char c = g_line[0];
    return c == '\0' || c == '-' || c == '.' || IsDigit(c) ? 0 : 1;
}

const char* SkipWord(const char* text)
{
    while (IsBlank(*text))
        ++text;
    while (*text && !IsBlank(*text))
        ++text;
    while (IsBlank(*text))
        ++text;
    return text;
}

int ReadComparison()
{
    size_t n = 0;
    while (IsBlank(g_line[n]) || g_line[n] == '(')
        ++n;
    ConsumeLine(n);
    if (g_line[0] == '\0')
        return 2;
    float left = 0.0f;
    if (!ReadOperand(left, 6043))
        return 2;
    SkipBlanks();
    int op = -1; // 0 =, 1 <, 2 >, 3 !=
    if (g_line[0] == '!' && g_line[1] == '=') {
        op = 3;
        ConsumeLine(2);
    } else if (g_line[0] == '=' || g_line[0] == '<' || g_line[0] == '>') {
        op = g_line[0] == '=' ? 0 : g_line[0] == '<' ? 1 : 2;
        ConsumeLine(1);
    } else {
        Print(Text(6044));
        return 2;
    }
    float right = 0.0f;
    if (!ReadOperand(right, 6045))
        return 2;
    n = 0;
    while (IsBlank(g_line[n]) || g_line[n] == ')')
        ++n;
    ConsumeLine(n);
    switch (op) {
    case 0: return left == right;
    case 1: return left < right;
    case 2: return left > right;
    default: return left != right;
    }
}

} // namespace TextConsole
