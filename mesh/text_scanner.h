// Reads the numbers of a mesh file one at a time, as "%d" and "%f" would, but with every
// failure told apart: end of the text, a token that is not a number, a number beyond 32 bits.
// Numbers are separated by any white space; a UTF-8 byte order mark at the start of the text
// is passed over, as editors that write one mean nothing by it. The scanner counts lines so
// that errors can name them.
#pragma once

#include <string>

namespace corretor {

enum class ScanResult { Number, End, NotANumber, OutOfRange };

class TextScanner
{
public:
    // Scans `text` (a whole file, read by the caller); `name` names the file in messages.
    TextScanner(const std::string& text, std::string name);

    // An optional sign and decimal digits, as "%d" takes them; the value must fit in 32 bits.
    ScanResult scanInt(int& value);

    // The longest stretch of the next token that forms a real number ("1.5", "-2e3", "nan",
    // "inf", a number of any length), read in the C locale; what follows it in the token is
    // left for the next read.
    ScanResult scanFloat(float& value);

    // Line of the last character read, counted from 1.
    int line() const { return line_; }

    // "<file>, linha <n>: <problem>", the wording of every error about this file.
    std::string where(const std::string& problem) const;

    // Words the failure `result` of the last read for a message.
    std::string describe(ScanResult result) const;

private:
    bool skipSpace(); // false at the end of the text

    const std::string& text_;
    std::string name_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

} // namespace corretor
