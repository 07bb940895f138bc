#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// How the program reads, rounds and writes numbers. Every counter, time-out and
// validation rule goes through these, so that they agree with each other.
namespace numbers {

// The text without surrounding blanks must read wholly as a decimal number:
// optional sign, digits, at most one ".", optional exponent. Locale-independent.
std::optional<double> ToNumber(const QString &text);

// Nearest whole number, a half going to the even neighbour (1.5 -> 2, 2.5 -> 2).
double RoundHalfEven(double value);

// RoundHalfEven, then a 32-bit signed whole number; nothing when it does not fit.
std::optional<std::int32_t> ToInt32(double value);

// Text to number to 32-bit whole number; nothing when either step fails.
std::optional<std::int32_t> TextToInt32(const QString &text);

// Plain decimal, at most 15 significant digits, no exponent, no trailing zeros:
// 7, 1.5, 0.3 for 0.1 + 0.2, -2.5.
QString ToText(double value);

// A counting loop: start, end and step are read once; the loop runs while the value
// is at most the end (step >= 0) or at least the end (negative step); the step is
// added after each pass.
class CountingLoop final
{
public:
    CountingLoop(double start, double end, double step);

    bool Running() const;
    double Value() const { return m_value; }
    void Advance() { m_value += m_step; }

private:
    double m_value;
    double m_end;
    double m_step;
};

} // namespace numbers
