#!/usr/bin/env python3
"""Random script expressions over numbers and their values, one case per line.

  expr_ref.py N SEED    "<expression>\t<result>"

The expression holds integer literals (decimal, "$" or "0x" hexadecimal, some beyond 32 bits,
which are floats), float literals, negative literals, the operators * / % + - << >> == >= <= >
< <> & ^ | and parentheses, written with as few parentheses as the precedence allows (plus a few
more). The result is what running it gives:
  "int <value>"                    a 32-bit integer
  "bool <0 or 1>"
  "float <+ or -> <mantissa> <exponent>"   the 80-bit extended value mantissa * 2**exponent
  "none"                           the run stopped (division by zero, a float too large for an
                                   integer operation)

The rules modelled: integer arithmetic wraps at 32 bits (ctypes.c_int32) and divides truncating
toward zero; a float is an 80-bit extended, every float operation rounded to 64 significant bits
(exact fractions rounded to nearest, ties to even); a result is a float when either operand of
+ - * / is one; % & ^ | << >> work on integers (a float read as an integer is truncated toward
zero and must lie in the 64-bit range), shifts take the count mod 32 and shift right logically;
a comparison compares in the type of its left operand and gives a boolean, which reads as 0 or 1.
"""
import ctypes
import random
import sys
from fractions import Fraction

LEVELS = {"*": 1, "/": 1, "%": 1, "+": 2, "-": 2, "<<": 3, ">>": 3,
          "==": 4, ">=": 4, "<=": 4, ">": 4, "<": 4, "<>": 4, "&": 6, "^": 7, "|": 8}


class Stop(Exception):
    """The run ends without a result."""


def i32(x):
    return ctypes.c_int32(x).value


def round_extended(q):
    """q rounded to 64 significant bits, to nearest, ties to even."""
    if q == 0:
        return Fraction(0)
    sign = -1 if q < 0 else 1
    a = abs(q)
    e = a.numerator.bit_length() - a.denominator.bit_length() - 64
    while a / Fraction(2) ** e >= 2 ** 64:
        e += 1
    while a / Fraction(2) ** e < 2 ** 63:
        e -= 1
    scaled = a / Fraction(2) ** e
    m = scaled.numerator // scaled.denominator
    rest = scaled - m
    if rest > Fraction(1, 2) or (rest == Fraction(1, 2) and m % 2 == 1):
        m += 1
    return sign * m * Fraction(2) ** e


def as_int(v):
    kind, x = v
    if kind == "float":
        whole = int(x)  # toward zero
        if not -2 ** 63 <= whole < 2 ** 63:
            raise Stop()
        return i32(whole)
    return int(x)


def as_float(v):
    return Fraction(v[1]) if v[0] != "float" else v[1]


def as_bool(v):
    return v[1] != 0


def literal(text):
    body = text.lstrip("-")
    if body.startswith("$"):
        value = ("int", i32(int(body[1:], 16)))
    elif body.startswith("0x"):
        value = ("int", i32(int(body[2:], 16)))
    elif "." in body or not -2 ** 31 <= int(body) < 2 ** 31:
        value = ("float", round_extended(Fraction(body)))
    else:
        value = ("int", int(body))
    return binary("-", ("int", 0), value) if text.startswith("-") else value


def truncating(a, b, remainder):
    if b == 0:
        raise Stop()
    q = abs(a) // abs(b) * (1 if (a < 0) == (b < 0) else -1)
    return i32(a - b * q) if remainder else i32(q)


def binary(op, a, b):
    if op in ("+", "-", "*", "/"):
        if a[0] == "float" or b[0] == "float":
            x, y = as_float(a), as_float(b)
            if op == "/" and y == 0:
                raise Stop()
            exact = {"+": x + y, "-": x - y, "*": x * y, "/": x / y if y else 0}[op]
            return ("float", round_extended(exact))
        x, y = as_int(a), as_int(b)
        if op == "/":
            return ("int", truncating(x, y, False))
        return ("int", i32({"+": x + y, "-": x - y, "*": x * y}[op]))
    if op in ("%", "&", "^", "|", "<<", ">>"):
        x, y = as_int(a), as_int(b)
        if op == "%":
            return ("int", truncating(x, y, True))
        if op == "<<":
            return ("int", i32((x & 0xFFFFFFFF) << (y & 31)))
        if op == ">>":
            return ("int", i32((x & 0xFFFFFFFF) >> (y & 31)))
        return ("int", i32({"&": x & y, "^": x ^ y, "|": x | y}[op]))
    read = {"float": as_float, "bool": as_bool}.get(a[0], as_int)
    x, y = read(a), read(b)
    result = {"==": x == y, ">=": x >= y, "<=": x <= y, ">": x > y, "<": x < y, "<>": x != y}[op]
    return ("bool", int(result))


def random_literal(rng):
    choice = rng.random()
    if choice < 0.45:
        text = str(rng.choice([rng.randint(0, 9), rng.randint(0, 1000), rng.randint(0, 2 ** 31 - 1)]))
    elif choice < 0.55:
        text = rng.choice(["$", "0x"]) + "%X" % rng.randint(0, 2 ** 32 - 1)
    elif choice < 0.62:
        text = str(rng.choice([2 ** 31, 3000000000, 2 ** 40 + 7]))
    else:
        text = "%d.%s" % (rng.randint(0, 100), "".join(rng.choice("0123456789") for _ in range(rng.randint(1, 3))))
    if not text.startswith(("$", "0x")) and rng.random() < 0.3:
        text = "-" + text
    return text


def random_tree(rng, depth):
    if depth == 0 or rng.random() < 0.25:
        return random_literal(rng)
    return (rng.choice(list(LEVELS)), random_tree(rng, depth - 1), random_tree(rng, depth - 1))


def render(tree, rng, first=True, parent_level=0):
    """Text with the parentheses the precedence needs (operators of one level group left to
    right) and now and then one more. A negative literal that begins a text and is multiplied or
    divided is put in parentheses: a leading minus binds looser than * / %, and -(a * b) differs
    from (-a) * b when a * b wraps to the smallest integer."""
    if isinstance(tree, str):
        return "(" + tree + ")" if first and tree.startswith("-") and parent_level == 1 else tree
    op, left, right = tree
    level = LEVELS[op]

    def side(child, needs, begins):
        paren = needs or rng.random() < 0.1
        text = render(child, rng, paren or begins, level)
        return "(" + text + ")" if paren else text

    left_text = side(left, not isinstance(left, str) and LEVELS[left[0]] > level, first)
    right_text = side(right, not isinstance(right, str) and LEVELS[right[0]] >= level, False)
    space = rng.choice(["", " "])
    return left_text + space + op + space + right_text


def evaluate(tree):
    if isinstance(tree, str):
        return literal(tree)
    op, left, right = tree
    return binary(op, evaluate(left), evaluate(right))


def result_text(tree):
    try:
        kind, value = evaluate(tree)
    except Stop:
        return "none"
    if kind != "float":
        return "%s %d" % (kind, value)
    if value == 0:
        return "float + 0 0"
    e = 0
    m = abs(value)
    while m.denominator != 1:
        m *= 2
        e -= 1
    m = m.numerator
    while m % 2 == 0:
        m //= 2
        e += 1
    return "float %s %d %d" % ("-" if value < 0 else "+", m, e)


def main():
    count, seed = int(sys.argv[1]), int(sys.argv[2])
    rng = random.Random(seed)
    for _ in range(count):
        tree = random_tree(rng, rng.randint(1, 4))
        print("%s\t%s" % (render(tree, rng), result_text(tree)))


if __name__ == "__main__":
    main()
