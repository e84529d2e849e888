// Reads the numbers of a mesh file one at a time, as "%d" and "%f" would, but with every
// failure told apart: end of file, a token that is not a number, a number beyond 32 bits, a
// read error (a folder opened as a file, say). Numbers are separated by any white space; the
// scanner counts lines so that errors can name them.
#pragma once

#include <cstdio>
#include <string>

namespace corretor {

enum class ScanResult { Number, End, NotANumber, OutOfRange, ReadError };

class TextScanner
{
public:
    // Reads from `file`, which the caller opened and closes; `name` names it in messages.
    TextScanner(FILE* file, std::string name) : file_(file), name_(std::move(name)) {}

    // An optional sign and decimal digits, as "%d" takes them; the value must fit in 32 bits.
    ScanResult scanInt(int& value);

    // The longest stretch of the next token that forms a real number ("1.5", "-2e3", "nan",
    // "inf"), read in the C locale; what follows it in the token is left for the next read.
    ScanResult scanFloat(float& value);

    // Line of the last character read, counted from 1.
    int line() const { return line_; }

    // "<file>, linha <n>: <problem>", the wording of every error about this file.
    std::string where(const std::string& problem) const;

    // Words the failure `result` of the last read for a message.
    std::string describe(ScanResult result) const;

private:
    int next();
    void unget(int c);
    bool skipSpace(); // false at end of file or on a read error

    FILE* file_;
    std::string name_;
    std::string pending_; // characters given back, read again before the file's
    int line_ = 1;
    bool readError_ = false;
};

} // namespace corretor
