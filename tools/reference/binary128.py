"""An exact model of IEEE 754 binary128 values and operations.

Values are decoded into exact rationals (fractions.Fraction) and results are
rounded from the exact rational, so this model shares no code and no method with
the program's own arithmetic or conversions. It is the reference the tests compare
against.
"""

from fractions import Fraction

FRACTION_BITS = 112
PRECISION = 113
BIAS = 16383
MAX_BIASED = 32767
MIN_QUANTUM_EXPONENT = -16494  # exponent of the smallest subnormal
SIGN = 1 << 127
QUIET = 1 << 111
FRACTION_MASK = (1 << FRACTION_BITS) - 1

DEFAULT_NAN = 0xFFFF8000000000000000000000000000
POS_INF = 0x7FFF0000000000000000000000000000
NEG_INF = 0xFFFF0000000000000000000000000000
POS_ZERO = 0
NEG_ZERO = SIGN
MAX_FINITE = 0x7FFEFFFFFFFFFFFFFFFFFFFFFFFFFFFF


def hex32(bits):
    return "%032X" % bits


def biased_exponent(bits):
    return (bits >> FRACTION_BITS) & 0x7FFF


def fraction(bits):
    return bits & FRACTION_MASK


def is_nan(bits):
    return biased_exponent(bits) == MAX_BIASED and fraction(bits) != 0


def is_inf(bits):
    return biased_exponent(bits) == MAX_BIASED and fraction(bits) == 0


def is_quiet(bits):
    return is_nan(bits) and (bits & QUIET) != 0


def negative(bits):
    return (bits & SIGN) != 0


def is_zero(bits):
    return (bits & ~SIGN) == 0


def value(bits):
    """The exact value of a finite pattern (zero of either sign gives 0)."""
    e = biased_exponent(bits)
    f = fraction(bits)
    assert e != MAX_BIASED
    if e == 0:
        significand, exponent = f, MIN_QUANTUM_EXPONENT
    else:
        significand, exponent = f + (1 << FRACTION_BITS), e - BIAS - FRACTION_BITS
    if negative(bits):
        significand = -significand
    if exponent >= 0:
        return Fraction(significand << exponent)
    return Fraction(significand, 1 << -exponent)


def _floor_log2(numerator, denominator):
    """The largest e with 2**e <= numerator / denominator, both positive integers.
    Their bit lengths put the quotient above 2**(e - 1) and below 2**(e + 1) for
    e the difference of the lengths, so one comparison decides."""
    e = numerator.bit_length() - denominator.bit_length()
    if numerator << max(-e, 0) < denominator << max(e, 0):
        e -= 1
    return e


def round_rational(q, ties="even", zero_negative=False):
    """The binary128 pattern nearest to the rational q.

    ties is "even" (IEEE arithmetic) or "away" (the decimal input converter).
    zero_negative gives the sign of a result that is exactly zero.
    Returns the pattern; overflow gives an infinity.
    """
    return round_quotient(q.numerator, q.denominator, ties, zero_negative)


def round_quotient(numerator, denominator, ties="even", zero_negative=False):
    """round_rational of numerator / denominator (integers, denominator > 0),
    without reducing the fraction first."""
    if numerator == 0:
        return NEG_ZERO if zero_negative else POS_ZERO
    sign = SIGN if numerator < 0 else 0
    numerator = abs(numerator)
    e = _floor_log2(numerator, denominator)
    quantum_exponent = max(e - FRACTION_BITS, MIN_QUANTUM_EXPONENT)
    # n and the remainder of |q| / 2**quantum_exponent, in integers.
    if quantum_exponent >= 0:
        denominator <<= quantum_exponent
    else:
        numerator <<= -quantum_exponent
    n, remainder = divmod(numerator, denominator)
    if 2 * remainder > denominator or (
        2 * remainder == denominator and (ties == "away" or n % 2 == 1)
    ):
        n += 1
    if n == 1 << PRECISION:
        n >>= 1
        quantum_exponent += 1
    if n == 0:
        return sign
    if n < 1 << FRACTION_BITS:
        assert quantum_exponent == MIN_QUANTUM_EXPONENT
        return sign | n
    biased = quantum_exponent + FRACTION_BITS + BIAS
    if biased >= MAX_BIASED:
        return sign | POS_INF
    return sign | (biased << FRACTION_BITS) | (n - (1 << FRACTION_BITS))


def _choose_nan(x, y):
    x_nan, y_nan = is_nan(x), is_nan(y)
    if x_nan and y_nan:
        if is_quiet(x) != is_quiet(y):
            return x if is_quiet(x) else y
        mx, my = x & ~SIGN, y & ~SIGN
        if mx > my:
            return x | QUIET
        if my > mx:
            return y | QUIET
        return (x if negative(x) else y) | QUIET
    if x_nan:
        return x | QUIET
    if y_nan:
        return y | QUIET
    return None


def add(x, y):
    nan = _choose_nan(x, y)
    if nan is not None:
        return nan
    if is_inf(x) or is_inf(y):
        if is_inf(x) and is_inf(y) and negative(x) != negative(y):
            return DEFAULT_NAN
        return x if is_inf(x) else y
    exact = value(x) + value(y)
    if exact == 0:
        both_negative_zero = is_zero(x) and is_zero(y) and negative(x) and negative(y)
        return NEG_ZERO if both_negative_zero else POS_ZERO
    return round_rational(exact)


def multiply(x, y):
    nan = _choose_nan(x, y)
    if nan is not None:
        return nan
    sign = (x ^ y) & SIGN
    if is_inf(x) or is_inf(y):
        if is_zero(x) or is_zero(y):
            return DEFAULT_NAN
        return sign | POS_INF
    exact = value(x) * value(y)
    return round_rational(exact, zero_negative=bool(sign))


def divide(x, y):
    nan = _choose_nan(x, y)
    if nan is not None:
        return nan
    sign = (x ^ y) & SIGN
    if is_inf(x):
        return DEFAULT_NAN if is_inf(y) else sign | POS_INF
    if is_inf(y):
        return sign
    if is_zero(y):
        return DEFAULT_NAN if is_zero(x) else sign | POS_INF
    exact = value(x) / value(y)
    return round_rational(exact, zero_negative=bool(sign))


ONE = 0x3FFF0000000000000000000000000000
MINUS_ONE = 0xBFFF0000000000000000000000000000


def integer_power(x, n):
    """Binary powering with the program's fixed multiplication sequence."""
    if n < 0:
        return integer_power(divide(ONE, x), -n)
    if n == 0 or x == ONE:
        return ONE
    if x == MINUS_ONE:
        return MINUS_ONE if n % 2 else ONE
    if is_zero(x):
        return NEG_ZERO if (x == NEG_ZERO and n % 2) else POS_ZERO
    if n == 1:
        return x | QUIET if is_nan(x) else x
    b, v = x, n
    while v % 2 == 0:
        b = multiply(b, b)
        v //= 2
    r = b
    v //= 2
    while v:
        b = multiply(b, b)
        if v % 2:
            r = multiply(r, b)
        v //= 2
    return r
