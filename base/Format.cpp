#include "base/Format.h"

#include <climits>
#include <type_traits>

// Our own formatter rather than the C run time's: the wide printf of glibc reads
// "%s" as an 8-bit text, and the legacy Microsoft rules ("%s" wide, "%S" 8-bit)
// must give the same text in every build. Each argument carries its kind, so a
// conversion is only ever applied to a value of a kind it can print.
//
// A directive is '%', flags ('-' left-justify, '0' pad with zeros), a width, a
// precision ('.' and digits), and one of s S c d i u x X p %. Anything else is
// copied to the output as written and takes no argument.
//
// An argument that is missing, or of a kind the conversion cannot print (a
// number for "%s", a text for "%i", a wide text for "%S"...), prints the marker
// "(?)" and is used up, so the arguments after it stay in place. A text is
// never read through a conversion of the other width. Numbers and pointers are
// interchangeable: "%p" prints the address of any text, "%x" a pointer's low bits.

namespace {

const char16_t kNullText[] = u"(null)";
const char16_t kBadArgument[] = u"(?)";

// Where the formatted units go: the measuring pass only counts them, the
// second pass stores them as well.
class CFormatSink
{
public:
    explicit CFormatSink(char16_t* out = nullptr, int64_t room = 0) : m_out(out), m_room(room) {}

