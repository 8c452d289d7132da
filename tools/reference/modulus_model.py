"""An independent model of the evaluation's three results: the stiffness factor K,
the modulus E and the slope P = K x E from which every plot row is formed.

Each step is one exactly rounded binary128 operation of binary128.py, taken in the
evaluation's fixed order with the left operand written first; changing the order
or the grouping changes the last bits, and this model is what notices.
"""

import binary128 as b

NINE_POINT_FOUR_TWO = 0x40022D70A3D70A3D70A3D70A3D70A3D7  # nearest to 9.42, for 3 pi
SIXTY_FOUR = 0x40050000000000000000000000000000


def stiffness_factor(a, bb, d0):
    """K = 9.42 (a + b) d0^4 / (64 a^2 b^2), one rounding per written operation."""
    square = b.multiply(d0, d0)
    fourth = b.multiply(square, square)  # d0^4 as (d0 d0)(d0 d0), not left to right
    numerator = b.multiply(b.multiply(NINE_POINT_FOUR_TWO, b.add(a, bb)), fourth)
    denominator = b.multiply(b.multiply(b.multiply(b.multiply(SIXTY_FOUR, a), a), bb), bb)
    return b.divide(numerator, denominator)


def modulus(kraft, weg, k):
    """E = S_fw / (K S_ww) with both sums accumulated in one ascending pass."""
    s_ww = b.POS_ZERO
    s_fw = b.POS_ZERO
    for force, displacement in zip(kraft, weg):
        s_ww = b.add(s_ww, b.multiply(displacement, displacement))
        s_fw = b.add(s_fw, b.multiply(force, displacement))
    return b.divide(s_fw, b.multiply(k, s_ww))


def evaluate(a, bb, d0, kraft, weg):
    """(K, E, P) for the geometry and the series, P = K x E."""
    k = stiffness_factor(a, bb, d0)
    e = modulus(kraft, weg, k)
    return k, e, b.multiply(k, e)
