#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

The arith inputs are binary (see arith.cpp for the layout); cvsx inputs are
a precision byte and a text; load_table inputs are table files. Run again
after changing a seed here: python3 fuzz/make_seeds.py
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DM = 1000000


def record(limbs=(), esp=0, minus=False, undefined=False):
    """A record in the arith target's layout; a far exponent for |esp| > 32767."""
    far = not -32768 <= esp <= 32767
    if far:
        assert esp % 31 == 0
        esp //= 31
    flags = (1 if minus else 0) | (2 if far else 0) | (0x1C if undefined else 0)
    out = bytes([flags, len(limbs)]) + struct.pack("<h", esp)
    for v in limbs:
        out += struct.pack("<I", v)[:3]
    return out


def limbs_of(n):
    out = []
    while n:
        out.append(n % DM)
        n //= DM
    return out


def arith(prec, a, b):
    return bytes([prec - 1]) + a + b


ARITH = {
    "add_999999_plus_1": arith(30, record([999999]), record([1])),
    "sub_1_minus_2000001": arith(30, record([1]), record(limbs_of(2000001))),
    "add_1e100_plus_1_cut": arith(30, record([1], 100), record([1])),
    "add_exponents_far_apart": arith(200, record([123456, 7], 31 * 30000), record([5], -1000, True)),
    "mult_999999_squared": arith(30, record([999999]), record([999999])),
    "mult_1e12_plus_1_squared_prec6": arith(6, record([1, 0, 1]), record([1, 0, 1])),
    "mult_40_by_40_limbs": arith(200, record([999999] * 40, -7), record([999999] * 40, 3, True)),
    "div_estimate_one_low": arith(30, record([999999, 54084, 374491]), record([7, 524288])),
    "div_2_by_4_trailing_zero_limb": arith(30, record([2]), record([4])),
    "div_1e36_plus_1_by_3_prec12": arith(12, record([1, 0, 0, 0, 0, 0, 1]), record([3])),
    "div_40_limb_divisor": arith(200, record(list(range(1, 41)), 11), record([999999] * 40, -5)),
    "div_by_zero": arith(30, record([5]), record()),
    "div_undefined_by_minus_1": arith(30, record(undefined=True), record([1], 0, True)),
    "minus_zero_stray_exponent_prec1": arith(1, record([], 77, True), record([123], -4)),
}

CVSX = {
    "p30_decimal": (30, b"1234567.89"),
    "p30_negative_half": (30, b"-0.5"),
    "p30_1e-20": (30, b"1E-20"),
    "p15_1e20": (15, b"1E20"),
    "p30_plus_exponent": (30, b"+12.5e3"),
    "p30_e15_text": (30, b"6.666666666666666E-001"),
    "p30_1.5e+308": (30, b"1.5e+308"),
    "p30_minus_zero": (30, b"-0"),
    "p30_point_alone": (30, b"."),
    "p10_leading_zeros_cut": (10, b"000000000000123"),
    "p10_integer_digits_dropped": (10, b"123456789012345.678"),
    "p10_pi": (10, b"3.14159265358979323846"),
    "p30_exponent_five_chars": (30, b"7E-0005"),
    "p30_two_letters": (30, b"1e2e3"),
    "p30_letter_first": (30, b"E5"),
    "p30_sign_only_exponent": (30, b"1E+"),
    "p250_long_mantissa": (250, b"9" * 180 + b"." + b"0123456789" * 12 + b"E-999"),
    "p30_nul_byte": (30, b"12\x003"),
    "p30_double_infinity_bytes": (30, b"\x00\x00\x00\x00\x00\x00\xf0\x7f"),
    "p20_double_subnormal_bytes": (20, b"\x01\x00\x00\x00\x00\x00\x00\x00"),
}

TABLE = {
    "two_by_two_e15.tsv": b"1.500000000000000E+00\t2.000000000000000E+00\n"
                          b"-3.000000000000000E+02\t2.500000000000000E-01\n",
    "two_by_two_loose.tsv": b"1.5\t2\n-3e2\t.25\n",
    "crlf.tsv": b"1\t2\r\n3\t4\r\n",
    "bom.tsv": b"\xef\xbb\xbf1\t2\n3\t4\n",
    "no_final_line_end.tsv": b"1\t2\n3\t4",
    "empty_lines_and_tab_runs.tsv": b"\n\n1\t\t\t2\n\n\t3\t4\n",
    "space_then_tab.tsv": b"1 \t2\n",
    "two_numbers_in_cell.tsv": b"1 2\t3\n",
    "ragged_rows.tsv": b"1\t2\n3\n",
    "missing_values.tsv": b"1\t\t3\n\t5\t6\n7\t8\t\n",
    "same_empty_column.tsv": b"1\t\t3\n5\t\t6\n",
    "comma_decimal.tsv": b"1,5\t2\n",
    "nan_inf.tsv": b"nan\tinf\n",
    "beyond_double.tsv": b"1e999\t1e-999\n",
    "largest_double_text.tsv": b"1.797693134862316E+308\t-1.7976931348623160e308\n",
    "long_token.tsv": b"1" * 80 + b"\n",
    "nul_byte.tsv": b"1\t\x002\n",
    "cr_only_line_ends.tsv": b"1\t2\r3\t4\r",
    "subnormal_and_minus_zero.tsv": b"4.9e-324\t-0\t-0.0e+000\n",
    "many_numbers.tsv": b"\t".join(b"%d" % i for i in range(70)) + b"\n",
}


def write(target, name, data):
    path = os.path.join(HERE, "corpus", target, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    for name, data in ARITH.items():
        write("arith", name, data)
    for name, (prec, text) in CVSX.items():
        write("cvsx", name, bytes([prec - 1]) + text)
    for name, data in TABLE.items():
        write("load_table", name, data)


if __name__ == "__main__":
    main()