    void Put(char16_t unit)
    {
        if (m_out && m_count < m_room)
            m_out[m_count] = unit;
        ++m_count;
    }
    void Repeat(char16_t unit, int64_t times)
    {
        if (times <= 0)
            return;
        // Counted at once: a huge width must not cost a loop when only measured.
        for (int64_t i = m_count; m_out && i < m_room && i < m_count + times; ++i)
            m_out[i] = unit;
        m_count += times;
    }
    int64_t Count() const { return m_count; }

private:
    char16_t* m_out;
    int64_t m_room;
    int64_t m_count = 0;
};

struct SDirective
{
    bool left = false;   // '-'
    bool zeros = false;  // '0'
    int width = 0;
    int precision = -1;  // -1: none given
};

// Reads decimal digits, saturating instead of overflowing.
int ReadNumber(const char16_t*& at)
{
    int64_t value = 0;
    while (*at >= u'0' && *at <= u'9') {
        value = value * 10 + (*at - u'0');
        if (value > INT_MAX)
            value = INT_MAX;
        ++at;
    }
    return int(value);
}

// The legacy run time pads texts with zeros too when asked with '0'.
void PadBefore(CFormatSink& sink, const SDirective& directive, int64_t length)
{
    if (!directive.left && directive.width > length)
        sink.Repeat(directive.zeros ? u'0' : u' ', directive.width - length);
}

void PadAfter(CFormatSink& sink, const SDirective& directive, int64_t length)
{
    if (directive.left && directive.width > length)
        sink.Repeat(u' ', directive.width - length);
}

template <typename TChar>
void PutText(CFormatSink& sink, const SDirective& directive, const TChar* text)
{
    int64_t length = 0;
    while (text[length] && (directive.precision < 0 || length < directive.precision))
        ++length;
    PadBefore(sink, directive, length);
    for (int64_t i = 0; i < length; ++i)
        sink.Put(char16_t(static_cast<typename std::make_unsigned<TChar>::type>(text[i])));
    PadAfter(sink, directive, length);
}

// A marker in place of an argument that cannot be printed; never padded with zeros.
void PutBadArgument(CFormatSink& sink, const SDirective& directive)
{
    SDirective plain = directive;
    plain.zeros = false;
    plain.precision = -1;
    PutText(sink, plain, kBadArgument);
}

// An unsigned magnitude in the given base with its sign, precision and padding.
void PutNumber(CFormatSink& sink, const SDirective& directive, bool negative, uint64_t magnitude, unsigned base, bool upper)
{
    const char16_t* digitSet = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    char16_t digits[24];
    int count = 0;
    // Precision 0 with the value 0 prints no digits at all, as in C.
    while (magnitude != 0) {
        digits[count++] = digitSet[magnitude % base];
        magnitude /= base;
    }
    if (count == 0 && directive.precision != 0)
        digits[count++] = u'0';

    int64_t zeros = directive.precision > count ? directive.precision - count : 0;
    int64_t length = (negative ? 1 : 0) + zeros + count;
    // As in C, a precision turns the '0' flag off for numbers.
    bool padWithZeros = directive.zeros && !directive.left && directive.precision < 0;
    if (padWithZeros && directive.width > length) {
        zeros += directive.width - length;
        length = directive.width;
    }
    if (!directive.left && directive.width > length)
        sink.Repeat(u' ', directive.width - length);
    if (negative)
        sink.Put(u'-');
    sink.Repeat(u'0', zeros);
    while (count > 0)
        sink.Put(digits[--count]);
    PadAfter(sink, directive, length);
}

bool IsNumber(const SFormatArg& arg) { return arg.kind == SFormatArg::kInt || arg.kind == SFormatArg::kPointer; }

uint64_t NumberBits(const SFormatArg& arg)
{
    return arg.kind == SFormatArg::kPointer ? uint64_t(uintptr_t(arg.pointer)) : uint64_t(arg.integer);
}

void PutConversion(CFormatSink& sink, const SDirective& directive, char16_t conversion, const SFormatArg& arg)
{
    switch (conversion) {
    case u's':
        if (arg.kind != SFormatArg::kWideText)
            PutBadArgument(sink, directive);
        else if (arg.wide)
            PutText(sink, directive, arg.wide);
        else
            PutText(sink, directive, kNullText);
        return;
    case u'S':
        if (arg.kind != SFormatArg::kNarrowText)
            PutBadArgument(sink, directive);
        else if (arg.narrow)
            PutText(sink, directive, arg.narrow);
        else
            PutText(sink, directive, kNullText);
        return;
    case u'c': {
        if (arg.kind != SFormatArg::kInt) {
            PutBadArgument(sink, directive);
            return;
        }
        // The wide run time takes the character as one UTF-16 unit.
        PadBefore(sink, directive, 1);
        sink.Put(char16_t(arg.integer & 0xFFFF));
        PadAfter(sink, directive, 1);
        return;
    }
    case u'd':
    case u'i': {
        if (!IsNumber(arg)) {
            PutBadArgument(sink, directive);
            return;
        }
        int32_t value = int32_t(uint32_t(NumberBits(arg)));
        bool negative = value < 0;
        uint64_t magnitude = negative ? uint64_t(-int64_t(value)) : uint64_t(value);
        PutNumber(sink, directive, negative, magnitude, 10, false);
        return;
    }
    case u'u':
    case u'x':
    case u'X':
        if (!IsNumber(arg)) {
            PutBadArgument(sink, directive);
            return;
        }
        PutNumber(sink, directive, false, uint32_t(NumberBits(arg)), conversion == u'u' ? 10 : 16, conversion == u'X');
        return;
    case u'p': {
        uint64_t bits;
        if (IsNumber(arg))
            bits = NumberBits(arg);
        else if (arg.kind == SFormatArg::kWideText)
            bits = uintptr_t(arg.wide);
        else if (arg.kind == SFormatArg::kNarrowText)
            bits = uintptr_t(arg.narrow);
        else {
            PutBadArgument(sink, directive);
            return;
        }
        // Every digit of the pointer's width, upper case, no prefix.
        const int pointerDigits = int(sizeof(void*) * 2);
        bits = uint64_t(uintptr_t(bits));
        SDirective wide = directive;
        if (wide.precision < pointerDigits)
            wide.precision = pointerDigits;
        PutNumber(sink, wide, false, bits, 16, true);
        return;
    }
    default:
        return;
    }
}

bool IsConversion(char16_t c)
{
    switch (c) {
    case u's': case u'S': case u'c': case u'd': case u'i': case u'u': case u'x': case u'X': case u'p':
        return true;
    default:
        return false;
    }
}

// One pass over the format; returns the number of units of the whole text.
int64_t FormatInto(CFormatSink& sink, const char16_t* format, const SFormatArg* args, int count)
{
    int next = 0;
    const char16_t* at = format;
    while (*at) {
        if (*at != u'%') {
            sink.Put(*at++);
            continue;
        }
        const char16_t* start = at++;
        SDirective directive;
        for (;; ++at) {
            if (*at == u'-')
                directive.left = true;
            else if (*at == u'0')
                directive.zeros = true;
            else
                break;
        }
        directive.width = ReadNumber(at);
        if (*at == u'.') {
            ++at;
            directive.precision = ReadNumber(at);
        }
        if (*at == u'%') {
            sink.Put(u'%');
            ++at;
        } else if (IsConversion(*at)) {
            static const SFormatArg kMissing;
            const SFormatArg& arg = next < count ? args[next] : kMissing;
            ++next;
            PutConversion(sink, directive, *at, arg);
            ++at;
        } else {
            // Not a directive we know: the text as written, the stray character included.
            if (*at)
                ++at;
            for (const char16_t* c = start; c < at; ++c)
                sink.Put(*c);
        }
    }
    return sink.Count();
}

} // namespace

CSharedStringW FormatArgs(const char16_t* format, const SFormatArg* args, int count)
{
    if (!format)
        format = u"";
    if (!args)
        count = 0;

    CFormatSink measure;
    int64_t needed = FormatInto(measure, format, args, count);
    // Room for the text and its terminator, and still a count the string can hold.
    if (needed > INT_MAX - 2)
        return {};

    CSharedStringW text;
    char16_t* out = text.GetBuffer(int(needed) + 1);
    if (!out)
        return {};
    CFormatSink write(out, needed + 1);
    FormatInto(write, format, args, count);
    out[needed] = 0;
    return text;
}
