#include "mesh/text_scanner.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace corretor {

namespace {

bool isSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
    return locale;
}

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

} // namespace

TextScanner::TextScanner(const std::string& text, std::string name)
    : text_(text), name_(std::move(name))
{
    if (text_.compare(0, 3, kByteOrderMark) == 0) pos_ = 3;
}

bool TextScanner::skipSpace()
{
    for (; pos_ < text_.size() && isSpace(text_[pos_]); ++pos_)
        line_ += text_[pos_] == '\n';
    return pos_ < text_.size();
}

ScanResult TextScanner::scanInt(int& value)
{
    if (!skipSpace()) return ScanResult::End;
    std::size_t p = pos_;
    const bool negative = text_[p] == '-';
    if (text_[p] == '-' || text_[p] == '+') ++p;
    if (p == text_.size() || !isDigit(text_[p])) return ScanResult::NotANumber;
    // Magnitude limit: 2147483648 for a negative number, 2147483647 otherwise.
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long magnitude = 0;
    for (; p < text_.size() && isDigit(text_[p]); ++p) {
        magnitude = magnitude * 10 + (text_[p] - '0');
        if (magnitude > limit) return ScanResult::OutOfRange;
    }
    pos_ = p;
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return ScanResult::Number;
}

ScanResult TextScanner::scanFloat(float& value)
{
    if (!skipSpace()) return ScanResult::End;
    // The token ends at white space; the text ends with the terminator of std::string, so the
    // conversion never reads past it.
    const char* inicio = text_.c_str() + pos_;
    const std::size_t fim =
        std::find_if(text_.begin() + static_cast<std::ptrdiff_t>(pos_), text_.end(), isSpace) -
        text_.begin();
    const std::string token(inicio, fim - pos_);
    char* depois = nullptr;
    const float parsed = strtof_l(token.c_str(), &depois, cLocale());
    if (depois == token.c_str()) return ScanResult::NotANumber;
    // What follows the number in this token is read again by the next call.
    pos_ += static_cast<std::size_t>(depois - token.c_str());
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
    case ScanResult::End:
        return where("fim do arquivo");
    case ScanResult::Number:
        break;
    }
    return where("número");
}

} // namespace corretor
