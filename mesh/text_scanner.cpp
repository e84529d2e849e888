#include "mesh/text_scanner.h"

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace corretor {

namespace {
// A real number never needs more characters than this; a longer token is not one.
constexpr std::size_t kLongestToken = 4096;

bool isSpace(int c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    return locale;
}
} // namespace

int TextScanner::next()
{
    int c;
    if (!pending_.empty()) {
        c = static_cast<unsigned char>(pending_.back());
        pending_.pop_back();
    } else {
        c = std::getc(file_);
        if (c == EOF && std::ferror(file_)) readError_ = true;
    }
    if (c == '\n') ++line_;
    return c;
}

void TextScanner::unget(int c)
{
    if (c == EOF) return;
    if (c == '\n') --line_;
    pending_.push_back(static_cast<char>(c));
}

bool TextScanner::skipSpace()
{
    int c;
    do {
        c = next();
    } while (isSpace(c));
    if (c == EOF) return false;
    unget(c);
    return true;
}

ScanResult TextScanner::scanInt(int& value)
{
    if (!skipSpace()) return readError_ ? ScanResult::ReadError : ScanResult::End;
    int c = next();
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = next();
    if (!std::isdigit(c)) {
        unget(c);
        return readError_ ? ScanResult::ReadError : ScanResult::NotANumber;
    }
    // Magnitude limit: 2147483648 for a negative number, 2147483647 otherwise.
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; std::isdigit(c); c = next()) {
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return ScanResult::OutOfRange;
    }
    unget(c);
    if (readError_) return ScanResult::ReadError;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return ScanResult::Number;
}

ScanResult TextScanner::scanFloat(float& value)
{
    if (!skipSpace()) return readError_ ? ScanResult::ReadError : ScanResult::End;
    std::string token;
    int c = next();
    for (; c != EOF && !isSpace(c); c = next()) {
        if (token.size() == kLongestToken) return ScanResult::NotANumber;
        token.push_back(static_cast<char>(c));
    }
    unget(c);
    if (readError_) return ScanResult::ReadError;
    char* end = nullptr;
    const float parsed = strtof_l(token.c_str(), &end, cLocale());
    if (end == token.c_str()) {
        for (auto it = token.rbegin(); it != token.rend(); ++it)
            unget(*it);
        return ScanResult::NotANumber;
    }
    // What follows the number in this token is read again by the next call.
    for (const char* rest = token.c_str() + token.size(); rest != end;)
        unget(*--rest);
    value = parsed;
    return ScanResult::Number;
}

std::string TextScanner::where(const std::string& problem) const
{
    return "\"" + name_ + "\", linha " + std::to_string(line_) + ": " + problem;
}

std::string TextScanner::describe(ScanResult result) const
{
    switch (result) {
    case ScanResult::NotANumber:
        return where("encontrado texto que não é um número");
    case ScanResult::OutOfRange:
        return where("número fora do intervalo de 32 bits");
    case ScanResult::ReadError:
        return "não foi possível ler \"" + name_ + "\"";
    case ScanResult::End:
        return where("fim do arquivo");
    case ScanResult::Number:
        break;
    }
    return where("número");
}

} // namespace corretor
